// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/analyser/curve_average.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(CurveAverage, EachPointIsTheMeanOfTheNewestPeriodsWithTheirScatterFromTheTenth)
{
  const lcr::tanalyser_grid grid = *lcr::analyser_grid({100.0, 200.0, 6}).grid;
  lcr::tcurve_average average(grid, 4);
  std::vector<lcr::tpoint_window> windows(grid.size());
  for (int period = 1; period <= 12; ++period) {
    for (std::size_t k = 0; k < windows.size(); ++k) {
      // Ratios k + period·j: the mean of periods p−3 … p has imaginary part p − 1.5.
      windows[k] = {{static_cast<double>(k), static_cast<double>(period)}, 100.0 + period, 1e-6 * period, 4.0, 9.0};
    }
    average.push(windows);
    EXPECT_EQ(average.periods(), std::min(period, 4));
    const lcr::tanalyser_point_data point = average.point(2, 0.5);
    const double first = std::max(period - 3, 1);
    EXPECT_DOUBLE_EQ(point.ratio.re, 2.0);
    EXPECT_DOUBLE_EQ(point.ratio.im, (first + period) / 2.0);
    EXPECT_DOUBLE_EQ(point.left_amplitude, 100.0 + (first + period) / 2.0);
    EXPECT_DOUBLE_EQ(point.noise_ratio_variance, 1e-6 * (first + period) / 2.0);
    EXPECT_EQ(point.periods, std::min(period, 4));
    EXPECT_EQ(point.stepped_variance, 0.5);
    EXPECT_EQ(point.frequency_hz, grid.frequency_hz(2));
    EXPECT_EQ(point.scatter.valid, period >= 10) << period;
  }
  // Periods 1 … 12 scatter by the variance of 1 … 12 (13) in the imaginary
  // part; the mean of four varies by a quarter of it.
  EXPECT_NEAR(average.point(0).scatter.var_im, 13.0 / 4.0, 1e-9);
  EXPECT_NEAR(average.point(0).scatter.var_re, 0.0, 1e-12);

  average.clear();
  EXPECT_EQ(average.periods(), 0);
  EXPECT_FALSE(lcr::analyser_point_spread(average.point(0)).valid);
}

}  // namespace
