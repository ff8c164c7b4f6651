// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The equivalent circuit of a swept device: a resistor, a capacitor or an
// inductor alone, series R–C, R–L or R–L–C, or R ∥ C, fitted by weighted
// least squares to the complex impedances of a sweep, each point weighted
// by its uncertainty. Of the circuits whose every element stands out of its
// own uncertainty, the one that fits best is taken, so that a resistor is
// "R" and not R–C with a capacitance that could as well be infinite, and a
// plain capacitor gets no inductance out of noise.
//
// An element's ± is carried from the points' uncertainties through the
// fit: statistical ones add as independent, worst-case bounds add whole
// (their errors may all lean one way), and a circuit that leaves more
// misfit than the points' uncertainties explain has its ± widened by as
// much. A circuit whose lower and upper frequencies give disagreeing
// elements misses something, however small its misfit: its ± then spans
// both; so it does for a circuit that does not describe the curve at all,
// whose elements are those of the frequencies it was fitted over.
// Pure functions.

#include "engine/core/complex_math.h"

#include <span>
#include <string>

namespace lcr {

struct tfit_point {
  double frequency_hz = 0.0;
  tcomplex z;                // ohm
  double deviation_ohm = 0;  // uncertainty of |Z| (k = 2, or a bound); the weight is 1 / deviation²
  bool bound = false;        // a worst-case bound: the errors of such points may all lean one way
};

enum class tcircuit_model { resistor, capacitor, inductor, series_rc, series_rl, series_rlc, parallel_rc };

struct tcircuit_fit {
  tcircuit_model model = tcircuit_model::series_rc;
  bool valid = false;      // the elements came out positive and finite
  double r_ohm = 0.0;      // series or parallel resistance
  double l_h = 0.0;        // series inductance
  double c_f = 0.0;        // capacitance
  double r_deviation = 0.0;  // ± of each element, as the points' uncertainties carry into it
  double l_deviation = 0.0;
  double c_deviation = 0.0;
  double misfit = 0.0;     // Σ |Z − Z_model|² / deviation²
  // The misfit is what the points' statistical uncertainties explain (a
  // χ² that one fit in a thousand of the right circuit exceeds fails);
  // always true for points trusted with worst-case bounds, which say
  // nothing of how large a misfit chance leaves.
  bool describes_curve = true;
  double resonance_hz = 0.0;  // R–L–C: 1 / (2π √(LC)); 0 otherwise
};

// Which elements a circuit has.
bool has_resistance(tcircuit_model model);
bool has_inductance(tcircuit_model model);
bool has_capacitance(tcircuit_model model);

tcircuit_fit fit_circuit(tcircuit_model model, std::span<const tfit_point> points);
tcircuit_fit best_circuit_fit(std::span<const tfit_point> points);

// Whether every element of a valid fit stands out of its ±.
bool every_element_significant(const tcircuit_fit& fit);

// The model's impedance at a frequency.
tcomplex circuit_impedance(const tcircuit_fit& fit, double frequency_hz);

// "R", "C", "L", "Reihe R-C", "Reihe R-L", "Reihe R-L-C", "R || C".
const char* circuit_model_name(tcircuit_model model);

// Whether a series resonance lies in or near the test frequencies (10 Hz …
// 200 kHz): worth telling the operator.
bool resonance_worth_showing(double resonance_hz);

// For the operator, with the user's decimal separator: "Reihe R-C:
// R = 2,000 Ohm ± 1 mOhm, C = 1,000 µF ± 2 nF", with the self-resonance
// where it is worth showing and "(beschreibt die Kurve nur näherungsweise)"
// for a circuit that does not describe it; "keine Ersatzschaltung passt"
// when none fits.
std::string circuit_fit_text(const tcircuit_fit& fit);

}  // namespace lcr
