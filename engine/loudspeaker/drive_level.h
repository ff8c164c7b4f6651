// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether a curve was measured at a level the small-signal parameters
// hold for. A driver's suspension and motor are linear only for small
// excursions: above about 1 V RMS across a woofer near its resonance the
// cone moves millimetres, and fs and Qms then depend on the level. Too
// small a level leaves the points around fs noisy and the parameters' ±
// wide where more level would narrow it: the median uncertainty of |Z|
// within f1 … f2 tells that, whatever the voltage.
//
// The voltage is the RMS of every sine of the excitation together: on a
// curve over the whole band it is more than the part near fs that moves
// the cone, so the warning errs on the safe side; on the closer look at
// the resonance the two nearly agree.
//
// Pure functions; any thread.

#include "driver_curve.h"
#include "resonance_shape.h"

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcr {

inline constexpr double most_small_signal_rms_v = 1.0;
// k = 2, of |Z|, the median within f1 … f2.
inline constexpr double most_resonance_relative_u = 0.01;

struct tdrive_check {
  std::optional<double> rms_v;  // across the driver, where the curve says
  // The median relative uncertainty (k = 2) of |Z| within f1 … f2; NaN
  // for a curve without uncertainties.
  double resonance_relative_u = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::string> warnings;  // for the operator
};

// `curve_name` names the curve in the warnings ("Kurve in Freiluft").
tdrive_check check_drive(const tdriver_curve& curve, const tresonance& resonance, std::string_view curve_name);

// Every warning of both curves, the free-air curve's first.
std::vector<std::string> drive_warnings(const tdrive_check& free_air, const std::optional<tdrive_check>& second);

}  // namespace lcr
