// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/core/complex_math.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using lcr::tcomplex;
using quarvel_test::relative_error;

TEST(ComplexArithmetic, BasicOperations)
{
  const tcomplex a{3.0, -4.0};
  const tcomplex b{0.5, 2.0};
  EXPECT_EQ(lcr::c_add(a, b), (tcomplex{3.5, -2.0}));
  EXPECT_EQ(lcr::c_sub(a, b), (tcomplex{2.5, -6.0}));
  EXPECT_EQ(lcr::c_mul(a, b), (tcomplex{1.5 + 8.0, 6.0 - 2.0}));
  const tcomplex q = lcr::c_div(lcr::c_mul(a, b), b);
  EXPECT_NEAR(q.re, a.re, 1e-15);
  EXPECT_NEAR(q.im, a.im, 1e-15);
  const tcomplex inverse = lcr::c_inv(a);
  EXPECT_DOUBLE_EQ(inverse.re, 3.0 / 25.0);
  EXPECT_DOUBLE_EQ(inverse.im, 4.0 / 25.0);
  EXPECT_DOUBLE_EQ(lcr::c_abs(a), 5.0);
}

TEST(ComplexArithmetic, DivisionsByZeroGiveZero)
{
  EXPECT_EQ(lcr::c_div({7.0, 1.0}, {0.0, 0.0}), (tcomplex{0.0, 0.0}));
  EXPECT_EQ(lcr::c_inv({0.0, 0.0}), (tcomplex{0.0, 0.0}));
  EXPECT_EQ(lcr::c_inv({-0.0, 0.0}), (tcomplex{0.0, 0.0}));
  EXPECT_EQ(lcr::safe_div(5.0, 0.0), 0.0);
  EXPECT_EQ(lcr::safe_div(5.0, -0.0), 0.0);
  EXPECT_EQ(lcr::safe_div(5.0, 2.0), 2.5);
}

TEST(ComplexArithmetic, TwoQuadrantAndFourQuadrantAngles)
{
  EXPECT_NEAR(lcr::atan_deg(10.0, 10.0), 45.0, 1e-12);
  EXPECT_NEAR(lcr::atan_deg(-1.0, 1.0), -45.0, 1e-12);
  EXPECT_NEAR(lcr::angle_deg(-1.0, 1.0), 135.0, 1e-12);
  EXPECT_NEAR(lcr::angle_deg(-1.0, -1.0), -135.0, 1e-12);
  EXPECT_NEAR(lcr::angle_deg(1.0, -1.0), -45.0, 1e-12);
  EXPECT_NEAR(lcr::angle_deg(-1.0, 0.0), 180.0, 1e-12);
  // A zero real part gives 0, not ±90.
  EXPECT_EQ(lcr::atan_deg(0.0, 5.0), 0.0);
  EXPECT_EQ(lcr::angle_deg(0.0, 5.0), 0.0);
  EXPECT_EQ(lcr::angle_deg(0.0, -5.0), 0.0);
}

TEST(ComplexArithmetic, ParallelConversionGuardsZeroParts)
{
  const tcomplex pure_resistance = lcr::ser_to_par({100.0, 0.0});
  EXPECT_EQ(pure_resistance, (tcomplex{100.0, 0.0}));
  const tcomplex pure_reactance = lcr::ser_to_par({0.0, -159.15});
  EXPECT_EQ(pure_reactance.re, 0.0);
  EXPECT_DOUBLE_EQ(pure_reactance.im, -159.15);
  const tcomplex both = lcr::ser_to_par({3.0, 4.0});
  EXPECT_DOUBLE_EQ(both.re, 25.0 / 3.0);
  EXPECT_DOUBLE_EQ(both.im, 25.0 / 4.0);
}

// For impedances over the meter's whole range and every phase that has both
// parts, the series and parallel equivalents convert into each other.
TEST(ComplexArithmetic, SeriesAndParallelRoundTrip)
{
  std::mt19937_64 generator(20261208);
  std::uniform_real_distribution<double> decade(-3.0, 8.0);  // 1 mΩ … 100 MΩ
  std::uniform_real_distribution<double> phase_deg(-89.9, 89.9);
  for (int trial = 0; trial < 20000; ++trial) {
    const double magnitude = std::pow(10.0, decade(generator));
    double phase = phase_deg(generator) * lcr::pi / 180.0;
    if (std::fabs(phase) < 1e-6) phase = 1e-6;
    const tcomplex z{magnitude * std::cos(phase), magnitude * std::sin(phase)};
    const tcomplex back = lcr::par_to_ser(lcr::ser_to_par(z));
    ASSERT_LT(std::fabs(back.re - z.re) / magnitude, 1e-12) << "z = " << z.re << " + j" << z.im;
    ASSERT_LT(std::fabs(back.im - z.im) / magnitude, 1e-12) << "z = " << z.re << " + j" << z.im;
    ASSERT_LT(relative_error(back.re, z.re), 1e-9) << "z = " << z.re << " + j" << z.im;
  }
}

}  // namespace
