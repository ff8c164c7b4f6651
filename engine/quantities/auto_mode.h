// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Auto": the pair of quantities that fits the device on display, as
// handheld meters choose it. A resistive device (phase within ±10°) shows
// Rs/Xs, a capacitive one D/C, an inductive one Q/L. The pair changes only
// after the phase has stayed past the boundary by 2° for five readings in a
// row, so that a device near a boundary never makes the display flicker.
//
// Pure state; the caller keeps one per display (window's thread).

#include "engine/core/complex_math.h"

namespace lcr {

enum class tauto_pair { resistive, capacitive, inductive };

inline constexpr double auto_boundary_deg = 10.0;
inline constexpr double auto_hysteresis_deg = 2.0;
inline constexpr int auto_confirming_readings = 5;

// The measurement mode that shows a pair: 2 "Rs/Xs", 11 "D/C", 12 "Q/L".
int meas_mode_of(tauto_pair pair);

struct tauto_mode {
  bool chosen = false;  // a first reading has chosen a pair
  tauto_pair pair = tauto_pair::resistive;
  tauto_pair candidate = tauto_pair::resistive;
  int confirmations = 0;  // readings in a row past the boundary towards `candidate`
};

// The phase that chooses the pair, −90° … +90°: the reactance's sign
// against the magnitude of the resistance. A noisy reading of a nearly pure
// reactance can have a slightly negative resistance; the display's phase,
// atan(X/R), would then turn a capacitor into an inductor, and a pure
// reactance (R exactly 0) into a resistor.
double auto_phase_deg(tcomplex z);

// One reading of the phase of Z (degrees, −90 … +90): the pair to show.
// The first reading chooses by the boundaries alone.
tauto_pair auto_mode_update(tauto_mode& state, double phase_deg);

}  // namespace lcr
