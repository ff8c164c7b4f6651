// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The "max. Abweichung" beside each displayed value: the largest change of
// the value that input noise of a 10-bit converter on both channels and a
// ±2 % error of the reference resistor could cause in the present
// measurement, found by a bounded worst-case search over the noise phasors
// and the reference factor.
//
// Runs on the window's thread, twice per display tick, on one snapshot of
// the latest evaluation taken under `publication_lock`.

#include "engine/core/complex_math.h"
#include "engine/quantities/quantities.h"

#include <optional>

namespace lcr {

struct tmeasurement_snapshot;

// Everything one estimate needs, copied together.
struct tdeviation_inputs {
  tcomplex h;                  // ratio_corrected
  double a1 = 0.0;             // channel1_amplitude, sample units
  int n = 0;                   // transform length of the evaluation
  int avg_count = 0;           // "Mittelwert"
  tcomplex z_ref;              // at the current reference and frequency, ohm
  tcomplex y_open;             // siemens
  tcomplex z_short;            // ohm; what the shown value has had taken off
  double frequency_hz = 0.0;   // for C and L
  // The least noise amplitude per bin the search assumes, sample units: what
  // the reading's own spread shows (times worst_case_factor), where that
  // exceeds the converter model's.
  double sigma_floor = 0.0;
};

// How many standard deviations of the measured noise a worst case spans:
// a complex Gaussian's magnitude exceeds four of them once in 10⁷ times,
// and a spread estimated from few values may be low by a third.
inline constexpr double worst_case_factor = 4.0;

// The latest evaluation's values with the current settings' table entries.
tdeviation_inputs deviation_snapshot();

// What the estimate of a snapshot's quantities needs: its averaged ratio
// corrected with the tables in force at the reference and frequency it was
// measured with, and the floor of its own spread (chance and rounding).
tdeviation_inputs deviation_inputs(const tmeasurement_snapshot& snapshot);

// Noise amplitude per transform bin in sample units.
double noise_sigma(int n, int avg_count);
// The amplitude the search perturbs each channel with: the model's, or the
// floor where that is larger.
double search_sigma(const tdeviation_inputs& inputs);

struct tdeviation_search {
  double deviation = 0.0;  // base unit of the quantity
  int passes = 0;
};

tdeviation_search deviation_search(const tdeviation_inputs& inputs, quantity_key key, bool parallel);

// The worst case of |Z| or of its phase (series circuit) in closed form:
// the largest deviation over every noise phasor and reference factor that
// the search may try, so never less than its result, and larger only by
// what the search's grid misses (and 1e-12 of the value's conditioning for
// rounding). Nothing where that does not hold: noise near either input's
// size, an impedance near the open within the noise, a phase within the
// noise of ±90° (where the phase's guard at a vanishing resistance gives
// 0), no noise at all, and every other quantity.
std::optional<double> closed_form_deviation(const tdeviation_inputs& inputs, quantity_key key, bool parallel);

// closed_form_deviation where it holds, the search's elsewhere.
double worst_case_deviation(const tdeviation_inputs& inputs, quantity_key key, bool parallel);

// worst_case_deviation; for a quantity with a pole (a parallel resistance,
// a Q, a capacitance from a reactance, an admittance) that the worst cases
// of the resistance and reactance come near, at least its range over every
// resistance and reactance within them, and infinity where that range
// holds the pole: the value may grow without bound.
double bounded_deviation(const tdeviation_inputs& inputs, quantity_key key, bool parallel);

// The worst-case absolute deviation of the record's quantity for ratio h and
// left amplitude a1, with the other inputs from the latest evaluation.
double noise_deviation(tcomplex h, const tlcr_strings& record, double a1);
// noise_deviation on one consistent snapshot of the latest evaluation,
// with the floor of what that evaluation's spread shows.
double quantity_deviation(const tlcr_strings& record);

}  // namespace lcr
