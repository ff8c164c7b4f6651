// SPDX-License-Identifier: GPL-3.0-or-later
// The level a curve was measured at: too much for small-signal parameters,
// too little for the points around fs, or unknown.

#include "engine/loudspeaker/drive_level.h"
#include "engine/loudspeaker/driver_parameters.h"
#include "driver_curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using quarvel_test::woofer;

lcr::tresonance resonance_of(const lcr::tdriver_curve& curve)
{
  return lcr::fit_driver(curve).resonance;
}

TEST(DriveLevel, AboveOneVoltOrWithNoisyPointsAroundFsTheCurveIsWarnedOf)
{
  lcr::tdriver_curve curve = quarvel_test::woofer_curve();  // 0.1 % of |Z| per point
  const lcr::tresonance resonance = resonance_of(curve);
  const lcr::tdrive_check unknown = lcr::check_drive(curve, resonance, "Kurve in Freiluft");
  EXPECT_FALSE(unknown.rms_v);
  EXPECT_NEAR(unknown.resonance_relative_u, 2e-3, 1e-12);
  EXPECT_TRUE(unknown.warnings.empty());

  curve.device_rms_v = 0.999;
  EXPECT_TRUE(lcr::check_drive(curve, resonance, "Kurve in Freiluft").warnings.empty());
  curve.device_rms_v = 1.414;
  EXPECT_EQ(lcr::check_drive(curve, resonance, "Kurve in Freiluft").warnings,
            std::vector<std::string>{"Pegel zu groß (Kurve in Freiluft): 1.41 V eff. am Lautsprecher, über 1 V; "
                                     "Kleinsignalparameter gelten nur bei kleiner Auslenkung, mit kleinerem Pegel "
                                     "wiederholen"});

  // 1 % of |Z| per point (k = 1): 2 % at k = 2 around fs.
  std::mt19937 noise(5);
  const lcr::tdriver_curve noisy =
      quarvel_test::model_curve(woofer, quarvel_test::grid_hz(10.0, 20000.0, 24), 0.01, &noise);
  const lcr::tdrive_check quiet = lcr::check_drive(noisy, resonance_of(noisy), "Kurve mit Zusatzmasse");
  EXPECT_NEAR(quiet.resonance_relative_u, 0.02, 1e-3);
  ASSERT_EQ(quiet.warnings.size(), 1u);
  EXPECT_EQ(quiet.warnings[0].rfind("Pegel zu klein (Kurve mit Zusatzmasse): |Z| um fs nur auf ", 0), 0u)
      << quiet.warnings[0];
  EXPECT_NE(quiet.warnings[0].find(" % genau (k = 2); mit größerem Pegel"), std::string::npos) << quiet.warnings[0];

  // A .zma says neither its level nor its points' uncertainty.
  lcr::tdriver_curve plain = curve;
  for (lcr::tdriver_point& point : plain.points) point.sigma_magnitude_ohm = point.sigma_phase_rad = 0.0;
  plain.device_rms_v.reset();
  const lcr::tdrive_check silent = lcr::check_drive(plain, resonance, "Kurve in Freiluft");
  EXPECT_TRUE(std::isnan(silent.resonance_relative_u));
  EXPECT_TRUE(silent.warnings.empty());
}

TEST(DriveLevel, TheReportChecksBothCurvesFreeAirFirst)
{
  lcr::tdriver_curve free_curve = quarvel_test::woofer_curve();
  free_curve.device_rms_v = 1.2;
  const quarvel_test::tnetwork_driver loaded = quarvel_test::with_added_mass(woofer, 7.0, 5e-3);
  lcr::tdriver_curve loaded_curve = quarvel_test::model_curve(loaded, quarvel_test::grid_hz(10.0, 20000.0, 24));
  loaded_curve.device_rms_v = 1.3;
  const lcr::tdriver_report report = lcr::measure_driver(
      free_curve, lcr::tsecond_curve{lcr::tsecond_method::added_mass, loaded_curve, {5e-3, 0.0}},
      {std::nullopt, lcr::tentered{220e-4, 0.0}, 20.0});
  ASSERT_TRUE(report.ok()) << report.refusal;
  EXPECT_EQ(report.free_drive.rms_v, 1.2);
  ASSERT_TRUE(report.second_drive);
  EXPECT_EQ(report.second_drive->rms_v, 1.3);
  const std::vector<std::string> warnings = lcr::drive_warnings(report.free_drive, report.second_drive);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("(Kurve in Freiluft): 1.2 V"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("(Kurve mit Zusatzmasse): 1.3 V"), std::string::npos) << warnings[1];
}

}  // namespace
