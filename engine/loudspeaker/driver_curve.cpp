// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_curve.h"

#include "json_value.h"

#include "engine/core/complex_math.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace lcr {

bool tdriver_curve::weighted() const
{
  for (const tdriver_point& point : points) {
    if (!point.doubtful && !(point.sigma_magnitude_ohm > 0.0)) return false;
  }
  return !points.empty();
}

tdriver_curve driver_curve_of(const std::vector<tzma_point>& points)
{
  tdriver_curve curve;
  curve.points.reserve(points.size());
  for (const tzma_point& point : points) {
    curve.points.push_back(
        {point.frequency_hz, std::polar(point.magnitude_ohm, point.phase_deg * pi / 180.0)});
  }
  if (curve.points.empty()) curve.refusal = "keine Punkte";
  return curve;
}

namespace {

tdriver_curve refused(std::string reason)
{
  tdriver_curve curve;
  curve.refusal = std::move(reason);
  return curve;
}

using tkind = tjson_value::tkind;

// A member that must be a number.
std::optional<double> number_member(const tjson_value& object, std::string_view name)
{
  const tjson_value* member = object.member(name);
  if (member == nullptr || member->kind != tkind::number) return std::nullopt;
  return member->number;
}

// An uncertainty at k = 2: a number ≥ 0, or null (or absent) where the
// analyser did not know it; 0 then, which leaves the curve unweighted.
std::optional<double> uncertainty_member(const tjson_value& row, std::string_view name)
{
  const tjson_value* member = row.member(name);
  if (member == nullptr || member->kind == tkind::null) return 0.0;
  if (member->kind != tkind::number || member->number < 0.0) return std::nullopt;
  return member->number;
}

// A member that must be true or false; `absent` where there is none.
std::optional<bool> flag_member(const tjson_value& object, std::string_view name, bool absent)
{
  const tjson_value* member = object.member(name);
  if (member == nullptr) return absent;
  if (member->kind != tkind::boolean) return std::nullopt;
  return member->boolean;
}

// Why a row is not a point of the curve, or empty.
std::string fault_of(const tjson_value& row, tdriver_point& point)
{
  if (row.kind != tkind::object) return "kein Objekt";
  const std::optional<double> frequency_hz = number_member(row, "frequency_hz");
  if (!frequency_hz || !(*frequency_hz > 0.0)) return "frequency_hz fehlt oder ist nicht positiv";
  const tjson_value* z = row.member("z");
  const std::optional<double> re = z != nullptr ? number_member(*z, "re") : std::nullopt;
  const std::optional<double> im = z != nullptr ? number_member(*z, "im") : std::nullopt;
  if (!re || !im) return "z {re, im} fehlt";
  const std::optional<double> u_magnitude = uncertainty_member(row, "z_uncertainty");
  if (!u_magnitude) return "z_uncertainty ist weder Zahl ≥ 0 noch null";
  const std::optional<double> u_phase_deg = uncertainty_member(row, "phase_uncertainty_deg");
  if (!u_phase_deg) return "phase_uncertainty_deg ist weder Zahl ≥ 0 noch null";
  const std::optional<bool> doubtful = flag_member(row, "doubtful", false);
  if (!doubtful) return "doubtful ist nicht true oder false";
  const std::optional<bool> calibrated = flag_member(row, "calibrated", true);
  if (!calibrated) return "calibrated ist nicht true oder false";
  point = analyser_driver_point(*frequency_hz, {*re, *im}, *u_magnitude, *u_phase_deg, *doubtful, *calibrated);
  return {};
}

}  // namespace

tdriver_point analyser_driver_point(double frequency_hz, std::complex<double> z_ohm, double u_magnitude_ohm,
                                    double u_phase_deg, bool doubtful, bool calibrated)
{
  const auto sigma_of = [](double u_k2) { return std::isfinite(u_k2) && u_k2 > 0.0 ? u_k2 / 2.0 : 0.0; };
  return {frequency_hz, z_ohm, sigma_of(u_magnitude_ohm), sigma_of(u_phase_deg) * pi / 180.0, doubtful, !calibrated};
}

