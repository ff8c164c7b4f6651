// SPDX-License-Identifier: GPL-3.0-or-later
// The mechanical parameters from a second exact curve, with a mass on the
// cone or in a closed box, against the network's own Mms, Cms, Rms and
// Bl; the efficiency from Bl, Sd, Mms and Re; and the air they assume.

#include "driver_curves.h"

#include "engine/loudspeaker/driver_parameters.h"

#include <gtest/gtest.h>

namespace {

using quarvel_test::tnetwork_driver;

constexpr double bl_tm = 7.0;     // the woofer's: Mms 29.4 g, Cms 0.449 mm/N
constexpr double sd_m2 = 220e-4;  // an 8-inch cone
const lcr::tentered sd{sd_m2, 0.0};

void expect_relative(const lcr::tmeasured& measured, double truth, double relative, const char* what)
{
  EXPECT_NEAR(measured.value, truth, relative * std::fabs(truth)) << what;
}

// What the network's mechanics make of each parameter in this air.
// `spl_above_eta0_db`: the level of η0 = 1 in half space at 1 m in this
// air, 10·log10(ρc / (2π (20 µPa)²)).
void expect_mechanics(const lcr::tdriver_report& report, const tnetwork_driver& driver, const lcr::tair& air,
                      double spl_above_eta0_db)
{
  ASSERT_TRUE(report.ok()) << report.refusal;
  ASSERT_TRUE(report.parameters.mechanical);
  const lcr::tmechanical_parameters& m = *report.parameters.mechanical;
  const quarvel_test::tmechanics truth = quarvel_test::mechanics_of(driver, bl_tm);
  const double rho = air.density_kg_per_m3;
  const double c = air.sound_speed_m_per_s;
  expect_relative(m.mms_kg, truth.mms_kg, 0.02, "Mms");
  expect_relative(m.cms_m_per_n, truth.cms_m_per_n, 0.02, "Cms");
  expect_relative(m.rms_kg_per_s, truth.rms_kg_per_s, 0.02, "Rms");
  expect_relative(m.bl_tm, bl_tm, 0.02, "Bl");
  expect_relative(m.vas_m3, rho * c * c * sd_m2 * sd_m2 * truth.cms_m_per_n, 0.02, "Vas");
  // The efficiency as the motor, the cone and the coil make it.
  const double eta0 =
      rho * bl_tm * bl_tm * sd_m2 * sd_m2 / (2.0 * lcr::pi * c * truth.mms_kg * truth.mms_kg * driver.re_ohm);
  expect_relative(m.eta0, eta0, 0.02, "η0");
  EXPECT_NEAR(m.spl_db.value - 10.0 * std::log10(m.eta0.value), spl_above_eta0_db, 0.005) << "1 W into Re";
}

TEST(DriverParameters, AnAddedMassOfATenthToAThirdOfMmsGivesTheMechanics)
{
  const tnetwork_driver& driver = quarvel_test::woofer;
  const lcr::tair air = lcr::air_at(20.0);
  const double mms_kg = quarvel_test::mechanics_of(driver, bl_tm).mms_kg;
  for (const double share : {0.1, 0.2, 0.3}) {
    SCOPED_TRACE(share);
    const lcr::tentered mass{share * mms_kg, 0.0};
    const lcr::tdriver_curve loaded = quarvel_test::model_curve(
        quarvel_test::with_added_mass(driver, bl_tm, mass.value), quarvel_test::grid_hz(10.0, 20000.0, 24));
    const lcr::tsecond_curve second{lcr::tsecond_method::added_mass, loaded, mass};
    expect_mechanics(lcr::measure_driver(quarvel_test::woofer_curve(), second, {std::nullopt, sd, 20.0}),
                     driver, air, 112.160);
  }
}

TEST(DriverParameters, AClosedBoxOfHalfToTwiceVasGivesTheMechanics)
{
  const tnetwork_driver& driver = quarvel_test::woofer;
  const lcr::tair air = lcr::air_at(25.0);
  const double c = air.sound_speed_m_per_s;
  const double vas_m3 =
      air.density_kg_per_m3 * c * c * sd_m2 * sd_m2 * quarvel_test::mechanics_of(driver, bl_tm).cms_m_per_n;
  for (const double share : {0.5, 1.0, 2.0}) {
    SCOPED_TRACE(share);
    const lcr::tentered volume{share * vas_m3, 0.0};
    // The box raises Qmc with fc: a finer grid keeps ten points on its peak.
    const lcr::tdriver_curve boxed = quarvel_test::model_curve(
        quarvel_test::in_closed_box(driver, vas_m3, volume.value), quarvel_test::grid_hz(10.0, 20000.0, 48));
    const lcr::tsecond_curve second{lcr::tsecond_method::closed_box, boxed, volume};
    expect_mechanics(lcr::measure_driver(quarvel_test::woofer_curve(), second, {std::nullopt, sd, 25.0}),
                     driver, air, 112.123);
  }
}

TEST(DriverParameters, EnteredTolerancesReachTheMechanics)
{
  // Exact curves: the mass's 5 % alone makes Mms's ±, Sd's 3 % twice over
  // (Sd²) Vas's.
  const tnetwork_driver& driver = quarvel_test::woofer;
  const double mms_kg = quarvel_test::mechanics_of(driver, bl_tm).mms_kg;
  const lcr::tentered mass{0.2 * mms_kg, 0.01 * mms_kg};
  const lcr::tentered loose_sd{sd_m2, 0.03 * sd_m2};
  const lcr::tsecond_curve second{
      lcr::tsecond_method::added_mass,
      quarvel_test::model_curve(quarvel_test::with_added_mass(driver, bl_tm, mass.value),
                                quarvel_test::grid_hz(10.0, 20000.0, 24)),
      mass};
  const lcr::tdriver_report report =
      lcr::measure_driver(quarvel_test::woofer_curve(), second, {std::nullopt, loose_sd, 20.0});
  ASSERT_TRUE(report.ok()) << report.refusal;
  const lcr::tmechanical_parameters& m = *report.parameters.mechanical;
  const double k2_rectangular = 2.0 / std::sqrt(3.0);
  EXPECT_NEAR(m.mms_kg.u / m.mms_kg.value, 0.05 * k2_rectangular, 0.002);
  const double vas_relative = std::hypot(0.05, 2.0 * 0.03) * k2_rectangular;
  EXPECT_NEAR(m.vas_m3.u / m.vas_m3.value, vas_relative, 0.004);
  EXPECT_LT(report.parameters.fs_hz.u / report.parameters.fs_hz.value, 1e-4) << "the curves are exact";
}

TEST(DriverParameters, AirAtRoomTemperatureAndAtFreezing)
{
  const lcr::tair room = lcr::air_at(20.0);
  EXPECT_NEAR(room.density_kg_per_m3, 1.2041, 0.0005);
  EXPECT_NEAR(room.sound_speed_m_per_s, 343.2, 0.1);
  const lcr::tair freezing = lcr::air_at(0.0);
  EXPECT_NEAR(freezing.density_kg_per_m3, 1.2922, 0.0005);
  EXPECT_DOUBLE_EQ(freezing.sound_speed_m_per_s, 331.3);
}

}  // namespace
