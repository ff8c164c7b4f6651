// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lcr {

namespace {

std::string hz_text(double hz)
{
  char text[32];
  std::snprintf(text, sizeof text, "%g Hz", hz);
  return text;
}

std::string span_refusal(const tgrid_request& request, double bin_hz, double highest_hz)
{
  if (!std::isfinite(request.from_hz) || !(request.from_hz >= bin_hz)) {
    return "Startfrequenz unter " + hz_text(bin_hz);
  }
  if (!std::isfinite(request.to_hz) || request.to_hz > highest_hz) {
    return "Stoppfrequenz über " + hz_text(highest_hz);
  }
  if (!(request.to_hz > request.from_hz)) return "Stoppfrequenz nicht über der Startfrequenz";
  return {};
}

std::string refusal_of(const tgrid_request& request, double bin_hz, double highest_hz)
{
  if (std::find(std::begin(analyser_densities), std::end(analyser_densities), request.points_per_octave) ==
      std::end(analyser_densities)) {
    return "Punkte je Oktave: 6, 12, 24 oder 48";
  }
  return span_refusal(request, bin_hz, highest_hz);
}

}  // namespace

tgrid_result analyser_grid(const tgrid_request& request, int rate, int period)
{
  tgrid_result result;
  if (rate <= 0 || period <= 0) {
    result.refusal = "keine Abtastrate";
    return result;
  }
  const double bin_hz = static_cast<double>(rate) / period;
  const double highest_hz = analyser_highest_fraction * rate;
  result.refusal = refusal_of(request, bin_hz, highest_hz);
  if (!result.refusal.empty()) return result;

  tanalyser_grid grid{rate, period, {}};
  const double octaves = std::log2(request.to_hz / request.from_hz);
  // A hair over the last step, so that a stop an exact number of steps away
  // is itself a point despite rounding.
  const int steps = static_cast<int>(std::floor(octaves * request.points_per_octave + 1e-9));
  const int highest_bin = static_cast<int>(std::floor(request.to_hz / bin_hz + 1e-9));
  for (int i = 0; i <= steps; ++i) {
    const double hz = request.from_hz * std::exp2(static_cast<double>(i) / request.points_per_octave);
    const int bin = std::clamp(static_cast<int>(std::lround(hz / bin_hz)), 1, highest_bin);
    if (grid.bins.empty() || bin > grid.bins.back()) grid.bins.push_back(bin);
  }
  result.grid = std::move(grid);
  return result;
}

tgrid_result dense_analyser_grid(double from_hz, double to_hz, int most_points, int rate, int period)
{
  tgrid_result result;
  if (rate <= 0 || period <= 0 || most_points <= 0) {
    result.refusal = "keine Abtastrate";
    return result;
  }
  const double bin_hz = static_cast<double>(rate) / period;
  result.refusal = span_refusal({from_hz, to_hz, 0}, bin_hz, analyser_highest_fraction * rate);
  if (!result.refusal.empty()) return result;
  const int first_bin = static_cast<int>(std::ceil(from_hz / bin_hz - 1e-9));
  const int last_bin = static_cast<int>(std::floor(to_hz / bin_hz + 1e-9));
  if (last_bin < first_bin) {
    result.refusal = "kein Punkt zwischen " + hz_text(from_hz) + " und " + hz_text(to_hz);
    return result;
  }
  const int stride = (last_bin - first_bin + most_points) / most_points;
  tanalyser_grid grid{rate, period, {}};
  for (int bin = first_bin; bin <= last_bin; bin += stride) grid.bins.push_back(bin);
  result.grid = std::move(grid);
  return result;
}

}  // namespace lcr
