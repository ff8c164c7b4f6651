// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces a reading's uncertainty is made of, each against an
// independent calculation: where the noise is looked for, how much it is,
// the rounding's deterministic part, the averaging of overlapping windows
// and the quantities' poles and periods.
#include "engine/quantities/quantities.h"
#include "engine/readings/reading_spread.h"
#include "engine/signal/noise_floor.h"
#include "engine/signal/ratio_scatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr double pi = 3.14159265358979323846;

double bin_hz(int k, int n)
{
  return static_cast<double>(k) * rate / n;
}

TEST(NoiseBins, LieOnOddMultiplesOfTheResolvedSpacingNearestTheToneFirst)
{
  // n = 960 ("FT Faktor" 1) resolves 50 Hz only; 3840 and 15360 resolve 25 Hz.
  for (const auto& [n, spacing_hz] : {std::pair{960, 50}, {3840, 25}, {15360, 25}}) {
    for (const int tone_hz : {100, 1000, 10000}) {
      const lcr::tnoise_bins bins = lcr::noise_bins_near(tone_hz, n, rate);
      ASSERT_EQ(bins.count, lcr::noise_bins_per_tone) << n << " " << tone_hz;
      double last_distance = 0.0;
      for (int i = 0; i < bins.count; ++i) {
        const double hz = bin_hz(bins.k[static_cast<std::size_t>(i)], n);
        const auto multiple = static_cast<long>(std::lround(hz / spacing_hz));
        EXPECT_DOUBLE_EQ(hz, static_cast<double>(multiple * spacing_hz));
        EXPECT_EQ(multiple % 2, 1) << hz << " Hz would hold a tone, harmonic or hum";
        EXPECT_GT(hz, 0.0);
        EXPECT_LT(hz, rate / 2.0);
        EXPECT_GE(std::fabs(hz - tone_hz), last_distance);
        last_distance = std::fabs(hz - tone_hz);
      }
    }
  }
  EXPECT_EQ(lcr::noise_bins_near(1000, 1000, rate).count, 0);  // resolves neither
}

// Windows holding a tone and white Gaussian noise, left and right.
struct tnoisy_windows {
  lcr::tdft left;
  lcr::tdft right;
  std::mt19937 random{2026};

  tnoisy_windows()
  {
    lcr::dft_setup(left, 100, 4, rate);
    lcr::dft_setup(right, 100, 4, rate);
  }

  void fill(double amplitude, double h, double left_sigma, double right_sigma, double hum_amplitude = 0.0)
  {
    std::normal_distribution<double> noise(0.0, 1.0);
    for (int i = 0; i < left.n; ++i) {
      const double tone = amplitude * std::cos(2.0 * pi * 1000.0 * i / rate);
      const double hum = hum_amplitude * std::cos(2.0 * pi * 1025.0 * i / rate);
      left.data[static_cast<std::size_t>(i)] = tone + left_sigma * noise(random) + hum;
      right.data[static_cast<std::size_t>(i)] = h * tone + right_sigma * noise(random);
    }
  }
};

TEST(WindowNoise, MeasuresWhiteNoiseOnEachInputAndInTheRatio)
{
  constexpr double amplitude = 1000.0;
  constexpr double h = 0.5;
  constexpr double left_sigma = 3.0;
  constexpr double right_sigma = 2.0;
  tnoisy_windows windows;
  const lcr::tnoise_bins bins = lcr::noise_bins_near(1000, windows.left.n, rate);
  constexpr int count = 300;
  double ratio = 0.0;
  double left = 0.0;
  double right = 0.0;
  for (int window = 0; window < count; ++window) {
    windows.fill(amplitude, h, left_sigma, right_sigma);
    const lcr::twindow_noise noise = lcr::window_noise(windows.left, windows.right, bins, {h, 0.0},
                                                       amplitude * amplitude / 4.0);
    ratio += noise.ratio_variance / count;
    left += noise.left_variance / count;
    right += noise.right_variance / count;
  }
  // A bin of the 1/n-normalised transform holds s²/n of white noise; the
  // ratio's perturbation is (N2 − h·N1) over the tone's bin, amplitude/2.
  const double n = windows.left.n;
  const double expected_ratio = (right_sigma * right_sigma + h * h * left_sigma * left_sigma) / n /
                                (amplitude * amplitude / 4.0);
  EXPECT_NEAR(ratio / expected_ratio, 1.0, 0.1);
  EXPECT_NEAR(left / (left_sigma * left_sigma), 1.0, 0.1);
  EXPECT_NEAR(right / (right_sigma * right_sigma), 1.0, 0.1);
}

