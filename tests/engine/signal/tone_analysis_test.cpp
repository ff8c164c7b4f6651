// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/core/complex_math.h"
#include "engine/core/settings.h"
#include "engine/signal/tone_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace {

constexpr int rate_hz = 48000;

lcr::tdft transform_of(int factor)
{
  lcr::tdft dft;
  lcr::dft_setup(dft, 100, factor, rate_hz);
  return dft;
}

// Fills the window with a·cos(2πki/n + phase).
void fill_tone(lcr::tdft& dft, int k, double amplitude, double phase)
{
  for (int i = 0; i < dft.n; ++i) {
    const long double angle = 2.0L * 3.14159265358979323846L * k * i / dft.n + phase;
    dft.data[static_cast<std::size_t>(i)] = static_cast<double>(amplitude * std::cos(angle));
  }
}

TEST(SingleBinTransform, SetupSizesFromTheFactor)
{
  for (const auto& [factor, n] : {std::pair{1, 960}, {4, 3840}, {16, 15360}}) {
    const lcr::tdft dft = transform_of(factor);
    EXPECT_EQ(dft.n, n);
    EXPECT_EQ(dft.factor2, 2 * factor);
    EXPECT_EQ(dft.data.size(), 2u * static_cast<unsigned>(n));
    EXPECT_EQ(dft.cos.size(), static_cast<unsigned>(n));
    EXPECT_EQ(dft.negsin.size(), static_cast<unsigned>(n));
  }
  const lcr::tdft dft = transform_of(1);
  EXPECT_EQ(dft.cos[0], 1.0);
  EXPECT_EQ(dft.negsin[0], -0.0);
  EXPECT_EQ(dft.cos[240], std::cos(lcr::pi / 2.0));  // quarter turn, from the rounded angle
  EXPECT_EQ(dft.negsin[240], -1.0);
  EXPECT_EQ(dft.cos[480], -1.0);
}

TEST(SingleBinTransform, CosineAndSineOfAmplitude1000)
{
  lcr::tdft dft = transform_of(1);
  for (const int k : {1, 2, 20, 400, 479}) {
    fill_tone(dft, k, 1000.0, 0.0);
    lcr::dft_bin(dft, k);
    EXPECT_NEAR(dft.re, 500.0, 1e-9) << "k = " << k;
    EXPECT_NEAR(dft.im, 0.0, 1e-9) << "k = " << k;
    fill_tone(dft, k, 1000.0, -3.14159265358979323846L / 2.0L);  // a sine
    lcr::dft_bin(dft, k);
    EXPECT_NEAR(dft.re, 0.0, 1e-9) << "k = " << k;
    EXPECT_NEAR(dft.im, -500.0, 1e-9) << "k = " << k;
  }
}

// Every test frequency sits on a bin of every transform length, far from the
// others: a tone at one test frequency leaves the other bins empty.
TEST(SingleBinTransform, TestFrequenciesAreLeakageFreeAtEveryLength)
{
  for (const int factor : {1, 4, 16}) {
    lcr::tdft dft = transform_of(factor);
    for (const int tone_hz : lcr::test_frequencies) {
      const int k_tone = lcr::bin_of_frequency(tone_hz, dft.n, rate_hz);
      EXPECT_EQ(k_tone, tone_hz * factor / 50);
      fill_tone(dft, k_tone, 1000.0, 0.7);
      for (const int other_hz : lcr::test_frequencies) {
        const int k = lcr::bin_of_frequency(other_hz, dft.n, rate_hz);
        lcr::dft_bin(dft, k);
        const double magnitude = std::hypot(dft.re, dft.im);
        if (k == k_tone) {
          EXPECT_NEAR(magnitude, 500.0, 1e-8) << "F " << factor << " f " << tone_hz;
        } else {
          EXPECT_LT(magnitude, 1e-8) << "F " << factor << " f " << tone_hz << " at " << other_hz;
        }
      }
    }
  }
}

// The stepped table index must visit exactly (k·i) mod n, also for bins of
// k ≥ n; a plain sum with the modulo gives the same bits.
TEST(SingleBinTransform, SteppedIndexMatchesModuloSum)
{
  lcr::tdft dft = transform_of(1);
  std::mt19937 generator(7);
  std::uniform_real_distribution<double> sample(-32768.0, 32767.0);
  for (int i = 0; i < dft.n; ++i) dft.data[static_cast<std::size_t>(i)] = sample(generator);
  for (const int k : {0, 1, 2, 7, 20, 400, 479, 480, 959, 960, 961, 2000, 6400}) {
    double sum_re = 0.0;
    double sum_im = 0.0;
    for (int i = 0; i < dft.n; ++i) {
      const auto index = static_cast<std::size_t>((static_cast<long long>(k) * i) % dft.n);
      sum_re += dft.data[static_cast<std::size_t>(i)] * dft.cos[index];
      sum_im += dft.data[static_cast<std::size_t>(i)] * dft.negsin[index];
    }
    lcr::dft_bin(dft, k);
    EXPECT_EQ(dft.re, sum_re / dft.n) << "k = " << k;
    EXPECT_EQ(dft.im, sum_im / dft.n) << "k = " << k;
  }
}

