// SPDX-License-Identifier: GPL-3.0-or-later
// The small-signal fit on exact curves of drivers built as networks: the
// parameters as the network defines them, the lossy coil where the curve
// needs it, Re held where it is given, the classic −3 dB values, and a
// curve without uncertainties.

#include "driver_curves.h"

#include "engine/loudspeaker/driver_fit.h"
#include "engine/loudspeaker/driver_parameters.h"

#include <gtest/gtest.h>

namespace {

using quarvel_test::tnetwork_driver;

void expect_relative(double value, double truth, double relative, const char* what)
{
  EXPECT_NEAR(value, truth, relative * std::fabs(truth)) << what;
}

struct tdriver_case {
  const char* name;
  tnetwork_driver driver;
  int points_per_octave;
};

TEST(DriverFit, ExactCurvesGiveTheNetworksParameters)
{
  const tdriver_case cases[] = {
      {"woofer", quarvel_test::woofer, 24},
      // fs 225 Hz, a small coil inductance
      {"midrange", {3.2, 0.05e-3, 15.0, 2e-3, 250e-6}, 24},
      // fs 60 Hz, Qms 14: a narrow peak, and the coil's rise at the top
      // of the curve higher than the resonance
      {"high Qms", {6.2, 1.8e-3, 90.0, 17.05e-3, 413e-6}, 48},
  };
  for (const tdriver_case& c : cases) {
    SCOPED_TRACE(c.name);
    const tnetwork_driver& d = c.driver;
    const lcr::tdriver_fit fit = lcr::fit_driver(
        quarvel_test::model_curve(d, quarvel_test::grid_hz(10.0, 20000.0, c.points_per_octave)));
    ASSERT_TRUE(fit.ok()) << fit.refusal;
    EXPECT_EQ(fit.model.coil, lcr::tcoil_model::plain);
    EXPECT_TRUE(fit.describes_curve);
    expect_relative(fit.model.fs_hz, d.fs_hz(), 0.002, "fs");
    expect_relative(fit.model.qms, d.qms(), 0.01, "Qms");
    expect_relative(lcr::qes_of(fit.model), d.qes(), 0.01, "Qes");
    expect_relative(lcr::total_q(fit.model.qms, lcr::qes_of(fit.model)), d.qts(), 0.01, "Qts");
    expect_relative(fit.model.re_ohm, d.re_ohm, 0.005, "Re");
    expect_relative(fit.model.le_h, d.le_h, 0.02, "Le");
    expect_relative(lcr::lces_h(fit.model), d.lces_h, 0.01, "Lces");
    expect_relative(lcr::cmes_f(fit.model), d.cmes_f, 0.01, "Cmes");
  }
}

TEST(DriverFit, ACoilWithEddyLossesIsFittedWithItsParallelResistance)
{
  tnetwork_driver driver = quarvel_test::woofer;
  driver.r2_ohm = 12.0;  // the coil's reactance reaches it near 2 kHz
  const lcr::tdriver_fit fit =
      lcr::fit_driver(quarvel_test::model_curve(driver, quarvel_test::grid_hz(10.0, 20000.0, 24)));
  ASSERT_TRUE(fit.ok()) << fit.refusal;
  EXPECT_EQ(fit.model.coil, lcr::tcoil_model::lossy);
  expect_relative(1.0 / fit.model.g2_s, 12.0, 0.02, "R2");
  expect_relative(fit.model.le_h, driver.le_h, 0.02, "Le");
  expect_relative(fit.model.fs_hz, driver.fs_hz(), 0.002, "fs");
  expect_relative(lcr::qes_of(fit.model), driver.qes(), 0.01, "Qes");
}

TEST(DriverFit, ClassicValuesOfAnExactCurveAreTheModels)
{
  // Without Le the −3 dB method is exact: only the grid's interpolation is
  // left, fine at 1 Hz bins around 100 Hz.
  const tnetwork_driver driver{6.0, 0.0, 30.0, 10e-3, 250e-6};
  const lcr::tdriver_fit fit =
      lcr::fit_driver(quarvel_test::model_curve(driver, quarvel_test::grid_hz(10.0, 2000.0, 48)));
  ASSERT_TRUE(fit.ok()) << fit.refusal;
  const double r0 = (driver.re_ohm + driver.res_ohm) / driver.re_ohm;
  expect_relative(fit.classic.r0, r0, 0.002, "r0");
  expect_relative(fit.classic.fs_hz, driver.fs_hz(), 0.002, "fs");
  expect_relative(fit.classic.f1_hz * fit.classic.f2_hz, driver.fs_hz() * driver.fs_hz(), 0.005, "f1·f2");
  expect_relative(fit.classic.qms, driver.qms(), 0.01, "Qms");
  expect_relative(fit.classic.qes, driver.qes(), 0.01, "Qes");
  expect_relative(fit.classic.qts, driver.qts(), 0.01, "Qts");
}

TEST(DriverFit, AGivenReIsHeldAndItsToleranceCarriedIntoEveryParameter)
{
  // The ohmmeter reads 2 % high and says so: the other parameters bend to
  // the wrong Re, and their ± must reach back to the truth.
  const lcr::tentered re{quarvel_test::woofer.re_ohm * 1.02, quarvel_test::woofer.re_ohm * 0.02};
  const lcr::tdriver_report report =
      lcr::measure_driver(quarvel_test::woofer_curve(), std::nullopt, {re, {}, 20.0});
  ASSERT_TRUE(report.ok()) << report.refusal;
  EXPECT_EQ(report.free_fit.model.re_ohm, re.value);
  EXPECT_NEAR(report.parameters.re_ohm.u, 2.0 * re.tolerance / std::sqrt(3.0), 1e-9);
  const lcr::tdriver_parameters& p = report.parameters;
  const quarvel_test::tnetwork_driver& d = quarvel_test::woofer;
  const std::pair<lcr::tmeasured, double> checks[] = {
      {p.qes, d.qes()}, {p.qts, d.qts()}, {p.res_ohm, d.res_ohm}, {p.le_h, d.le_h}, {p.fs_hz, d.fs_hz()}};
  for (const auto& [measured, truth] : checks) {
    EXPECT_LE(std::fabs(measured.value - truth), measured.u)
        << measured.value << " ± " << measured.u << " against " << truth;
  }
  // The shift is a real one: the fitted Res moved with Re.
  EXPECT_GT(std::fabs(p.res_ohm.value - d.res_ohm), 1e-3 * d.res_ohm);
}

TEST(DriverFit, ACurveWithoutUncertaintiesIsWeighedByItsResidual)
{
  const std::vector<double> grid = quarvel_test::grid_hz(10.0, 20000.0, 24);
  std::vector<lcr::tzma_point> zma;
  std::mt19937 noise(7);
  const lcr::tdriver_curve noisy = quarvel_test::model_curve(quarvel_test::woofer, grid, 2e-3, &noise);
  for (const lcr::tdriver_point& point : noisy.points) {
    zma.push_back({point.frequency_hz, std::abs(point.z_ohm), std::arg(point.z_ohm) * 180.0 / lcr::pi});
  }
  const lcr::tdriver_curve curve = lcr::driver_curve_of(zma);
  ASSERT_FALSE(curve.weighted());
  const lcr::tdriver_fit fit = lcr::fit_driver(curve);
  ASSERT_TRUE(fit.ok()) << fit.refusal;
  EXPECT_FALSE(fit.weighted);
  // The residual alone scales the covariance: about the noise's 0.2 %.
  EXPECT_NEAR(fit.variance_scale, 2e-3 * 2e-3, 1e-6);
  const double u_fs = lcr::fitted_uncertainty(fit, lcr::tdriver_parameter::fs_hz);
  EXPECT_GT(u_fs, 0.0);
  EXPECT_LE(std::fabs(fit.model.fs_hz - quarvel_test::woofer.fs_hz()), 2.0 * u_fs);
}

TEST(DriverFit, DoubtfulPointsAreLeftOut)
{
  lcr::tdriver_curve curve = quarvel_test::woofer_curve();
  for (std::size_t k = 0; k < curve.points.size(); k += 5) {
    curve.points[k].z_ohm *= 3.0;  // what a poorly divided point might read
    curve.points[k].doubtful = true;
  }
  const lcr::tdriver_fit fit = lcr::fit_driver(curve);
  ASSERT_TRUE(fit.ok()) << fit.refusal;
  EXPECT_EQ(fit.points_used, curve.points.size() - (curve.points.size() + 4) / 5);
  expect_relative(fit.model.fs_hz, quarvel_test::woofer.fs_hz(), 1e-6, "fs");
  EXPECT_TRUE(fit.describes_curve);
}

}  // namespace
