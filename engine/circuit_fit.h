#pragma once

// The equivalent circuit of a swept device: series R–C, series R–L,
// series R–L–C or R ∥ C, fitted by weighted least squares to the complex
// impedances of a sweep, each point weighted by its deviation. The best of
// them is the one with the smallest misfit, where R–L–C is taken over the
// two-element circuits only when its third element explains most of what
// they leave (its misfit below a quarter of theirs), so that a plain
// capacitor is not given an inductance out of noise. Pure functions.

#include "complex_math.h"

#include <span>
#include <string>

namespace lcr {

struct tfit_point {
  double frequency_hz = 0.0;
  tcomplex z;                // ohm
  double deviation_ohm = 0;  // of |Z|; the point's weight is 1 / deviation²
};

enum class tcircuit_model { series_rc, series_rl, series_rlc, parallel_rc };

struct tcircuit_fit {
  tcircuit_model model = tcircuit_model::series_rc;
  bool valid = false;      // the elements came out positive and finite
  double r_ohm = 0.0;      // series or parallel resistance
  double l_h = 0.0;        // series inductance (R–L, R–L–C)
  double c_f = 0.0;        // capacitance (R–C, R–L–C, R ∥ C)
  double r_deviation = 0.0;  // one standard error of each element, from the weights
  double l_deviation = 0.0;
  double c_deviation = 0.0;
  double misfit = 0.0;     // Σ |Z − Z_model|² / deviation²
  double resonance_hz = 0.0;  // R–L–C: 1 / (2π √(LC)); 0 otherwise
};

tcircuit_fit fit_circuit(tcircuit_model model, std::span<const tfit_point> points);
tcircuit_fit best_circuit_fit(std::span<const tfit_point> points);

// The model's impedance at a frequency.
tcomplex circuit_impedance(const tcircuit_fit& fit, double frequency_hz);

// "Reihe R-C", "Reihe R-L", "Reihe R-L-C", "R || C".
const char* circuit_model_name(tcircuit_model model);

// Whether a series resonance lies in or near the test frequencies (10 Hz …
// 200 kHz): worth telling the operator.
bool resonance_worth_showing(double resonance_hz);

// For the operator, with the user's decimal separator: "Reihe R-C:
// R = 2,000 Ohm ± 1 mOhm, C = 1,000 µF ± 2 nF", with the self-resonance
// where it is worth showing; "keine Ersatzschaltung passt" when none fits.
std::string circuit_fit_text(const tcircuit_fit& fit);

}  // namespace lcr
