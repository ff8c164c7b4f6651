// SPDX-License-Identifier: GPL-3.0-or-later
// quarvel-cli loudspeaker as an operator runs it: a woofer's curves
// measured by the impedance analyser on the simulated set-up, free and
// with 6 g on its cone, give its parameters within their ±; refusals exit
// with 1 and the reason, bad arguments with 2.

#include "engine/loudspeaker/json_value.h"
#include "support/file_text.h"
#include "support/run_command.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>

namespace {

using trun = quarvel_test::tcommand_run;

// Re 5.6, Le 0.9 mH, Bl 7 T·m: Mms = Cmes·Bl² = 29.4 g, Cms = Lces/Bl².
constexpr const char* free_woofer = "'R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)'";
// 6 g more: Cmes·(Mms + m)/Mms.
constexpr const char* loaded_woofer = "'R=5.6 + L=0.9m + (R=40 | L=22m | C=722.449u)'";

trun run_cli(const std::string& arguments)
{
  return quarvel_test::run_command(std::string(QUARVEL_CLI) + " " + arguments);
}

class LoudspeakerCommand : public testing::Test {
 protected:
  static void SetUpTestSuite()
  {
    folder = new quarvel_test::temporary_directory;
    for (const auto& [network, name] : {std::pair{free_woofer, "free"}, {loaded_woofer, "loaded"}}) {
      const std::string base = folder->path() + "/" + name;
      ASSERT_EQ(run_cli(std::string("impedance --ref 10 --sim ") + network + " --json --zma " + base +
                        ".zma > " + base + ".json")
                    .exit_code,
                0);
    }
  }
  static void TearDownTestSuite() { delete folder; }

  static std::string file(const std::string& name) { return folder->path() + "/" + name; }