tdriver_curve parse_curve_json(std::string_view text)
{
  const tjson_reading reading = parse_json(text);
  if (!reading.ok()) return refused("kein JSON: " + reading.refusal);
  if (reading.value.kind != tkind::object) return refused("keine Impedanzkurve: kein JSON-Objekt");
  const tjson_value* rows = reading.value.member("rows");
  if (rows == nullptr || rows->kind != tkind::array) {
    return refused("keine Impedanzkurve: \"rows\" fehlt (geschrieben von quarvel-cli impedance --json?)");
  }
  tdriver_curve curve;
  for (std::size_t i = 0; i < rows->items.size(); ++i) {
    tdriver_point point;
    std::string fault = fault_of(rows->items[i], point);
    if (fault.empty() && !curve.points.empty() && !(point.frequency_hz > curve.points.back().frequency_hz)) {
      fault = "Frequenz nicht steigend";
    }
    if (!fault.empty()) return refused("Punkt " + std::to_string(i + 1) + ": " + fault);
    curve.points.push_back(point);
  }
  if (curve.points.empty()) return refused("keine Punkte");
  if (const tjson_value* level = reading.value.member("device_rms_v"); level && level->kind != tkind::null) {
    if (level->kind != tkind::number || !(level->number > 0.0)) {
      return refused("\"device_rms_v\" ist keine Spannung über 0");
    }
    curve.device_rms_v = level->number;
  }
  return curve;
}

namespace {

bool same_frequency(double a_hz, double b_hz)
{
  return std::fabs(a_hz - b_hz) <= 1e-6 * a_hz;
}

bool holds_frequency(const tdriver_curve& curve, double frequency_hz)
{
  const auto above = std::lower_bound(
      curve.points.begin(), curve.points.end(), frequency_hz * (1.0 - 1e-6),
      [](const tdriver_point& point, double hz) { return point.frequency_hz < hz; });
  return above != curve.points.end() && same_frequency(above->frequency_hz, frequency_hz);
}

// The lowest and highest frequency of `curve` that `other` lacks.
void widen_by_missing(const tdriver_curve& curve, const tdriver_curve& other, double& lowest_hz, double& highest_hz)
{
  for (const tdriver_point& point : curve.points) {
    if (holds_frequency(other, point.frequency_hz)) continue;
    lowest_hz = std::min(lowest_hz, point.frequency_hz);
    highest_hz = std::max(highest_hz, point.frequency_hz);
  }
}

}  // namespace

std::vector<tdriver_point> fitted_points(const tdriver_curve& curve)
{
  std::vector<tdriver_point> used;
  for (const tdriver_point& point : curve.points) {
    if (!point.doubtful) used.push_back(point);
  }
  return used;
}

bool same_grid(const tdriver_curve& a, const tdriver_curve& b)
{
  double lowest_hz = std::numeric_limits<double>::infinity();
  double highest_hz = -lowest_hz;
  widen_by_missing(a, b, lowest_hz, highest_hz);
  widen_by_missing(b, a, lowest_hz, highest_hz);
  if (!(lowest_hz <= highest_hz)) return a.points.size() == b.points.size();
  if (!(highest_hz <= most_refined_ratio * lowest_hz)) return false;
  // Outside the stretch every point is in both; most of each curve must lie there.
  const auto outside = [&](const tdriver_curve& curve) {
    return std::count_if(curve.points.begin(), curve.points.end(), [&](const tdriver_point& point) {
      return point.frequency_hz < lowest_hz || point.frequency_hz > highest_hz;
    });
  };
  return 2 * outside(a) >= static_cast<std::ptrdiff_t>(a.points.size()) &&
         2 * outside(b) >= static_cast<std::ptrdiff_t>(b.points.size());
}

}  // namespace lcr