TEST(WindowNoise, AHumLineAmongTheBinsDoesNotCountAsNoiseAndUnknownIsNaN)
{
  tnoisy_windows windows;
  const lcr::tnoise_bins bins = lcr::noise_bins_near(1000, windows.left.n, rate);
  double quiet = 0.0;
  double hummed = 0.0;
  for (int window = 0; window < 200; ++window) {
    windows.fill(1000.0, 0.5, 3.0, 2.0);
    quiet += lcr::window_noise(windows.left, windows.right, bins, {0.5, 0.0}, 250000.0).left_variance;
    // A line at 1025 Hz, one of the bins, with 100 times the noise's power there.
    windows.fill(1000.0, 0.5, 3.0, 2.0, 2.0 * 3.0 * std::sqrt(100.0 / windows.left.n));
    hummed += lcr::window_noise(windows.left, windows.right, bins, {0.5, 0.0}, 250000.0).left_variance;
  }
  EXPECT_LT(hummed / quiet, 1.3);  // a mean of the bins would read about 13 times

  windows.fill(1000.0, 0.5, 3.0, 2.0);
  EXPECT_TRUE(std::isnan(lcr::window_noise(windows.left, windows.right, {}, {0.5, 0.0}, 250000.0).ratio_variance));
  EXPECT_TRUE(std::isnan(lcr::window_noise(windows.left, windows.right, bins, {0.5, 0.0}, 0.0).ratio_variance));
}

// The variance over a uniformly spread value v of the rounding error of
// v + x averaged over Gaussian x of variance s2, from the probability of
// each rounded value.
double rounding_variance_by_integration(double s2)
{
  const double s = std::sqrt(s2);
  const auto below = [s](double at) { return 0.5 * std::erfc(-at / (s * std::sqrt(2.0))); };
  constexpr int values = 4000;
  double sum = 0.0;
  for (int i = 0; i < values; ++i) {
    const double v = (i + 0.5) / values;
    double mean_rounded = 0.0;
    for (int m = -12; m <= 12; ++m) mean_rounded += m * (below(m + 0.5 - v) - below(m - 0.5 - v));
    const double mean_error = mean_rounded - v;
    sum += mean_error * mean_error / values;
  }
  return sum;
}

TEST(Rounding, TheDeterministicPartMatchesAnIntegrationAndNoiseIsRecoveredFromWhatARoundedInputShows)
{
  EXPECT_DOUBLE_EQ(lcr::deterministic_rounding_variance(0.0), 1.0 / 12.0);
  for (const double sigma : {0.05, 0.1, 0.2, 0.3}) {
    const double s2 = sigma * sigma;
    const double expected = rounding_variance_by_integration(s2);
    EXPECT_NEAR(lcr::deterministic_rounding_variance(s2), expected, 1e-3 * expected + 1e-10)
        << sigma;
  }
  EXPECT_LT(lcr::deterministic_rounding_variance(0.25), 1e-5);  // half a step of noise dithers it away

  for (const double noise : {0.0, 1e-4, 0.01, 0.05, 0.2, 1.0, 100.0}) {
    const double shown = noise + 1.0 / 12.0 - lcr::deterministic_rounding_variance(noise);
    EXPECT_NEAR(lcr::noise_before_rounding(shown), noise, 1e-9 * (1.0 + noise)) << noise;
  }
  EXPECT_EQ(lcr::noise_before_rounding(-1.0), 0.0);

  // Quiet input: each of L distinct samples rounds by 1/12, four times
  // that per bin; whole steps of dither leave the rounding as it is.
  EXPECT_DOUBLE_EQ(lcr::rounding_bin_variance(48, 0.0), 4.0 / 12.0 / 48.0);
  EXPECT_DOUBLE_EQ(lcr::rounding_bin_variance(48, 1.0, 1.0), lcr::rounding_bin_variance(48, 0.0));
  EXPECT_LT(lcr::rounding_bin_variance(48, 1.0), 1e-10);
}