  static quarvel_test::temporary_directory* folder;
};

quarvel_test::temporary_directory* LoudspeakerCommand::folder = nullptr;

TEST_F(LoudspeakerCommand, TheWoofersParametersLieWithinTheirPlusMinus)
{
  const trun run = run_cli("loudspeaker " + file("free.json") + " --added-mass 6.00 " + file("loaded.json") +
                           " --sd 220 --json");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const lcr::tjson_reading reading = lcr::parse_json(run.output);
  ASSERT_TRUE(reading.ok()) << reading.refusal << "\n" << run.output;
  const double rho = 101325.0 / (287.05 * 293.15);
  const double c = 343.21;
  const double mms_kg = 600e-6 * 49.0;
  const double cms_m_per_n = 22e-3 / 49.0;
  const double fs_hz = 1.0 / (2.0 * std::numbers::pi * std::sqrt(22e-3 * 600e-6));
  const double qes = 2.0 * std::numbers::pi * fs_hz * 600e-6 * 5.6;
  const std::pair<const char*, double> truths[] = {
      {"re_ohm", 5.6},
      {"le_h", 0.9e-3},
      {"fs_hz", fs_hz},
      {"qes", qes},
      {"res_ohm", 40.0},
      {"mms_g", mms_kg * 1e3},
      {"cms_mm_per_n", cms_m_per_n * 1e3},
      {"bl_tm", 7.0},
      {"vas_l", rho * c * c * 220e-4 * 220e-4 * cms_m_per_n * 1e3},
      {"rms_kg_per_s", 49.0 / 40.0},
  };
  for (const auto& [key, truth] : truths) {
    const lcr::tjson_value* parameter = reading.value.member(key);
    ASSERT_NE(parameter, nullptr) << key;
    const double value = parameter->member("value")->number;
    const double u = parameter->member("u")->number;
    // The simulated set-up measures exactly: the ± is the points' noise
    // and the entries' last digits (6.00 g, 220 cm²).
    EXPECT_GT(u, 0.0) << key;
    EXPECT_LT(u, 0.01 * std::fabs(truth)) << key;
    EXPECT_LE(std::fabs(value - truth), std::max(u, 1e-4 * std::fabs(truth)))
        << key << ": " << value << " ± " << u;
  }
  ASSERT_NE(reading.value.member("classic"), nullptr);
  EXPECT_NEAR(reading.value.member("classic")->member("qes")->number, qes, 0.01 * qes);
  EXPECT_EQ(reading.value.member("fit")->member("coil")->text, "Le");
}

TEST_F(LoudspeakerCommand, ZmaCurvesTheTableAndCsv)
{
  const trun table = run_cli("loudspeaker " + file("free.zma") + " --added-mass 6±0.05 " +
                             file("loaded.zma") + " --diameter 16.7");
  ASSERT_EQ(table.exit_code, 0) << table.output;
  for (const char* text : {"Parameter     Wert          ±           Einheit", "Mms", "Bl",
                           "ohne Unsicherheiten der Punkte", "klassisch (−3-dB-Punkte"}) {
    EXPECT_NE(table.output.find(text), std::string::npos) << text << "\n" << table.output;
  }
  const trun csv = run_cli("loudspeaker " + file("free.json") + " --csv");
  ASSERT_EQ(csv.exit_code, 0) << csv.output;
  EXPECT_EQ(csv.output.rfind("parameter,value,u\r\nre_ohm,5.6", 0), 0u) << csv.output;
  EXPECT_EQ(csv.output.find("mms_g"), std::string::npos) << "no mechanics from one curve";
}

TEST_F(LoudspeakerCommand, RefusalsExitWithOneAndTheReason)
{
  quarvel_test::write_file(file("watch.json"), quarvel_test::read_file(file("free.json")) +
                                                   quarvel_test::read_file(file("free.json")));
  ASSERT_EQ(run_cli("impedance --ref 10 --ppo 48 --sim " + std::string(loaded_woofer) + " --zma " +
                    file("fine.zma"))
                .exit_code,
            0);
  const std::pair<std::string, const char*> cases[] = {
      {file("free.json") + " --added-mass 0 " + file("loaded.json") + " --sd 220", "Masse muss positiv sein"},
      {file("free.zma") + " --added-mass 6 " + file("fine.zma") + " --sd 220",
       "Kurven mit verschiedenen Frequenzrastern"},
      {file("loaded.json") + " --added-mass 6 " + file("free.json") + " --sd 220", "Resonanz nicht tiefer"},
      {file("watch.json"), "weiterer Text nach dem JSON-Wert"},
      {file("missing.json"), "missing.json: No such file"},
      {folder->path(), "Is a directory"},
  };
  for (const auto& [arguments, reason] : cases) {
    const trun run = run_cli("loudspeaker " + arguments);
    EXPECT_EQ(run.exit_code, 1) << arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(reason), std::string::npos) << arguments << "\n" << run.output;
  }
}

