// SPDX-License-Identifier: GPL-3.0-or-later
#include "resonance_shape.h"

#include "engine/core/plain_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace lcr {

namespace {

// A resonance rises at least this share of its height above the ground
// around it; less is ripple or noise, not a driver's resonance.
constexpr double least_relative_prominence = 0.05;
// A second peak of a tenth of the resonance's height spoils a fit of one
// resonance; smaller bumps (the coil's rub, a dust cap's mode) the fit's
// residual shows.
constexpr double second_peak_share = 0.1;

std::string hz_text(double frequency_hz)
{
  return round_trip_number(std::round(frequency_hz * 10.0) / 10.0) + " Hz";
}

std::string ohm_text(double ohm)
{
  return round_trip_number(std::round(ohm * 1000.0) / 1000.0) + " Ohm";
}

std::vector<double> magnitudes_of(std::span<const tdriver_point> points)
{
  std::vector<double> magnitudes;
  magnitudes.reserve(points.size());
  for (const tdriver_point& point : points) magnitudes.push_back(std::abs(point.z_ohm));
  return magnitudes;
}

// A local maximum and how far it stands above the ground between it and
// the next higher ground (or the curve's end) on each side.
struct tpeak {
  std::size_t index = 0;
  double prominence = 0.0;
  std::size_t left_valley = 0;
  std::size_t right_valley = 0;
};

// The lowest point from `peak` outwards (step ±1) up to a point higher
// than the peak or the end.
std::size_t valley_towards(const std::vector<double>& magnitudes, std::size_t peak, int step)
{
  std::size_t lowest = peak;
  std::size_t i = peak;
  while (step > 0 ? i + 1 < magnitudes.size() : i > 0) {
    i = step > 0 ? i + 1 : i - 1;
    if (magnitudes[i] > magnitudes[peak]) break;
    if (magnitudes[i] < magnitudes[lowest]) lowest = i;
  }
  return lowest;
}

std::vector<tpeak> peaks_of(const std::vector<double>& magnitudes)
{
  std::vector<tpeak> peaks;
  for (std::size_t i = 1; i + 1 < magnitudes.size(); ++i) {
    if (!(magnitudes[i] > magnitudes[i - 1] && magnitudes[i] >= magnitudes[i + 1])) continue;
    tpeak peak{i, 0.0, valley_towards(magnitudes, i, -1), valley_towards(magnitudes, i, +1)};
    peak.prominence = magnitudes[i] - std::max(magnitudes[peak.left_valley], magnitudes[peak.right_valley]);
    peaks.push_back(peak);
  }
  return peaks;
}

double phase_of(const tdriver_point& point)
{
  return std::arg(point.z_ohm);
}

// Where the phase turns from + to − between the valleys, nearest the peak
// (interpolated over ln f).
std::optional<double> phase_zero_hz(std::span<const tdriver_point> points, const tpeak& peak)
{
  std::optional<double> nearest;
  double nearest_distance = 0.0;
  for (std::size_t i = peak.left_valley; i < peak.right_valley; ++i) {
    const double before = phase_of(points[i]);
    const double after = phase_of(points[i + 1]);
    if (!(before > 0.0 && after <= 0.0)) continue;
    const double share = before / (before - after);
    const double ln_f = std::log(points[i].frequency_hz) +
                        share * (std::log(points[i + 1].frequency_hz) - std::log(points[i].frequency_hz));
    const double distance = std::fabs(ln_f - std::log(points[peak.index].frequency_hz));
    if (!nearest || distance < nearest_distance) {
      nearest = std::exp(ln_f);
      nearest_distance = distance;
    }
  }
  return nearest;
}

// The vertex of the parabola over ln f through the peak and its two
// neighbours: the grid seldom has a point on the top itself.
void peak_vertex(std::span<const tdriver_point> points, const std::vector<double>& magnitudes,
                 tresonance& resonance)
{
  const std::size_t k = resonance.peak;
  resonance.fs_hz = points[k].frequency_hz;
  resonance.z_max_ohm = magnitudes[k];
  const double d1 = std::log(points[k - 1].frequency_hz / points[k].frequency_hz);
  const double d2 = std::log(points[k + 1].frequency_hz / points[k].frequency_hz);
  const double y1 = magnitudes[k - 1] - magnitudes[k];
  const double y2 = magnitudes[k + 1] - magnitudes[k];
  const double a = (y1 / d1 - y2 / d2) / (d1 - d2);
  const double b = y1 / d1 - a * d1;
  if (!(a < 0.0)) return;
  const double top = std::clamp(-b / (2.0 * a), d1, d2);
  resonance.fs_hz = points[k].frequency_hz * std::exp(top);
  resonance.z_max_ohm = magnitudes[k] + a * top * top + b * top;
}

// Where |Z| falls to `level` from the peak outwards (step ±1), interpolated
// over ln f; none within the curve.
std::optional<double> level_crossing_hz(std::span<const tdriver_point> points,
                                        const std::vector<double>& magnitudes, std::size_t peak, double level,
                                        int step)
{
  for (std::size_t i = peak; step > 0 ? i + 1 < points.size() : i > 0;) {
    const std::size_t next = step > 0 ? i + 1 : i - 1;
    if (magnitudes[next] < level) {
      const double share = (magnitudes[i] - level) / (magnitudes[i] - magnitudes[next]);
      const double ln_f = std::log(points[i].frequency_hz) +
                          share * (std::log(points[next].frequency_hz) - std::log(points[i].frequency_hz));
      return std::exp(ln_f);
    }
    i = next;
  }
  return std::nullopt;
}

struct thalf_power {
  std::optional<double> f1_hz;
  std::optional<double> f2_hz;
};

thalf_power half_power_points(std::span<const tdriver_point> points, const std::vector<double>& magnitudes,
                              const tresonance& resonance, double re_ohm)
{
  const double level = std::sqrt(re_ohm * resonance.z_max_ohm);
  return {level_crossing_hz(points, magnitudes, resonance.peak, level, -1),
          level_crossing_hz(points, magnitudes, resonance.peak, level, +1)};
}

tresonance_search refused(std::string reason)
{
  tresonance_search search;
  search.refusal = std::move(reason);
  return search;
}

}  // namespace

