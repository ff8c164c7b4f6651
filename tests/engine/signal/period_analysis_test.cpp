// SPDX-License-Identifier: GPL-3.0-or-later
// One period of a multisine through a known response: every point's ratio
// exact without noise, and with noise errors as large as the noise beside
// the points says.
#include "engine/signal/multisine.h"
#include "engine/signal/period_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

using lcr::tcomplex;

// A first-order low-pass at 1 kHz: what a divider with a capacitor gives.
tcomplex response_at(double frequency_hz)
{
  return lcr::c_div({1.0, 0.0}, {1.0, frequency_hz / 1000.0});
}

// The multisine's period at `amplitude` and through the response, by the
// transform of the shaped spectrum.
std::vector<double> period_of(const lcr::tanalyser_grid& grid, const lcr::tmultisine& sine, double amplitude,
                              bool through_response)
{
  lcr::tfourier_transform transform(grid.period);
  std::vector<tcomplex> spectrum(static_cast<std::size_t>(grid.period));
  for (std::size_t k = 0; k < grid.size(); ++k) {
    tcomplex c{sine.amplitudes[k] * std::cos(sine.phases[k]), sine.amplitudes[k] * std::sin(sine.phases[k])};
    if (through_response) c = lcr::c_mul(c, response_at(grid.frequency_hz(k)));
    spectrum[static_cast<std::size_t>(grid.bins[k])] = {c.re, -c.im};
  }
  transform.transform(spectrum);
  std::vector<double> samples(spectrum.size());
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = amplitude * grid.period * spectrum[i].re;
  return samples;
}

class PeriodAnalysis : public testing::Test {
protected:
  lcr::tanalyser_grid grid = *lcr::analyser_grid({10.0, 20000.0, 24}).grid;
  lcr::tmultisine sine = lcr::make_multisine(grid);
  std::vector<double> left = period_of(grid, sine, 20000.0, false);
  std::vector<double> right = period_of(grid, sine, 20000.0, true);
  lcr::tperiod_analysis analysis{grid};
  std::vector<lcr::tpoint_window> points = std::vector<lcr::tpoint_window>(grid.size());
};

TEST_F(PeriodAnalysis, EveryPointReadsTheResponseExactlyWithoutNoise)
{
  analysis.analyse(left, right, points);
  for (std::size_t k = 0; k < grid.size(); ++k) {
    const tcomplex expected = response_at(grid.frequency_hz(k));
    EXPECT_NEAR(points[k].ratio.re, expected.re, 1e-10) << grid.frequency_hz(k) << " Hz";
    EXPECT_NEAR(points[k].ratio.im, expected.im, 1e-10) << grid.frequency_hz(k) << " Hz";
    EXPECT_NEAR(points[k].left_amplitude, 20000.0 * sine.amplitudes[k] / 2.0, 1e-8);
    EXPECT_LT(points[k].ratio_variance, 1e-24);
  }
  const std::set<int> excited(grid.bins.begin(), grid.bins.end());
  for (std::size_t k = 0; k < grid.size(); ++k) {
    for (const int bin : analysis.noise_bins(k)) {
      EXPECT_GT(bin, 0);
      EXPECT_FALSE(excited.contains(bin)) << bin;
      EXPECT_NE(bin % 50, 0) << bin;
      EXPECT_NE(bin % 60, 0) << bin;
    }
  }
}

TEST_F(PeriodAnalysis, TheNoiseBesideEachPointIsAsLargeAsItsError)
{
  constexpr double left_sigma = 2.0;
  constexpr double right_sigma = 3.0;
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  double squared_errors = 0.0;
  double variances = 0.0;
  double left_variance = 0.0;
  int count = 0;
  for (int period = 0; period < 4; ++period) {
    std::vector<double> noisy_left = left;
    std::vector<double> noisy_right = right;
    for (double& sample : noisy_left) sample += left_sigma * noise(random);
    for (double& sample : noisy_right) sample += right_sigma * noise(random);
    analysis.analyse(noisy_left, noisy_right, points);
    for (std::size_t k = 0; k < grid.size(); ++k) {
      const tcomplex error = lcr::c_sub(points[k].ratio, response_at(grid.frequency_hz(k)));
      squared_errors += error.re * error.re + error.im * error.im;
      variances += points[k].ratio_variance;
      left_variance += points[k].left_variance;
      ++count;
    }
  }
  EXPECT_NEAR(squared_errors / variances, 1.0, 0.1);
  EXPECT_NEAR(left_variance / count / (left_sigma * left_sigma), 1.0, 0.05);
}

}  // namespace
