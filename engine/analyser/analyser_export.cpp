// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_export.h"

#include "engine/core/csv_text.h"

#include <algorithm>
#include <cmath>

namespace lcr {

namespace {

double phase_deg(tcomplex z)
{
  return std::atan2(z.im, z.re) * 180.0 / pi;
}

}  // namespace

std::vector<tzma_point> analyser_zma_points(const std::vector<tanalyser_row>& rows)
{
  std::vector<tzma_point> points;
  points.reserve(rows.size());
  for (const tanalyser_row& row : rows) points.push_back({row.row.frequency_hz, c_abs(row.row.z), phase_deg(row.row.z)});
  return points;
}

std::string analyser_zma_text(const std::vector<tanalyser_row>& rows, const std::vector<std::string>& comments)
{
  return format_zma(analyser_zma_points(rows), comments);
}

std::string analyser_csv_text(const std::vector<tanalyser_row>& rows)
{
  std::string text = csv_line({"frequency_hz", "ref_ohm", "z_abs_ohm", "phase_deg", "z_re", "z_im", "z_deviation",
                               "z_uncertainty", "phase_deviation_deg", "phase_uncertainty_deg", "calibrated",
                               "doubtful", "signal_state"});
  for (const tanalyser_row& entry : rows) {
    const tsweep_row& row = entry.row;
    text += csv_line({csv_number(row.frequency_hz), csv_number(ref_resistors[static_cast<std::size_t>(row.ref_index)]),
                      csv_number(c_abs(row.z)), csv_number(phase_deg(row.z)), csv_number(row.z.re),
                      csv_number(row.z.im), csv_number(row.z_deviation), csv_number(row.z_uncertainty),
                      csv_number(row.phase_deviation), csv_number(row.phase_uncertainty),
                      entry.calibrated ? "1" : "0", entry.doubtful ? "1" : "0", std::to_string(row.signal_state)});
  }
  return text;
}

std::optional<tzma_point> zma_point_at(const std::vector<tzma_point>& curve, double frequency_hz)
{
  if (curve.empty() || !(frequency_hz >= curve.front().frequency_hz) || !(frequency_hz <= curve.back().frequency_hz)) {
    return std::nullopt;
  }
  const auto above = std::lower_bound(curve.begin(), curve.end(), frequency_hz,
                                      [](const tzma_point& point, double f) { return point.frequency_hz < f; });
  if (above->frequency_hz == frequency_hz || above == curve.begin()) return tzma_point{frequency_hz, above->magnitude_ohm, above->phase_deg};
  const tzma_point& low = *(above - 1);
  const tzma_point& high = *above;
  const double t = std::log(frequency_hz / low.frequency_hz) / std::log(high.frequency_hz / low.frequency_hz);
  double step = high.phase_deg - low.phase_deg;
  step -= 360.0 * std::round(step / 360.0);
  double phase = low.phase_deg + t * step;
  if (phase > 180.0) phase -= 360.0;
  if (phase <= -180.0) phase += 360.0;
  return tzma_point{frequency_hz, low.magnitude_ohm + t * (high.magnitude_ohm - low.magnitude_ohm), phase};
}

}  // namespace lcr