double least_resistance_ohm(std::span<const tdriver_point> points)
{
  double least_re = std::numeric_limits<double>::infinity();
  double least_magnitude = std::numeric_limits<double>::infinity();
  for (const tdriver_point& point : points) {
    least_re = std::min(least_re, point.z_ohm.real());
    least_magnitude = std::min(least_magnitude, std::abs(point.z_ohm));
  }
  // A real part at or below zero is a poor point, not a coil: a start
  // from a share of the least |Z| does no harm.
  return std::max(least_re, 0.01 * least_magnitude);
}

tresonance_search find_resonance(std::span<const tdriver_point> points, double re_ohm)
{
  const std::vector<double> magnitudes = magnitudes_of(points);
  const std::vector<tpeak> peaks = peaks_of(magnitudes);
  const auto main = std::max_element(
      peaks.begin(), peaks.end(), [](const tpeak& a, const tpeak& b) { return a.prominence < b.prominence; });
  if (main == peaks.end() || !(main->prominence > least_relative_prominence * magnitudes[main->index])) {
    return refused("keine Resonanz im Messbereich: |Z| hat innerhalb der Kurve keine Spitze");
  }
  for (const tpeak& other : peaks) {
    if (other.index != main->index && other.prominence >= second_peak_share * main->prominence) {
      return refused("zweite Resonanzspitze bei " + hz_text(points[other.index].frequency_hz) +
                     " neben der bei " + hz_text(points[main->index].frequency_hz) +
                     ": eine einzelne Resonanz beschreibt die Kurve nicht");
    }
  }
  const std::optional<double> zero_hz = phase_zero_hz(points, *main);
  if (!zero_hz) {
    return refused("keine Resonanz im Messbereich: die Phase kreuzt um " +
                   hz_text(points[main->index].frequency_hz) + " nicht Null");
  }
  tresonance_search search;
  tresonance& resonance = search.resonance;
  resonance.peak = main->index;
  resonance.phase_zero_hz = *zero_hz;
  peak_vertex(points, magnitudes, resonance);
  if (!(resonance.z_max_ohm > re_ohm)) {
    return refused("Re (" + ohm_text(re_ohm) + ") nicht unter |Z| der Resonanz (" +
                   ohm_text(resonance.z_max_ohm) + ")");
  }
  const thalf_power half = half_power_points(points, magnitudes, resonance, re_ohm);
  if (!half.f1_hz || !half.f2_hz) {
    return refused(std::string("Kurve deckt die Resonanz nicht ab: ") +
                   (half.f1_hz ? "oberhalb" : "unterhalb") +
                   " von fs fällt |Z| im Messbereich nicht auf √(Re·Zmax); den Bereich erweitern");
  }
  resonance.f1_hz = *half.f1_hz;
  resonance.f2_hz = *half.f2_hz;
  resonance.points_within =
      static_cast<int>(std::count_if(points.begin(), points.end(), [&](const tdriver_point& point) {
        return point.frequency_hz >= resonance.f1_hz && point.frequency_hz <= resonance.f2_hz;
      }));
  if (resonance.points_within < least_points_within) {
    search.too_coarse = true;
    search.refusal = "zu wenige Punkte um fs (" + std::to_string(resonance.points_within) + "): mindestens " +
                     std::to_string(least_points_within) + " zwischen " + hz_text(resonance.f1_hz) + " und " +
                     hz_text(resonance.f2_hz) + " nötig; ein feineres Raster um fs messen";
  }
  return search;
}

tclassic_parameters classic_parameters(std::span<const tdriver_point> points, const tresonance& resonance,
                                       double re_ohm)
{
  tclassic_parameters classic;
  classic.fs_hz = resonance.fs_hz;
  classic.z_max_ohm = resonance.z_max_ohm;
  classic.r0 = resonance.z_max_ohm / re_ohm;
  const thalf_power half = half_power_points(points, magnitudes_of(points), resonance, re_ohm);
  classic.f1_hz = half.f1_hz.value_or(std::nan(""));
  classic.f2_hz = half.f2_hz.value_or(std::nan(""));
  classic.qms = classic.fs_hz * std::sqrt(classic.r0) / (classic.f2_hz - classic.f1_hz);
  classic.qes = classic.qms / (classic.r0 - 1.0);
  classic.qts = classic.qms * classic.qes / (classic.qms + classic.qes);
  return classic;
}

}  // namespace lcr
