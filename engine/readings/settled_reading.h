// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A reading as the meter reports, logs, compares and calibrates with it:
// one snapshot of the latest evaluation, taken only once it has settled
// under the settings in force, its averaged ratio corrected with the tables
// in force, and beside its worst-case deviation the statistical uncertainty
// of everything that is not the reference's tolerance: the reading's
// chance (its scatter, the noise beside its tone), its input's rounding and
// the calibration entries' own spreads.
//
// Pure functions of a snapshot and the present settings and tables; any
// thread that owns the settings (the window's, the command line's main).

#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/deviation_estimate.h"

namespace lcr {

// Coverage factor of the statistical uncertainty: about 95 % of the
// readings lie within it.
inline constexpr double coverage_factor = 2.0;

// Whether the snapshot is a reading of the settings in force: settled, and
// made under them.
bool is_current_reading(const tmeasurement_snapshot& snapshot);

// The snapshot's averaged ratio through the correction chain with the
// tables in force, at the reference and frequency it was measured with.
tcorrection_chain corrected_chain(const tmeasurement_snapshot& snapshot);

// Why a statistical uncertainty is not known.
enum class tuncertainty_gap {
  none,
  not_settled,          // the reading has not settled: its spread is not known yet
  calibration_unknown,  // a calibration entry it uses was read without its spread
  unbounded,            // the quantity's pole lies within it (a Q of a lossless part)
};

// For programs: "", "not_settled", "calibration_spread_unknown", "unbounded".
const char* uncertainty_gap_key(tuncertainty_gap gap);

struct tuncertainty {
  double expanded = 0.0;     // k = 2, in the quantity's unit; NaN while unknown
  double calibration = 0.0;  // the calibration entries' part alone (standard, not expanded)
  tuncertainty_gap gap = tuncertainty_gap::none;
};

// Everything a reading's figures are made from, whatever measured it: the
// meter's snapshot, or one point of the impedance analyser with its own
// calibration entries.
struct treading_basis {
  tcomplex avg_ratio;                 // the raw averaged channel ratio
  tratio_spread spread;               // its statistical spread (chance, rounding); invalid while unknown
  tcal_entries entries;               // the calibration entries in force where it was measured
  tcal_entry_spreads entry_spreads;
  bool reference_calibrated = false;  // whether the reference's ±2 % are known there
  double frequency_hz = 0.0;
  tdeviation_inputs deviation;        // the worst case's inputs
};

// The basis of a snapshot with the tables in force.
treading_basis reading_basis(const tmeasurement_snapshot& snapshot);

tuncertainty reading_uncertainty(const treading_basis& basis, quantity_key key, bool parallel);
tuncertainty reading_uncertainty(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel);

// Whether the reference resistor's effective impedance at (r, f) has been
// calibrated, so its ±2 % are known: a calibration step stored it (it
// carries a spread), or it is no longer the nominal resistance.
bool reference_calibrated(int ref_index, int freq_index);

// A quantity of a reading with both figures beside it.
struct tquantity_reading {
  double value = 0.0;
  // Worst case, "max. Abweichung": the converter model's noise or the
  // reading's own spread times worst_case_factor, whichever is larger, the
  // reference's ±2 %, and the calibration entries' spreads times the same
  // factor (of entries whose spread is unknown, nothing: the uncertainty
  // says so); never less than the statistical uncertainty.
  double deviation = 0.0;
  double uncertainty = 0.0;  // statistical, k = 2; NaN while unknown
  tuncertainty_gap uncertainty_gap = tuncertainty_gap::none;
  // What a comparison may rely on: the statistical figure where the
  // reference has been calibrated at this frequency, the worst case
  // otherwise (then `bound`).
  double covering = 0.0;
  bool bound = true;
};

tquantity_reading quantity_reading(const treading_basis& basis, quantity_key key, bool parallel);
tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel);
tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, const tlcr_strings& record);

// A reading of one test frequency from a multitone snapshot: the snapshot
// as if the single tone had measured that frequency (its averaged ratio,
// left amplitude and scatter), for the same reading, correction and
// deviation arithmetic.
tmeasurement_snapshot multitone_point(const tmeasurement_snapshot& snapshot, int freq_index);

}  // namespace lcr
