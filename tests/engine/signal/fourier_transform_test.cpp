// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/signal/fourier_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using lcr::tcomplex;

// The bin by its definition, summed in long double.
tcomplex direct_bin(const std::vector<tcomplex>& x, int k)
{
  const auto n = static_cast<long double>(x.size());
  long double re = 0.0L;
  long double im = 0.0L;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const long double angle = -2.0L * lcr::pi_extended * static_cast<long double>((static_cast<long long>(k) * i) % x.size()) / n;
    re += x[i].re * std::cos(angle) - x[i].im * std::sin(angle);
    im += x[i].re * std::sin(angle) + x[i].im * std::cos(angle);
  }
  return {static_cast<double>(re / n), static_cast<double>(im / n)};
}

std::vector<tcomplex> random_signal(int n, unsigned seed)
{
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<tcomplex> x(static_cast<std::size_t>(n));
  for (tcomplex& sample : x) sample = {value(random), value(random)};
  return x;
}

TEST(FourierTransform, EveryBinIsTheDefinitionsForLengthsOfTwoThreeAndFive)
{
  for (const int n : {1, 2, 3, 5, 8, 12, 60, 96, 250, 960, 1500}) {
    const std::vector<tcomplex> x = random_signal(n, static_cast<unsigned>(n));
    std::vector<tcomplex> transformed = x;
    lcr::tfourier_transform transform(n);
    ASSERT_TRUE(transform.valid()) << n;
    transform.transform(transformed);
    for (int k = 0; k < n; ++k) {
      const tcomplex expected = direct_bin(x, k);
      ASSERT_NEAR(transformed[static_cast<std::size_t>(k)].re, expected.re, 1e-14) << n << " bin " << k;
      ASSERT_NEAR(transformed[static_cast<std::size_t>(k)].im, expected.im, 1e-14) << n << " bin " << k;
    }
  }
  for (const int n : {0, -4, 7, 14, 48001}) EXPECT_FALSE(lcr::tfourier_transform(n).valid()) << n;
}

TEST(FourierTransform, TwoRealInputsOfASecondComeApartExactly)
{
  // One second at 48 kHz: two cosines and noise; the separated bins against
  // the definition at the tones and at a few others.
  constexpr int n = 48000;
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> left(n);
  std::vector<double> right(n);
  for (int i = 0; i < n; ++i) {
    left[static_cast<std::size_t>(i)] = 1000.0 * std::cos(2.0 * lcr::pi * 37.0 * i / n + 0.3) + noise(random);
    right[static_cast<std::size_t>(i)] = 500.0 * std::sin(2.0 * lcr::pi * 19999.0 * i / n) + noise(random);
  }
  lcr::tfourier_transform transform(n);
  std::vector<tcomplex> left_bins(n / 2 + 1);
  std::vector<tcomplex> right_bins(n / 2 + 1);
  transform.transform_real_pair(left, right, left_bins, right_bins);
  EXPECT_NEAR(std::hypot(left_bins[37].re, left_bins[37].im), 500.0, 0.05);
  EXPECT_NEAR(std::atan2(left_bins[37].im, left_bins[37].re), 0.3, 1e-4);
  EXPECT_NEAR(std::hypot(right_bins[19999].re, right_bins[19999].im), 250.0, 0.05);
  std::vector<tcomplex> left_complex(n);
  std::vector<tcomplex> right_complex(n);
  for (int i = 0; i < n; ++i) {
    left_complex[static_cast<std::size_t>(i)] = {left[static_cast<std::size_t>(i)], 0.0};
    right_complex[static_cast<std::size_t>(i)] = {right[static_cast<std::size_t>(i)], 0.0};
  }
  for (const int k : {0, 1, 37, 38, 19999, 24000}) {
    const tcomplex l = direct_bin(left_complex, k);
    const tcomplex r = direct_bin(right_complex, k);
    EXPECT_NEAR(left_bins[static_cast<std::size_t>(k)].re, l.re, 1e-11) << k;
    EXPECT_NEAR(left_bins[static_cast<std::size_t>(k)].im, l.im, 1e-11) << k;
    EXPECT_NEAR(right_bins[static_cast<std::size_t>(k)].re, r.re, 1e-11) << k;
    EXPECT_NEAR(right_bins[static_cast<std::size_t>(k)].im, r.im, 1e-11) << k;
  }
}

}  // namespace
