// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser's frequency grid and its excitation: bins that are log-spaced
// where the period resolves them and merge where it does not, the limits an
// operator can hit, and a multisine whose sines each stay on their own bin.
#include "engine/signal/analyser_grid.h"
#include "engine/signal/multisine.h"
#include "engine/signal/fourier_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

lcr::tanalyser_grid grid_of(double from_hz, double to_hz, int density)
{
  const lcr::tgrid_result result = lcr::analyser_grid({from_hz, to_hz, density});
  EXPECT_TRUE(result.grid.has_value()) << result.refusal;
  return result.grid.value_or(lcr::tanalyser_grid{});
}

TEST(AnalyserGrid, IsLogSpacedWhereTheBinsAllowAndMergesBelow)
{
  for (const int density : lcr::analyser_densities) {
    const lcr::tanalyser_grid grid = grid_of(10.0, 20000.0, density);
    ASSERT_GE(grid.size(), 2u);
    EXPECT_EQ(grid.bin_hz(), 1.0);
    EXPECT_EQ(grid.frequency_hz(0), 10.0);
    EXPECT_LE(grid.frequency_hz(grid.size() - 1), 20000.0);
    EXPECT_GT(grid.frequency_hz(grid.size() - 1), 20000.0 / std::exp2(1.0 / density));
    const double step = std::exp2(1.0 / density);
    for (std::size_t i = 1; i < grid.size(); ++i) {
      const double low = grid.frequency_hz(i - 1);
      const double high = grid.frequency_hz(i);
      ASSERT_GT(high, low) << "a bin twice at " << high << " Hz";
      // Each point within half a bin of its log position: the ratio to its
      // neighbour off the step by at most one bin's worth.
      if (low * (step - 1.0) > 1.0) {
        EXPECT_NEAR(high / low, step, 1.0 / low) << density << " at " << low << " Hz";
      } else {
        EXPECT_LE(high - low, 2.0) << density << " at " << low << " Hz";
      }
    }
  }
  // 48 per octave from 10 Hz: a step of 0.15 Hz, so every bin up to 20 Hz once.
  const lcr::tanalyser_grid dense = grid_of(10.0, 20000.0, 48);
  for (int hz = 10; hz <= 20; ++hz) EXPECT_EQ(dense.bins[static_cast<std::size_t>(hz - 10)], hz);
  // 6 per octave over 10.97 octaves: 65 steps, none merged.
  EXPECT_EQ(grid_of(10.0, 20000.0, 6).size(), 66u);
  // A stop an exact number of steps away is the last point.
  const lcr::tanalyser_grid octave = grid_of(100.0, 200.0, 6);
  EXPECT_EQ(octave.size(), 7u);
  EXPECT_EQ(octave.bins.back(), 200);
}

TEST(AnalyserGrid, RefusesWhatTheCardOrThePeriodCannotDoAndSaysWhy)
{
  EXPECT_TRUE(lcr::analyser_grid({10.0, 21600.0, 24}).grid.has_value());  // 0.45 × 48 kHz
  const struct {
    lcr::tgrid_request request;
    const char* reason;
  } refused[] = {{{10.0, 21601.0, 24}, "Stoppfrequenz über 21600 Hz"},
                 {{0.5, 1000.0, 24}, "Startfrequenz unter 1 Hz"},
                 {{-10.0, 1000.0, 24}, "Startfrequenz unter 1 Hz"},
                 {{std::nan(""), 1000.0, 24}, "Startfrequenz unter 1 Hz"},
                 {{1000.0, 1000.0, 24}, "Stoppfrequenz nicht über der Startfrequenz"},
                 {{2000.0, 1000.0, 24}, "Stoppfrequenz nicht über der Startfrequenz"},
                 {{10.0, 20000.0, 10}, "Punkte je Oktave: 6, 12, 24 oder 48"},
                 {{10.0, 20000.0, 0}, "Punkte je Oktave: 6, 12, 24 oder 48"}};
  for (const auto& [request, reason] : refused) {
    const lcr::tgrid_result result = lcr::analyser_grid(request);
    EXPECT_FALSE(result.grid.has_value()) << reason;
    EXPECT_EQ(result.refusal, reason);
  }
  EXPECT_FALSE(lcr::analyser_grid({10.0, 20000.0, 24}, 0).grid.has_value());
}

