// SPDX-License-Identifier: GPL-3.0-or-later
// A curve read at another curve's frequencies, and a measured curve as
// .zma and CSV text.

#include "engine/analyser/analyser_export.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ZmaPointAt, InterpolatesOverLogFrequencyAndTheShorterWayRoundThePhase)
{
  const std::vector<lcr::tzma_point> curve{{10.0, 4.0, 170.0}, {1000.0, 8.0, -170.0}, {2000.0, 2.0, 0.0}};
  // Half-way on a log axis is the geometric mean; the phase passes ±180°.
  const auto middle = lcr::zma_point_at(curve, 100.0);
  ASSERT_TRUE(middle.has_value());
  EXPECT_NEAR(middle->magnitude_ohm, 6.0, 1e-12);
  EXPECT_NEAR(std::fabs(middle->phase_deg), 180.0, 1e-9);
  const auto exact = lcr::zma_point_at(curve, 2000.0);
  ASSERT_TRUE(exact.has_value());
  EXPECT_EQ(exact->magnitude_ohm, 2.0);
  EXPECT_FALSE(lcr::zma_point_at(curve, 9.99).has_value());
  EXPECT_FALSE(lcr::zma_point_at(curve, 2000.5).has_value());
  EXPECT_FALSE(lcr::zma_point_at({}, 100.0).has_value());
}

TEST(AnalyserExport, ZmaAndCsvHoldEveryPointAndReadBack)
{
  std::vector<lcr::tanalyser_row> rows(3);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].row.frequency_hz = 10.0 * std::pow(2.0, static_cast<double>(i));
    rows[i].row.z = {3.0 + static_cast<double>(i), -4.0};
    rows[i].row.ref_index = 0;
    rows[i].calibrated = i != 1;
  }
  const lcr::tzma_curve back = lcr::parse_zma(lcr::analyser_zma_text(rows, {"woofer"}));
  ASSERT_TRUE(back.ok()) << back.refusal;
  ASSERT_EQ(back.points.size(), rows.size());
  EXPECT_EQ(back.points[0].magnitude_ohm, 5.0);
  EXPECT_NEAR(back.points[0].phase_deg, std::atan2(-4.0, 3.0) * 180.0 / lcr::pi, 1e-12);
  EXPECT_EQ(back.points[2].frequency_hz, 40.0);

  const std::string csv = lcr::analyser_csv_text(rows);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  EXPECT_NE(csv.find("\n20,10,"), std::string::npos);
  // The uncalibrated point says so.
  const std::size_t second = csv.find("\n20,");
  const std::string line = csv.substr(second + 1, csv.find('\n', second + 1) - second - 1);
  EXPECT_NE(line.find(",0,0,0"), std::string::npos) << line;
}

}  // namespace
