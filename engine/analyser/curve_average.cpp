// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve_average.h"

#include <algorithm>
#include <cmath>

namespace lcr {

tcurve_average::tcurve_average(const tanalyser_grid& grid, int averaged_periods)
    : grid_(grid), averaged_periods_(std::max(averaged_periods, 1)), points_(grid.size())
{
  for (tpoint_average& point : points_) {
    for (tavg* average : {&point.re, &point.im, &point.amplitude, &point.ratio_noise, &point.left_noise,
                          &point.right_noise}) {
      avg_setup(*average, averaged_periods_);
    }
  }
  clear();
}

void tcurve_average::clear()
{
  for (std::size_t k = 0; k < points_.size(); ++k) {
    tpoint_average& point = points_[k];
    for (tavg* average : {&point.re, &point.im, &point.amplitude, &point.ratio_noise, &point.left_noise,
                          &point.right_noise}) {
      average->count = 0;
      average->pos = 0;
    }
    point.scatter.clear();
    point.mean = {};
    point.mean.frequency_hz = grid_.frequency_hz(k);
    point.mean.period_samples = grid_.period;
  }
}

void tcurve_average::push(std::span<const tpoint_window> windows)
{
  const std::size_t count = std::min(windows.size(), points_.size());
  for (std::size_t k = 0; k < count; ++k) {
    const tpoint_window& window = windows[k];
    tpoint_average& point = points_[k];
    tanalyser_point_data& mean = point.mean;
    mean.ratio = {avg_push(point.re, window.ratio.re), avg_push(point.im, window.ratio.im)};
    mean.left_amplitude = avg_push(point.amplitude, window.left_amplitude);
    mean.noise_ratio_variance = avg_push(point.ratio_noise, window.ratio_variance);
    mean.left_variance = avg_push(point.left_noise, window.left_variance);
    mean.right_variance = avg_push(point.right_noise, window.right_variance);
    mean.periods = point.re.count;
    point.scatter.push(window.ratio);
    // Whole periods, one period apart: no overlap.
    mean.scatter = point.scatter.spread_of_mean(mean.periods, grid_.period, grid_.period);
  }
}

int tcurve_average::periods() const
{
  return points_.empty() ? 0 : points_.front().re.count;
}

tanalyser_point_data tcurve_average::point(std::size_t k, double stepped_variance) const
{
  tanalyser_point_data data = points_[k].mean;
  data.stepped_variance = stepped_variance;
  return data;
}

}  // namespace lcr
