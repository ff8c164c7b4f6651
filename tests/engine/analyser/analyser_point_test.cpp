// SPDX-License-Identifier: GPL-3.0-or-later
// Points of a curve made from noisy periods of a known divider: their |Z|
// and phase lie within the statistical uncertainty about 95 times in a
// hundred and always within the worst case.
#include "engine/analyser/analyser_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using lcr::tcomplex;

struct tcoverage {
  int within_uncertainty = 0;
  int within_deviation = 0;
  int count = 0;
};

TEST(AnalyserPoint, ItsFiguresCoverTheErrorsOfNoisyPeriods)
{
  constexpr double frequency_hz = 1000.0;
  const tcomplex z_true{10.0, 2.0 * lcr::pi * frequency_hz * 1e-3};  // 10 Ω and 1 mH
  constexpr int ref_index = 1;                                        // 100 Ω
  const tcomplex h_true = lcr::c_div(z_true, lcr::c_add(z_true, {100.0, 0.0}));
  constexpr double left_amplitude = 800.0;
  constexpr double sample_sigma = 3.0;
  constexpr int periods = 4;
  constexpr int n = 48000;
  // One period's ratio noise: both inputs' noise per bin, σ²/n each, over |X1|².
  const double h2 = h_true.re * h_true.re + h_true.im * h_true.im;
  const double period_variance = sample_sigma * sample_sigma / n * (1.0 + h2) / (left_amplitude * left_amplitude);

  const lcr::tanalyser_point_entries nominal = lcr::analyser_entries({}, ref_index, frequency_hz);
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0.0, std::sqrt(period_variance / 2.0));
  tcoverage magnitude;
  tcoverage phase;
  for (int trial = 0; trial < 400; ++trial) {
    tcomplex sum;
    for (int p = 0; p < periods; ++p) sum = lcr::c_add(sum, lcr::c_add(h_true, {noise(random), noise(random)}));
    lcr::tanalyser_point_data point;
    point.frequency_hz = frequency_hz;
    point.ratio = {sum.re / periods, sum.im / periods};
    point.left_amplitude = left_amplitude;
    point.noise_ratio_variance = period_variance;
    point.left_variance = point.right_variance = sample_sigma * sample_sigma;
    point.periods = periods;
    point.period_samples = n;
    const lcr::treading_basis basis = lcr::analyser_reading_basis(point, nominal);
    for (const auto& [key, coverage] : {std::pair{lcr::quantity_key::Z, &magnitude}, {lcr::quantity_key::phi_Z, &phase}}) {
      const lcr::tquantity_reading reading = lcr::quantity_reading(basis, key, false);
      const double error = std::fabs(lcr::quantity_difference(key, reading.value, lcr::quantity_value(z_true, key, false, frequency_hz)));
      ASSERT_TRUE(std::isfinite(reading.uncertainty));
      coverage->within_uncertainty += error <= reading.uncertainty ? 1 : 0;
      coverage->within_deviation += error <= reading.deviation ? 1 : 0;
      ++coverage->count;
    }
  }
  for (const tcoverage& coverage : {magnitude, phase}) {
    EXPECT_GE(coverage.within_uncertainty, 0.9 * coverage.count);
    EXPECT_LE(coverage.within_uncertainty, 0.995 * coverage.count);  // not inflated past use
    EXPECT_EQ(coverage.within_deviation, coverage.count);
  }
}

// A nearly lossless capacitor's parallel resistance: a few uncertainties
// of the series resistance from its pole at R = 0, where a linear spread
// would claim far too little; its uncertainty is unbounded or covers.
TEST(AnalyserPoint, AParallelResistanceNearItsPoleIsCoveredOrUnbounded)
{
  constexpr double frequency_hz = 10000.0;
  const tcomplex z_true{0.00115, -33.8628};  // 470 nF beside 1 MΩ
  const tcomplex h_true = lcr::c_div(z_true, lcr::c_add(z_true, {100.0, 0.0}));
  constexpr double period_variance = 3e-9;
  constexpr int periods = 4;
  const double rp_true = lcr::quantity_value(z_true, lcr::quantity_key::R, true, frequency_hz);
  const lcr::tanalyser_point_entries nominal = lcr::analyser_entries({}, 1, frequency_hz);
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0.0, std::sqrt(period_variance / 2.0));
  int within = 0;
  int finite = 0;
  int finite_within = 0;
  constexpr int trials = 400;
  for (int trial = 0; trial < trials; ++trial) {
    tcomplex sum;
    for (int p = 0; p < periods; ++p) sum = lcr::c_add(sum, lcr::c_add(h_true, {noise(random), noise(random)}));
    lcr::tanalyser_point_data point;
    point.frequency_hz = frequency_hz;
    point.ratio = {sum.re / periods, sum.im / periods};
    point.left_amplitude = 1000.0;
    point.noise_ratio_variance = period_variance;
    point.periods = periods;
    point.period_samples = 48000;
    const lcr::tquantity_reading rp =
        lcr::quantity_reading(lcr::analyser_reading_basis(point, nominal), lcr::quantity_key::R, true);
    const double error = std::fabs(rp.value - rp_true);
    within += error <= rp.uncertainty ? 1 : 0;
    if (std::isfinite(rp.uncertainty)) {
      ++finite;
      finite_within += error <= rp.uncertainty ? 1 : 0;
    }
  }
  EXPECT_GE(within, 0.9 * trials);
  // Those read far enough from the pole to be bounded are the ones whose
  // resistance erred away from it, so they cover less often than the rest;
  // a linear spread at the reading covered none of them.
  ASSERT_GE(finite, 20);
  EXPECT_GE(finite_within, 0.6 * finite) << finite_within << " of " << finite;
}

TEST(AnalyserPoint, WithoutNoiseBesideItOrPeriodsItHasNoStatisticalUncertainty)
{
  lcr::tanalyser_point_data point;
  point.frequency_hz = 100.0;
  point.ratio = {0.5, 0.0};
  point.left_amplitude = 500.0;
  point.periods = 2;
  point.period_samples = 48000;
  EXPECT_FALSE(lcr::analyser_point_spread(point).valid);  // noise not known
  point.noise_ratio_variance = 1e-10;
  EXPECT_TRUE(lcr::analyser_point_spread(point).valid);
  point.periods = 0;
  EXPECT_FALSE(lcr::analyser_point_spread(point).valid);
  point.periods = 2;
  point.left_amplitude = 0.0;
  EXPECT_FALSE(lcr::analyser_point_spread(point).valid);
}

}  // namespace
