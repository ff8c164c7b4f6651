// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser's JSON curve read back for the parameter fit: each row's
// point with its σ (half the written k = 2 uncertainty), what leaves a
// curve unweighted, and texts that are not such a curve, refused whole.

#include "engine/loudspeaker/driver_curve.h"
#include "engine/core/complex_math.h"
#include "engine/loudspeaker/json_value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string row(double frequency_hz, const std::string& uncertainty, bool doubtful = false,
                bool calibrated = true)
{
  const auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
  return "{\"frequency_hz\":" + std::to_string(frequency_hz) +
         ",\"ref_ohm\":10,\"z\":{\"re\":5.5,\"im\":-1.25},\"z_deviation\":0.1,\"z_uncertainty\":" +
         uncertainty +
         ",\"first\":{\"symbol\":\"Z\",\"value\":5.6},\"phase_uncertainty_deg\":0.2,\"calibrated\":" +
         flag(calibrated) + ",\"doubtful\":" + flag(doubtful) + "}";
}

std::string curve_text(const std::string& rows)
{
  return "{\"from_hz\":10,\"to_hz\":20000,\"periods\":1,\"rows\":[" + rows + "],\"overlay\":[]}\n";
}

TEST(DriverCurve, TheAnalysersRowsBecomePointsWithHalfTheirUncertainty)
{
  const lcr::tdriver_curve curve =
      lcr::parse_curve_json(curve_text(row(10, "0.002") + "," + row(11, "1e-3", true, false)));
  ASSERT_TRUE(curve.ok()) << curve.refusal;
  ASSERT_EQ(curve.points.size(), 2u);
  const lcr::tdriver_point& point = curve.points[0];
  EXPECT_EQ(point.frequency_hz, 10.0);
  EXPECT_EQ(point.z_ohm, std::complex<double>(5.5, -1.25));
  EXPECT_DOUBLE_EQ(point.sigma_magnitude_ohm, 0.001);
  EXPECT_DOUBLE_EQ(point.sigma_phase_rad, 0.1 * lcr::pi / 180.0);
  EXPECT_FALSE(point.doubtful);
  EXPECT_FALSE(point.uncalibrated);
  EXPECT_TRUE(curve.points[1].doubtful);
  EXPECT_TRUE(curve.points[1].uncalibrated);
  EXPECT_TRUE(curve.weighted());
  EXPECT_FALSE(curve.device_rms_v);  // not said: unknown

  // The level across the driver, where the curve says it.
  const std::string rows = row(10, "0.002");
  const auto with_level = [&](const std::string& level) {
    return "{\"device_rms_v\":" + level + ",\"rows\":[" + rows + "]}";
  };
  EXPECT_EQ(lcr::parse_curve_json(with_level("0.25")).device_rms_v, 0.25);
  EXPECT_FALSE(lcr::parse_curve_json(with_level("null")).device_rms_v);
  for (const char* bad : {"0", "-1", "\"1\""}) {
    EXPECT_EQ(lcr::parse_curve_json(with_level(bad)).refusal, "\"device_rms_v\" ist keine Spannung über 0") << bad;
  }
}

TEST(DriverCurve, AnUnknownUncertaintyLeavesTheCurveUnweightedUnlessThePointIsDoubtful)
{
  EXPECT_FALSE(lcr::parse_curve_json(curve_text(row(10, "0.002") + "," + row(11, "null"))).weighted());
  EXPECT_TRUE(lcr::parse_curve_json(curve_text(row(10, "0.002") + "," + row(11, "null", true))).weighted());
  EXPECT_FALSE(lcr::parse_curve_json(curve_text(row(10, "0"))).weighted());
}

TEST(DriverCurve, TextsThatAreNotTheAnalysersCurveAreRefusedWithTheFault)
{
  const std::string nested = std::string(40, '[') + std::string(40, ']');
  const struct {
    std::string text;
    const char* reason;
  } cases[] = {
      {"", "kein JSON: Zeichen 1: Text endet vorzeitig"},
      {"0.5 1.2 3", "kein JSON: Zeichen 5: weiterer Text nach dem JSON-Wert"},
      {curve_text(row(10, "0.002")) + curve_text(row(10, "0.002")), "weiterer Text nach dem JSON-Wert"},
      {"{\"rows\":[{\"frequency_hz\":1e999}]}", "keine endliche Zahl"},
      {"{\"rows\":[{\"frequency_hz\":-Infinity}]}", "keine endliche Zahl"},
      {"{\"rows\":[{\"frequency_hz\":10,}]}", "Name in Anführungszeichen erwartet"},
      {"{\"rows\":\"x\x01\"}", "Steuerzeichen"},
      {nested, "zu tief verschachtelt"},
      {"[1,2]", "kein JSON-Objekt"},
      {"{\"points\":[]}", "\"rows\" fehlt"},
      {curve_text(""), "keine Punkte"},
      {curve_text("{\"frequency_hz\":10,\"z\":{\"re\":1}}"), "Punkt 1: z {re, im} fehlt"},
      {curve_text(row(10, "0.002") + "," + row(10, "0.002")), "Punkt 2: Frequenz nicht steigend"},
      {curve_text(row(10, "-0.002")), "Punkt 1: z_uncertainty ist weder Zahl ≥ 0 noch null"},
      {curve_text(row(10, "\"0.002\"")), "z_uncertainty ist weder"},
      {curve_text(row(0, "0.002")), "frequency_hz fehlt oder ist nicht positiv"},
      {curve_text("{\"frequency_hz\":10,\"z\":{\"re\":1,\"im\":0},\"calibrated\":1}"),
       "calibrated ist nicht"},
  };
  for (const auto& c : cases) {
    const lcr::tdriver_curve curve = lcr::parse_curve_json(c.text);
    EXPECT_TRUE(curve.points.empty()) << c.text;
    EXPECT_NE(curve.refusal.find(c.reason), std::string::npos)
        << c.text.substr(0, 60) << ": " << curve.refusal;
  }
}

TEST(DriverCurve, JsonStringsAreDecoded)
{
  const lcr::tjson_reading reading = lcr::parse_json(R"({"a\u00e9\n":"x\"\\\/","a\u00e9\n":true})");
  ASSERT_TRUE(reading.ok()) << reading.refusal;
  const lcr::tjson_value* member = reading.value.member("a\xc3\xa9\n");
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->kind, lcr::tjson_value::tkind::boolean) << "the last of two members of one name";
  EXPECT_EQ(reading.value.items[0].text, "x\"\\/");
}

}  // namespace
