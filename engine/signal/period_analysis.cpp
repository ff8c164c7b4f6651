// SPDX-License-Identifier: GPL-3.0-or-later
#include "period_analysis.h"

#include "engine/signal/noise_floor.h"

#include <cmath>
#include <limits>

namespace lcr {

namespace {

double power(tcomplex x)
{
  return x.re * x.re + x.im * x.im;
}

bool quiet_bin(const tanalyser_grid& grid, const std::vector<bool>& excited, int bin)
{
  if (bin <= 0 || bin >= grid.period / 2 || excited[static_cast<std::size_t>(bin)]) return false;
  const double hz = bin * grid.bin_hz();
  return std::fmod(hz, 50.0) != 0.0 && std::fmod(hz, 60.0) != 0.0;
}

std::array<int, analyser_noise_bins> nearest_quiet_bins(const tanalyser_grid& grid, const std::vector<bool>& excited,
                                                        int bin)
{
  std::array<int, analyser_noise_bins> found{};
  std::size_t count = 0;
  for (int distance = 1; count < found.size() && distance < grid.period / 2; ++distance) {
    for (const int candidate : {bin - distance, bin + distance}) {
      if (count < found.size() && quiet_bin(grid, excited, candidate)) found[count++] = candidate;
    }
  }
  return found;
}

}  // namespace

tperiod_analysis::tperiod_analysis(const tanalyser_grid& grid)
    : grid_(grid), transform_(grid.period), left_bins_(static_cast<std::size_t>(grid.period / 2 + 1)),
      right_bins_(left_bins_.size())
{
  std::vector<bool> excited(left_bins_.size(), false);
  for (const int bin : grid_.bins) excited[static_cast<std::size_t>(bin)] = true;
  noise_bins_.reserve(grid_.size());
  for (const int bin : grid_.bins) noise_bins_.push_back(nearest_quiet_bins(grid_, excited, bin));
}

void tperiod_analysis::analyse(std::span<const double> left, std::span<const double> right,
                               std::span<tpoint_window> points)
{
  transform_.transform_real_pair(left, right, left_bins_, right_bins_);
  const double n = grid_.period;
  for (std::size_t point = 0; point < grid_.size() && point < points.size(); ++point) {
    const auto bin = static_cast<std::size_t>(grid_.bins[point]);
    const tcomplex x1 = left_bins_[bin];
    const tcomplex x2 = right_bins_[bin];
    const double g = power(x1);
    tpoint_window& result = points[point];
    result.left_amplitude = std::sqrt(g);
    result.ratio = g > 1e-20 ? c_div(x2, x1) : tcomplex{};
    std::array<double, analyser_noise_bins> residuals{};
    std::array<double, analyser_noise_bins> lefts{};
    std::array<double, analyser_noise_bins> rights{};
    for (std::size_t i = 0; i < analyser_noise_bins; ++i) {
      const auto quiet = static_cast<std::size_t>(noise_bins_[point][i]);
      residuals[i] = power(c_sub(right_bins_[quiet], c_mul(result.ratio, left_bins_[quiet])));
      lefts[i] = power(left_bins_[quiet]);
      rights[i] = power(right_bins_[quiet]);
    }
    // A bin of white noise of variance s² per sample holds s²/n.
    result.left_variance = median_noise_power(lefts) * n;
    result.right_variance = median_noise_power(rights) * n;
    result.ratio_variance =
        g > 1e-20 ? median_noise_power(residuals) / g : std::numeric_limits<double>::quiet_NaN();
  }
}

}  // namespace lcr