TEST(AnalyserGrid, ADenseGridTakesEveryFineBinOrEveryNthUpToItsMost)
{
  const lcr::tanalyser_grid every = *lcr::dense_analyser_grid(20.1, 25.0, 96).grid;
  EXPECT_EQ(every.period, lcr::analyser_fine_period_samples);
  EXPECT_EQ(every.frequency_hz(0), 20.25);
  EXPECT_EQ(every.frequency_hz(every.size() - 1), 25.0);
  EXPECT_EQ(every.size(), 20u);
  const lcr::tanalyser_grid thinned = *lcr::dense_analyser_grid(10.0, 40.0, 60).grid;  // 121 bins
  EXPECT_EQ(thinned.size(), 41u);
  EXPECT_EQ(thinned.bins[1] - thinned.bins[0], 3);
  EXPECT_EQ(lcr::dense_analyser_grid(30.05, 30.2, 96).refusal, "kein Punkt zwischen 30.05 Hz und 30.2 Hz");
  EXPECT_EQ(lcr::dense_analyser_grid(0.1, 3.0, 96).refusal, "Startfrequenz unter 0.25 Hz");
  EXPECT_EQ(lcr::dense_analyser_grid(30.0, 21700.0, 96).refusal, "Stoppfrequenz über 21600 Hz");
  EXPECT_EQ(lcr::dense_analyser_grid(30.0, 20.0, 96).refusal, "Stoppfrequenz nicht über der Startfrequenz");
}

TEST(Multisine, EachSineStaysOnItsBinWithItsAmplitudeAndPhase)
{
  const lcr::tanalyser_grid grid = grid_of(10.0, 20000.0, 48);
  const lcr::tmultisine sine = lcr::make_multisine(grid);
  ASSERT_EQ(sine.samples.size(), static_cast<std::size_t>(grid.period));
  double peak = 0.0;
  for (const double sample : sine.samples) peak = std::max(peak, std::fabs(sample));
  EXPECT_NEAR(peak, 1.0, 1e-12);
  double power = 0.0;
  for (const double sample : sine.samples) power += sample * sample;
  EXPECT_NEAR(sine.crest_factor, 1.0 / std::sqrt(power / static_cast<double>(sine.samples.size())), 1e-9);

  lcr::tfourier_transform transform(grid.period);
  std::vector<lcr::tcomplex> bins(static_cast<std::size_t>(grid.period / 2 + 1));
  std::vector<lcr::tcomplex> unused(bins.size());
  transform.transform_real_pair(sine.samples, sine.samples, bins, unused);
  std::set<int> excited(grid.bins.begin(), grid.bins.end());
  for (std::size_t k = 0; k < bins.size(); ++k) {
    const double magnitude = std::hypot(bins[k].re, bins[k].im);
    if (!excited.contains(static_cast<int>(k))) {
      ASSERT_LT(magnitude, 1e-13) << "bin " << k << " holds " << magnitude;
    }
  }
  for (std::size_t point = 0; point < grid.size(); ++point) {
    const lcr::tcomplex bin = bins[static_cast<std::size_t>(grid.bins[point])];
    EXPECT_NEAR(std::hypot(bin.re, bin.im), sine.amplitudes[point] / 2.0, 1e-13);
    EXPECT_NEAR(std::remainder(std::atan2(bin.im, bin.re) - sine.phases[point], 2.0 * lcr::pi), 0.0, 1e-9);
  }
  // The low end carries more: twice the amplitude at 10 Hz as above 100 Hz.
  EXPECT_NEAR(sine.amplitudes.front() / sine.amplitudes.back(), 2.0, 1e-12);
}

}  // namespace