// fs 22.5 Hz, Qms 9.4, Bl 10 T·m: Mms 100 g; loaded with 20 g. On the 1 Hz
// bins its peak has too few points, so the analyser looks again closer.
TEST_F(LoudspeakerCommand, ANarrowResonanceIsMeasuredAgainFinerAndThenMeetsItsFigures)
{
  const auto measure = [&](const std::string& network, const std::string& name, const std::string& extra) {
    const std::string base = file(name);
    // In a subshell of its own, so that what it says stays out of the JSON.
    const trun run = quarvel_test::run_command("( " + std::string(QUARVEL_CLI) +
                                               " impedance --ref 10 --from 10 --to 2000 --sim '" + network +
                                               "' --json --zma " + base + ".zma " + extra + " > " + base +
                                               ".json 2> " + base + ".err )");
    EXPECT_EQ(run.exit_code, 0) << run.output;
    return quarvel_test::read_file(base + ".err");
  };
  // Said to be driven hard: a card whose inputs take 6 V RMS at full scale.
  const std::string said = measure("R=5.6 + L=1.5m + (R=66.667 | L=50m | C=1000u)", "narrow", "--input-vrms 6");
  EXPECT_NE(said.find("Resonanz bei 22.5 Hz fein nachgemessen"), std::string::npos) << said;
  EXPECT_NE(quarvel_test::read_file(file("narrow.json")).find("\"refined\":{\"from_hz\":10"), std::string::npos);
  measure("R=5.6 + L=1.5m + (R=66.667 | L=50m | C=1200u)", "narrow_loaded", "");
  measure("R=5.6 + L=1.5m + (R=66.667 | L=50m | C=1000u)", "narrow_coarse", "--no-refine");
  EXPECT_EQ(quarvel_test::read_file(file("narrow_coarse.err")), "");

  const double fs_hz = 1.0 / (2.0 * std::numbers::pi * std::sqrt(50e-3 * 1000e-6));
  const double qms = 2.0 * std::numbers::pi * fs_hz * 1000e-6 * 66.667;
  for (const char* suffix : {".json", ".zma"}) {
    SCOPED_TRACE(suffix);
    const trun run = run_cli("loudspeaker " + file("narrow") + suffix + " --added-mass 20.000 " +
                             file("narrow_loaded") + suffix + " --sd 500 --json");
    ASSERT_EQ(run.exit_code, 0) << run.output;
    const lcr::tjson_reading reading = lcr::parse_json(run.output);
    ASSERT_TRUE(reading.ok()) << run.output;
    for (const auto& [key, truth, within] : {std::tuple{"fs_hz", fs_hz, 2e-3}, {"qms", qms, 1e-2},
                                            {"mms_g", 100.0, 2e-2}, {"bl_tm", 10.0, 2e-2}}) {
      const double value = reading.value.member(key)->member("value")->number;
      EXPECT_LT(std::fabs(value / truth - 1.0), within) << key << ": " << value;
      EXPECT_LE(std::fabs(value - truth), std::max(reading.value.member(key)->member("u")->number, 1e-4 * truth))
          << key;
    }
  }
  const trun warned = run_cli("loudspeaker " + file("narrow.json") + " --added-mass 20.000 " +
                              file("narrow_loaded.json") + " --sd 500");
  ASSERT_EQ(warned.exit_code, 0) << warned.output;
  EXPECT_NE(warned.output.find("Pegel am Lautsprecher: frei "), std::string::npos) << warned.output;
  EXPECT_NE(warned.output.find(", zweite Kurve unbekannt (in Volt aus impedance --input-vrms --json)"),
            std::string::npos)
      << warned.output;
  EXPECT_NE(warned.output.find("Warnung: Pegel zu groß (Kurve in Freiluft): "), std::string::npos) << warned.output;
  const lcr::tjson_reading level = lcr::parse_json(quarvel_test::read_file(file("narrow.json")));
  ASSERT_TRUE(level.ok());
  const double share = level.value.member("device_rms_full_scale")->number;
  EXPECT_GT(share, 1.0 / 6.0);
  EXPECT_LT(share, 1.0);
  EXPECT_DOUBLE_EQ(level.value.member("device_rms_v")->number, 6.0 * share);

  const trun coarse = run_cli("loudspeaker " + file("narrow_coarse.json"));
  EXPECT_EQ(coarse.exit_code, 1);
  EXPECT_NE(coarse.output.find("zu wenige Punkte um fs"), std::string::npos) << coarse.output;
}

TEST_F(LoudspeakerCommand, BadArgumentsExitWithTwoAndHelpExplains)
{
  const trun help = run_cli("loudspeaker " + file("free.json") + " --help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.output.rfind("usage:\n  quarvel-cli loudspeaker FREE ", 0), 0u) << help.output;
  EXPECT_EQ(help.output.find("--sim DUT"), std::string::npos)
      << "no meter options: it measures nothing itself";

  const std::string free = file("free.json");
  const std::pair<std::string, const char*> cases[] = {
      {"", "needs the free-air curve"},
      {free + " --added-mass 6", "--added-mass GRAMS LOADED"},
      {free + " --added-mass 6 " + free + " --box 20 " + free + " --sd 220", "one second curve"},
      {free + " --added-mass 6 " + free, "a second curve needs the cone's area"},
      {free + " --sd 12,5", "--sd: '12,5' is not a value"},
      {free + " --re 5.6±-1", "--re: '5.6±-1' is not a value"},
      {free + " --sd 220 --diameter 16", "the cone's area once"},
      {free + " " + free, "one free-air curve"},
      {free + " --json --csv", "either --json or --csv"},
  };
  for (const auto& [arguments, reason] : cases) {
    const trun run = run_cli("loudspeaker " + arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(reason), std::string::npos) << arguments << "\n" << run.output;
  }
}

}  // namespace
