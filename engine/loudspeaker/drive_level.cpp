// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive_level.h"

#include "engine/core/plain_text.h"

#include <algorithm>
#include <cmath>

namespace lcr {

namespace {

// To `per_unit`ths: divided, not multiplied by a step, so that the number
// reads as written (1.13, not 1.1300000000000001).
std::string rounded_text(double value, double per_unit)
{
  return round_trip_number(std::round(value * per_unit) / per_unit);
}

double median_relative_u(const tdriver_curve& curve, const tresonance& resonance)
{
  if (!curve.weighted()) return std::numeric_limits<double>::quiet_NaN();
  std::vector<double> shares;
  for (const tdriver_point& point : curve.points) {
    if (point.doubtful || point.frequency_hz < resonance.f1_hz || point.frequency_hz > resonance.f2_hz) continue;
    shares.push_back(2.0 * point.sigma_magnitude_ohm / std::abs(point.z_ohm));
  }
  if (shares.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto middle = shares.begin() + static_cast<std::ptrdiff_t>(shares.size() / 2);
  std::nth_element(shares.begin(), middle, shares.end());
  return *middle;
}

}  // namespace

tdrive_check check_drive(const tdriver_curve& curve, const tresonance& resonance, std::string_view curve_name)
{
  tdrive_check check;
  check.rms_v = curve.device_rms_v;
  check.resonance_relative_u = median_relative_u(curve, resonance);
  const std::string name(curve_name);
  if (check.rms_v && *check.rms_v > most_small_signal_rms_v) {
    check.warnings.push_back("Pegel zu groß (" + name + "): " + rounded_text(*check.rms_v, 100.0) +
                             " V eff. am Lautsprecher, über " + rounded_text(most_small_signal_rms_v, 10.0) +
                             " V; Kleinsignalparameter gelten nur bei kleiner Auslenkung, mit kleinerem Pegel "
                             "wiederholen");
  }
  if (check.resonance_relative_u > most_resonance_relative_u) {
    check.warnings.push_back("Pegel zu klein (" + name + "): |Z| um fs nur auf " +
                             rounded_text(100.0 * check.resonance_relative_u, 10.0) +
                             " % genau (k = 2); mit größerem Pegel oder mehr Perioden wiederholen");
  }
  return check;
}

std::vector<std::string> drive_warnings(const tdrive_check& free_air, const std::optional<tdrive_check>& second)
{
  std::vector<std::string> warnings = free_air.warnings;
  if (second) warnings.insert(warnings.end(), second->warnings.begin(), second->warnings.end());
  return warnings;
}

}  // namespace lcr