TEST(SingleBinTransform, ZeroWindowAndEmptyTransform)
{
  lcr::tdft dft = transform_of(16);
  lcr::dft_bin(dft, 32);
  EXPECT_EQ(dft.re, 0.0);
  EXPECT_EQ(dft.im, 0.0);
  lcr::tdft empty;
  lcr::dft_bin(empty, 3);
  EXPECT_EQ(empty.re, 0.0);
  EXPECT_EQ(empty.im, 0.0);
}

std::vector<double> counting_block(int count, double first)
{
  std::vector<double> block(static_cast<std::size_t>(count));
  std::iota(block.begin(), block.end(), first);
  return block;
}

TEST(SampleRing, TakeStartsAtTheNewestSamplesAfterTheStride)
{
  lcr::tbuff ring;
  lcr::ring_setup(ring, 960);
  // Sample values count the stream: the value of a sample is its stream index.
  lcr::ring_put(ring, counting_block(1280, 0.0));
  lcr::ring_put(ring, counting_block(1280, 1280.0));
  EXPECT_EQ(ring.wpos, 640);
  EXPECT_EQ(ring.fill, 2560);
  std::vector<double> window(960);
  lcr::ring_take(ring, window, 2400, 960);
  EXPECT_EQ(ring.fill, 160);
  // Position 480 holds stream sample 2400: the newest 160 samples come first.
  EXPECT_EQ(window[0], 2400.0);
  EXPECT_EQ(window[159], 2559.0);
  EXPECT_EQ(window[160], 1600.0);
  EXPECT_EQ(window[959], 2399.0);
}

TEST(SampleRing, WindowIsAlwaysTheNewestSamplesRotated)
{
  // Over the 15-block pattern and for every transform length the window
  // holds exactly the n newest samples.
  for (const int n : {960, 3840, 15360}) {
    lcr::tbuff ring;
    lcr::ring_setup(ring, n);
    std::vector<double> window(static_cast<std::size_t>(n));
    int written = 0;
    int takes = 0;
    for (int block = 0; block < 45; ++block) {
      lcr::ring_put(ring, counting_block(1280, written));
      written += 1280;
      if (ring.fill < 2400) continue;
      lcr::ring_take(ring, window, 2400, n);
      ++takes;
      if (written < n) continue;
      std::vector<double> sorted = window;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(sorted.front(), written - n) << "n " << n << " block " << block;
      EXPECT_EQ(sorted.back(), written - 1) << "n " << n << " block " << block;
    }
    EXPECT_EQ(takes, 24) << "three 15-block patterns evaluate 8 times each";
    EXPECT_EQ(ring.fill, 0);
  }
}

TEST(SampleRing, SizesBelowOneBecomeOne)
{
  lcr::tbuff ring;
  lcr::ring_setup(ring, 0);
  EXPECT_EQ(ring.size, 1);
  lcr::ring_setup(ring, -5);
  EXPECT_EQ(ring.size, 1);
  lcr::ring_put(ring, counting_block(3, 10.0));
  EXPECT_EQ(ring.data[0], 12.0);
  EXPECT_EQ(ring.fill, 3);
}

TEST(RunningMean, MeanOfAllUntilFullThenMoving)
{
  lcr::tavg avg;
  lcr::avg_setup(avg, 4);
  EXPECT_EQ(lcr::avg_push(avg, 7.0), 7.0);
  lcr::avg_setup(avg, 4);
  double mean = 0.0;
  for (const double value : {1.0, 2.0, 3.0, 4.0, 5.0}) mean = lcr::avg_push(avg, value);
  EXPECT_EQ(mean, 3.5);
  EXPECT_EQ(lcr::avg_push(avg, 10.0), (10.0 + 5.0 + 4.0 + 3.0) / 4.0);
}

TEST(RunningMean, LengthZeroAveragesNothing)
{
  lcr::tavg avg;
  lcr::avg_setup(avg, 0);
  EXPECT_EQ(avg.length, 1);
  EXPECT_EQ(lcr::avg_push(avg, 3.0), 3.0);
  EXPECT_EQ(lcr::avg_push(avg, -8.0), -8.0);
}

TEST(RunningMean, SumsFromNewestToOldest)
{
  // Newest first: (1e16 + 1) rounds back to 1e16, and so does the next + 1.
  // Oldest first would give 1 + 1 + 1e16 = 1e16 + 2.
  lcr::tavg avg;
  lcr::avg_setup(avg, 4);
  lcr::avg_push(avg, 1.0);
  lcr::avg_push(avg, 1.0);
  EXPECT_EQ(lcr::avg_push(avg, 1e16), 1e16 / 3.0);
}

}  // namespace
