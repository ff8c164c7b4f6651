// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A reading as the meter reports, logs, compares and calibrates with it:
// one snapshot of the latest evaluation, taken only once it has settled
// under the settings in force, its averaged ratio corrected with the tables
// in force, and beside its worst-case deviation the statistical uncertainty
// that the scatter of its single evaluations gives.
//
// Pure functions of a snapshot and the present settings and tables; any
// thread that owns the settings (the window's, the command line's main).

#include "deviation_estimate.h"
#include "measurement_cycle.h"

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

// What the deviation estimate of the snapshot's quantities needs.
tdeviation_inputs deviation_inputs(const tmeasurement_snapshot& snapshot);

// The expanded (k = 2) statistical uncertainty of a quantity of the
// reading, in its unit; NaN while the scatter is not known (too few settled
// evaluations yet).
double expanded_uncertainty(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel);

// Whether the reference resistor's effective impedance at (r, f) has been
// calibrated: it is no longer the nominal resistance, so its ±2 % are
// known.
bool reference_calibrated(int ref_index, int freq_index);

// A quantity of a reading with both figures beside it.
struct tquantity_reading {
  double value = 0.0;
  double deviation = 0.0;    // worst case, "max. Abweichung"
  double uncertainty = 0.0;  // statistical, k = 2; NaN while unknown
  // What a comparison may rely on: the statistical figure where the
  // reference has been calibrated at this frequency, the worst case
  // otherwise (then `bound`).
  double covering = 0.0;
  bool bound = true;
};

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel);
tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, const tlcr_strings& record);

}  // namespace lcr