TEST(Rounding, AnInputRepeatsAfterItsTonesPeriodInSamplesAtMostTheWindow)
{
  EXPECT_EQ(lcr::input_repeat_length(1000, false, 3840, rate), 48);
  EXPECT_EQ(lcr::input_repeat_length(300, false, 3840, rate), 160);
  EXPECT_EQ(lcr::input_repeat_length(10000, false, 3840, rate), 24);  // 5 periods in 24 samples
  EXPECT_EQ(lcr::input_repeat_length(1000, true, 3840, rate), 480);   // the multitone's 100 Hz
  EXPECT_EQ(lcr::input_repeat_length(100, false, 240, rate), 240);
  EXPECT_EQ(lcr::input_repeat_length(0, false, 960, rate), 960);
}

// The variance of the mean of L window sums of white noise, relative to
// one window's: count how many windows hold each sample.
double mean_variance_by_counting(int averaged, int n, int stride)
{
  std::vector<int> holding(static_cast<std::size_t>((averaged - 1) * stride + n), 0);
  for (int window = 0; window < averaged; ++window) {
    for (int i = 0; i < n; ++i) ++holding[static_cast<std::size_t>(window * stride + i)];
  }
  double sum = 0.0;
  for (const int h : holding) sum += static_cast<double>(h) * h;
  return sum / (static_cast<double>(averaged) * averaged * n);
}

TEST(RatioScatter, TheMeanOfOverlappingWindowsVariesAsCountingTheirSharedSamplesSays)
{
  for (const auto& [averaged, n, stride] : {std::tuple{1, 960, 480}, {4, 960, 960}, {4, 960, 2000},
                                           {5, 8, 2}, {16, 960, 240}, {3, 3840, 1}}) {
    const double expected = mean_variance_by_counting(averaged, n, std::min(stride, n));
    EXPECT_NEAR(lcr::mean_variance_factor(averaged, n, stride), expected, 1e-12)
        << averaged << " " << n << " " << stride;
  }
}

TEST(QuantityErrors, PhaseErrorsAreToldModulo180AndEveryOtherPlainly)
{
  using lcr::quantity_key;
  EXPECT_NEAR(lcr::quantity_difference(quantity_key::phi_Z, 89.99, -90.01), 0.0, 1e-9);
  EXPECT_NEAR(lcr::quantity_difference(quantity_key::phi_Y, -179.0, 179.0), 2.0, 1e-9);
  EXPECT_NEAR(lcr::quantity_difference(quantity_key::phi_Z, 10.0, 20.0), -10.0, 1e-12);
  EXPECT_NEAR(lcr::quantity_difference(quantity_key::Z, 89.99, -90.01), 180.0, 1e-12);
  EXPECT_EQ(lcr::quantity_period(quantity_key::phi_Z), 180.0);
  EXPECT_EQ(lcr::quantity_period(quantity_key::C), 0.0);
}

TEST(QuantityErrors, PolesLieWhereTheQuantityGrowsWithoutBound)
{
  using lcr::quantity_key;
  const lcr::tcomplex z{10.0, -1000.0};
  const auto poles = [&](quantity_key key, bool parallel) { return lcr::quantity_poles(key, parallel, 1000.0, z); };
  // Q = |X|/R and a parallel resistance |Z|²/R grow as R goes to 0.
  for (const auto& [key, parallel] : {std::pair{quantity_key::Q, false}, {quantity_key::R, true}}) {
    const auto p = poles(key, parallel);
    EXPECT_TRUE(p.resistance);
    EXPECT_FALSE(p.reactance);
  }
  // D = R/|X| and a series capacitance −1/(ωX) as X goes to 0.
  for (const auto& [key, parallel] : {std::pair{quantity_key::D, false}, {quantity_key::C, false}}) {
    const auto p = poles(key, parallel);
    EXPECT_FALSE(p.resistance);
    EXPECT_TRUE(p.reactance);
  }
  const auto y = poles(quantity_key::Y, false);
  EXPECT_TRUE(y.impedance);
  EXPECT_FALSE(y.resistance || y.reactance);
  for (const quantity_key bounded : {quantity_key::Z, quantity_key::phi_Z, quantity_key::R, quantity_key::X}) {
    const auto p = poles(bounded, false);
    EXPECT_FALSE(p.resistance || p.reactance || p.impedance);
  }
}

}  // namespace
