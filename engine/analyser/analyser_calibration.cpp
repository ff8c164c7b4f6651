// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_calibration.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace lcr {

namespace {

tanalyser_point_entries nominal_entries(int ref_index)
{
  tanalyser_point_entries nominal;
  nominal.entries.z_ref = {static_cast<double>(ref_resistors[static_cast<std::size_t>(ref_index)]), 0.0};
  return nominal;
}

// Puts a taken entry in place of the nominal one.
void take(const tanalyser_entry& entry, tcomplex& value, tentry_spread& spread, bool& calibrated)
{
  if (!entry.taken) return;
  value = entry.value;
  spread = entry.spread;
  calibrated = true;
}

using tentry_pick = const tanalyser_entry& (*)(const tanalyser_cal_point&, std::size_t);

// The calibrated frequencies either side of a point between two of them,
// and the next ones out, where they lie close enough to tell the entries'
// curvature.
struct tneighbours {
  using tslot = std::map<double, tanalyser_cal_point>::const_iterator;
  tslot below;
  tslot above;
  std::optional<tslot> outer_below;
  std::optional<tslot> outer_above;
};

bool close_together(double lower_hz, double upper_hz)
{
  return upper_hz <= most_interpolated_ratio * lower_hz;
}

std::optional<tneighbours> neighbours_of(const tanalyser_calibration& calibration, double frequency_hz)
{
  const auto& points = calibration.points;
  const auto above = points.upper_bound(frequency_hz);
  if (above == points.end() || above == points.begin()) return std::nullopt;
  const auto below = std::prev(above);
  if (!(below->first > 0.0) || !close_together(below->first, above->first)) return std::nullopt;
  tneighbours neighbours{below, above, std::nullopt, std::nullopt};
  if (below != points.begin() && close_together(std::prev(below)->first, below->first)) {
    neighbours.outer_below = std::prev(below);
  }
  if (std::next(above) != points.end() && close_together(above->first, std::next(above)->first)) {
    neighbours.outer_above = std::next(above);
  }
  return neighbours;
}

tcomplex slope(double from_hz, tcomplex from, double to_hz, tcomplex to)
{
  const double run = 1.0 / (to_hz - from_hz);
  const tcomplex rise = c_sub(to, from);
  return {rise.re * run, rise.im * run};
}

// |g[f0, f1, f2]|, the second divided difference: half the second
// derivative somewhere between.
double curvature(tneighbours::tslot first, tneighbours::tslot middle, tneighbours::tslot last, tentry_pick pick,
                 std::size_t ref)
{
  const tcomplex lower = slope(first->first, pick(first->second, ref).value, middle->first,
                               pick(middle->second, ref).value);
  const tcomplex upper = slope(middle->first, pick(middle->second, ref).value, last->first,
                               pick(last->second, ref).value);
  return c_abs(slope(first->first, lower, last->first, upper));
}

// An entry between its neighbours, or none when one of the three (or four)
// was not taken.
std::optional<tanalyser_entry> interpolated_entry(const tneighbours& around, double frequency_hz, tentry_pick pick,
                                                  std::size_t ref)
{
  const tanalyser_entry& below = pick(around.below->second, ref);
  const tanalyser_entry& above = pick(around.above->second, ref);
  if (!below.taken || !above.taken) return std::nullopt;
  double largest_curvature = -1.0;
  if (around.outer_below && pick((*around.outer_below)->second, ref).taken) {
    largest_curvature = std::max(largest_curvature, curvature(*around.outer_below, around.below, around.above, pick, ref));
  }
  if (around.outer_above && pick((*around.outer_above)->second, ref).taken) {
    largest_curvature = std::max(largest_curvature, curvature(around.below, around.above, *around.outer_above, pick, ref));
  }
  if (largest_curvature < 0.0) return std::nullopt;
  const double below_hz = around.below->first;
  const double above_hz = around.above->first;
  const double share = (frequency_hz - below_hz) / (above_hz - below_hz);
  // g − line = g''(ξ)/2 · (f − a)(f − b); the next neighbour's curvature
  // stands for this stretch's, twice over.
  const double error_bound = 2.0 * largest_curvature * (frequency_hz - below_hz) * (above_hz - frequency_hz);
  tanalyser_entry entry;
  entry.taken = true;
  entry.value = {below.value.re + share * (above.value.re - below.value.re),
                 below.value.im + share * (above.value.im - below.value.im)};
  if (below.spread.unknown || above.spread.unknown) {
    entry.spread.unknown = true;
    return entry;
  }
  const tratio_spread& wider = below.spread.spread.var_re + below.spread.spread.var_im >=
                                       above.spread.spread.var_re + above.spread.spread.var_im
                                   ? below.spread.spread
                                   : above.spread.spread;
  tratio_spread spread = wider;
  const double added_variance = error_bound * error_bound / 3.0;
  spread.var_re += added_variance;
  spread.var_im += added_variance;
  entry.spread = tentry_spread::known(spread);
  return entry;
}

const tanalyser_entry& h_short_of(const tanalyser_cal_point& point, std::size_t) { return point.h_short; }
const tanalyser_entry& h_direct_of(const tanalyser_cal_point& point, std::size_t) { return point.h_direct; }
const tanalyser_entry& y_open_of(const tanalyser_cal_point& point, std::size_t ref) { return point.y_open[ref]; }
const tanalyser_entry& z_short_of(const tanalyser_cal_point& point, std::size_t ref) { return point.z_short[ref]; }
const tanalyser_entry& z_ref_of(const tanalyser_cal_point& point, std::size_t ref) { return point.z_ref[ref]; }

tanalyser_point_entries interpolated_entries(const tneighbours& around, int ref_index, double frequency_hz)
{
  tanalyser_point_entries out = nominal_entries(ref_index);
  const auto at = static_cast<std::size_t>(ref_index);
  const auto take_interpolated = [&](tentry_pick pick, tcomplex& value, tentry_spread& spread, bool& calibrated) {
    if (const auto entry = interpolated_entry(around, frequency_hz, pick, at)) take(*entry, value, spread, calibrated);
  };
  take_interpolated(h_short_of, out.entries.h_short, out.spreads.h_short, out.calibrated);
  take_interpolated(h_direct_of, out.entries.h_direct, out.spreads.h_direct, out.calibrated);
  take_interpolated(y_open_of, out.entries.y_open, out.spreads.y_open, out.calibrated);
  take_interpolated(z_short_of, out.entries.z_short, out.spreads.z_short, out.calibrated);
  take_interpolated(z_ref_of, out.entries.z_ref, out.spreads.z_ref, out.reference_calibrated);
  out.calibrated = out.calibrated || out.reference_calibrated;
  return out;
}

}  // namespace

tanalyser_point_entries analyser_entries(const tanalyser_calibration& calibration, int ref_index,
                                         double frequency_hz)
{
  const int r = clamp_ref_index(ref_index);
  tanalyser_point_entries out = nominal_entries(r);
  const auto found = calibration.points.find(frequency_hz);
  if (found == calibration.points.end()) {
    const std::optional<tneighbours> around = neighbours_of(calibration, frequency_hz);
    return around ? interpolated_entries(*around, r, frequency_hz) : out;
  }
  const tanalyser_cal_point& point = found->second;
  const auto at = static_cast<std::size_t>(r);
  take(point.h_short, out.entries.h_short, out.spreads.h_short, out.calibrated);
  take(point.h_direct, out.entries.h_direct, out.spreads.h_direct, out.calibrated);
  take(point.y_open[at], out.entries.y_open, out.spreads.y_open, out.calibrated);
  take(point.z_short[at], out.entries.z_short, out.spreads.z_short, out.calibrated);
  take(point.z_ref[at], out.entries.z_ref, out.spreads.z_ref, out.reference_calibrated);
  out.calibrated = out.calibrated || out.reference_calibrated;
  return out;
}

}  // namespace lcr
