// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The small-signal model (driver_model.h) fitted to a whole impedance
// curve by weighted nonlinear least squares (Levenberg and Marquardt's
// method from the resonance's own start: Re from the least real part, fs
// where the phase crosses zero, Res from the peak, Qms from its −3 dB
// width, Le from the top of the curve).
//
// Each point counts by its statistical uncertainty, split along |Z| and
// along the phase (the analyser knows both); the points of a curve without
// uncertainties count by |Z| alike. Doubtful points are left out.
//
// The parameters' covariance is the inverse of the weighted normal matrix.
// Scaled by the reduced χ² where that exceeds 1 (the residual then says
// the model or the uncertainties fall short), and by it alone for a curve
// without uncertainties. A coil resistance the operator gives (an
// ohmmeter's reading) is held in the fit; how every other parameter
// follows it is kept, so that its tolerance can be carried later.
//
// The coil is taken lossless unless its losses (Le ∥ R2) lower the misfit
// by more than chance leaves once in a thousand (a χ² of 10.8 for one
// parameter more) and R2 stands out of its ±: real coils above a few kHz
// need them, model curves and narrow ranges do not.
//
// Pure functions; any thread.

#include "driver_curve.h"
#include "driver_model.h"
#include "resonance_shape.h"
#include "square_matrix.h"

#include <optional>
#include <string>

namespace lcr {

struct tdriver_fit {
  std::string refusal;  // for the operator; empty when fitted
  bool ok() const { return refusal.empty(); }

  tdriver_model model;
  // Of vector_of(model): statistical, scaled as above; rows and columns of
  // the parameters held (Re when given, G2 of the plain coil) are 0.
  tsquare_matrix covariance{driver_parameter_count};
  // ∂parameter/∂Re when Re was given and held (1 for Re itself); 0 else.
  tdriver_vector re_slopes{};
  bool re_given = false;

  bool weighted = false;        // the points' own uncertainties weighted them
  double chi_square = 0.0;      // Σ (residual / σ)² along |Z| and phase
  int freedom = 0;              // 2 × points − parameters fitted
  double variance_scale = 1.0;  // what the covariance was multiplied by
  // The misfit is what the uncertainties explain (χ² below the bound one
  // fit in a thousand of the right model exceeds); always true unweighted.
  bool describes_curve = true;
  std::size_t points_used = 0;
  std::size_t points_uncalibrated = 0;  // of those used

  tresonance resonance;         // as the points show it
  tclassic_parameters classic;  // with the fit's (or the given) Re
};

// `given_re_ohm`: the coil's resistance, held in the fit.
tdriver_fit fit_driver(const tdriver_curve& curve, std::optional<double> given_re_ohm = std::nullopt);

// The uncertainty (k = 2) of a parameter from the fit alone.
double fitted_uncertainty(const tdriver_fit& fit, tdriver_parameter parameter);

}  // namespace lcr
