// SPDX-License-Identifier: GPL-3.0-or-later
// quarvel-cli as a user runs it: arguments, exit codes and the JSON output.

#include "cli/arguments.h"
#include "cli/json_writer.h"
#include "cli/meter_options.h"
#include "cli/meter_session.h"
#include "support/run_command.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using trun = quarvel_test::tcommand_run;

trun run_cli(const std::string& arguments)
{
  return quarvel_test::run_command(std::string(QUARVEL_CLI) + " " + arguments);
}

TEST(CommandLine, BadArgumentsNameTheArgumentAndExitWithTwo)
{
  struct bad_case {
    const char* arguments;
    const char* message;
  };
  const bad_case cases[] = {
      {"measure --ref 3k --sim R=1k", "--ref: '3k' is not one of 10, 100, 1k, 10k, 100k, 1M"},
      {"measure --freq 50 --sim R=1k", "--freq: '50' is not one of 100"},
      {"measure --level 0.3 --sim R=1k", "--level: '0.3' is not one of 0.01"},
      {"measure --ft 2 --sim R=1k", "--ft: '2' is not one of 1, 4, 16"},
      {"measure --mode Z/Y --sim R=1k", "--mode: 'Z/Y' is not one of Z/phi"},
      {"measure --seconds -1 --sim R=1k", "--seconds"},
      {"measure --noise-seed 1.5 --sim R=1k", "--noise-seed: '1.5' is not a whole number"},
      {"impedance --ppo 7 --sim R=1k", "--ppo: points per octave 6, 12, 24 or 48"},
      {"impedance --to 30k --sim R=1k", "--from/--to/--ppo: Stoppfrequenz über 21600 Hz"},
      {"measure --sim 'R=4.7x'", "--sim: position"},
      {"measure --sim", "--sim needs a value"},
      {"measure --sim ''", "--sim: the value is empty"},
      {"measure --sim R=1k --in ''", "--in: the value is empty"},
      {"measure --sim 'R=1k + C=2'", "--sim: position 10: capacitance out of range; use 0 or 1 aF"},
      {"calibrate --mode 0,1, --sim R=1k", "--mode: calibrate needs calibration modes 0"},
      {"measure --bogus", "unknown argument '--bogus'"},
      {"calibrate --mode 5 --sim R=1k", "--mode: calibrate needs calibration modes 0"},
      {"selftest --test 0 --sim R=1k", "--test: selftest needs a test 1, 2, 3 or 4"},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"serve --listen abc --sim R=1k", "--listen: 'abc' is not an IPv4 or IPv6 address"},
      {"serve --idle-timeout 1.5 --sim R=1k", "--idle-timeout: '1.5' is not a whole number of seconds"},
      {"sweep --watch --sim R=1k", "--watch: a continuous stream of curves needs --multitone"},
      {"sweep --multitone --watch --csv --sim R=1k", "--watch: the curves stream as JSON lines, not CSV"},
  };
  for (const bad_case& c : cases) {
    const trun run = run_cli(c.arguments);
    EXPECT_EQ(run.exit_code, 2) << c.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.arguments << "\n" << run.output;
  }
}

// Every command explains itself, whatever else is on the line.
TEST(CommandLine, EveryCommandHasItsOwnHelp)
{
  for (const char* command : {"devices", "measure", "sweep", "impedance", "loudspeaker", "serve", "calibrate", "mixer",
                              "selftest", "quantities"}) {
    const trun run = run_cli(std::string(command) + " --sim R=1k --help");
    EXPECT_EQ(run.exit_code, 0) << command << "\n" << run.output;
    EXPECT_EQ(run.output.rfind("usage:\n  quarvel-cli " + std::string(command) + " ", 0), 0u) << run.output;
    EXPECT_EQ(run.output.find("quarvel-cli ", 20), std::string::npos) << run.output;  // only its own usage
  }
  EXPECT_NE(run_cli("serve -h").output.find("--idle-timeout S"), std::string::npos);
}

TEST(CommandLine, MeasureOnTheSimulatedFixturePrintsJson)
{
  quarvel_test::temporary_directory directory;
  const trun run = run_cli("measure --sim R=470 --ref 1k --mode Rs/Xs --json --cal " + directory.path() + "/none.cal");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  for (const char* key : {"\"mode\":\"Rs/Xs\"", "\"first\":{\"quantity\":\"R\",\"circuit\":\"ser\",\"symbol\":\"Rs\"",
                          "\"long_name\":\"Wirkwiderstand, Resistanz, Reihenschaltung\"", "\"value_text\":",
                          "\"unit_text\":\"Ohm\"", "\"deviation\":", "\"second\":{\"quantity\":\"X\"", "\"z\":{\"re\":",
                          "\"recommended_ref_ohm\":1000", "\"recommended_ref\":{\"value_text\":\"   1\",\"unit_text\":\"KOhm\"}",
                          "\"signal_state\":"}) {
    EXPECT_NE(run.output.find(key), std::string::npos) << key << "\n" << run.output;
  }
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1);
}

TEST(CommandLine, CalibrationFileErrorIsReportedAndTheMeasurementGoesOn)
{
  quarvel_test::temporary_directory directory;
  const std::string file = directory.path() + "/bad.cal";
  FILE* out = std::fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs("h_short\r\n 1.0E+000; 2,0E+000; 0; 0; 0; 0; 0; 0; \r\n", out);
  std::fclose(out);
  const trun run = run_cli("measure --sim R=1k --ref 1k --cal " + file);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("'2,0E+000' ist kein gültiger Gleitkommawert"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Scheinwiderstand, Impedanz"), std::string::npos) << run.output;
}

// Too short to evaluate once: no reading of the engine's initial zeros.
// Nothing is printed before the first settled reading: a measurement asked
// to be shorter waits for it; a watch that ends before it says so.
TEST(CommandLine, NothingIsPrintedBeforeTheFirstSettledReading)
{
  const trun quick = run_cli("measure --sim R=4.7k --ref 10k --seconds 1e-9 --json");
  EXPECT_EQ(quick.exit_code, 0) << quick.output;
  EXPECT_NE(quick.output.find("\"settled\":true"), std::string::npos) << quick.output;
  EXPECT_NE(quick.output.find("\"value\":4700."), std::string::npos) << quick.output;

  const trun watch = run_cli("measure --sim R=1k --seconds 0.01 --watch");
  EXPECT_EQ(watch.exit_code, 1) << watch.output;
  EXPECT_NE(watch.output.find("no settled reading in 0.0"), std::string::npos) << watch.output;
  EXPECT_EQ(watch.output.find("Z:"), std::string::npos) << watch.output;
}

// The live response on the command line: one JSON curve of eight points
// per line, twenty a second of stream time, each with the sweep's fields
// and its own fit; none before the multitone has settled.
TEST(CommandLine, TheMultitoneWatchStreamsACurvePerLine)
{
  const trun run = run_cli("sweep --multitone --watch --seconds 2 --ref 1k --sim 'R=1k + L=10m'");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  std::istringstream lines(run.output);
  std::string line;
  int curves = 0;
  long long last_evaluation = -1;
  while (std::getline(lines, line)) {
    ++curves;
    // Each curve names the evaluation it was taken from: a new one each
    // time, in the order of the stream.
    long long evaluation = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "{\"evaluation\":%lld,", &evaluation), 1) << line;
    EXPECT_GT(evaluation, last_evaluation) << line;
    last_evaluation = evaluation;
    EXPECT_NE(line.find(",\"mode\":\"Z/phi\",\"auto_ref\":false,\"multitone\":true,"), std::string::npos) << line;
    EXPECT_NE(line.find("\"fit\":{\"model\":\"Reihe R-L\",\"valid\":true"), std::string::npos) << line;
    std::size_t rows = 0;
    for (std::size_t at = line.find("\"frequency_hz\""); at != std::string::npos; at = line.find("\"frequency_hz\"", at + 1)) {
      ++rows;
    }
    EXPECT_EQ(rows, 8u) << line;
  }
  // 2 s of stream at 20 evaluations a second, less the first curve's half
  // second: at most that many curves, however fast the machine (a busy one
  // may pass over some evaluations, which a live display need not show).
  EXPECT_GE(curves, 2);
  EXPECT_LE(curves, 35);
  EXPECT_LE(last_evaluation, 40);
}

// A calibration that could not be saved is refused before its sweep.
TEST(CommandLine, AnUnsaveableCalibrationFileStopsTheSweepBeforeItStarts)
{
  quarvel_test::temporary_directory directory;
  const std::string fifo = directory.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const trun run = run_cli("calibrate --sim R=1k --mode 0,1 --save --cal " + fifo);
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(run.output, "quarvel-cli: " + fifo + ": E/A-Fehler 22\n");
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"fifo"});
}

TEST(CommandLine, SelftestGradesTheSimulatedSetUp)
{
  const trun run = run_cli("selftest --test 3 --sim R=1k --json");
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("\"grade\":\"grün\""), std::string::npos) << run.output;
}

TEST(CommandLineParts, NumbersWithSuffixesAndWithoutLocale)
{
  EXPECT_DOUBLE_EQ(*quarvel_cli::parse_si_number("4.7k"), 4700.0);
  EXPECT_DOUBLE_EQ(*quarvel_cli::parse_si_number("100n"), 100e-9);
  EXPECT_DOUBLE_EQ(*quarvel_cli::parse_si_number("2\xC2\xB5"), 2e-6);
  EXPECT_DOUBLE_EQ(*quarvel_cli::parse_si_number("1M"), 1e6);
  EXPECT_FALSE(quarvel_cli::parse_si_number("1,5"));
  EXPECT_FALSE(quarvel_cli::parse_si_number("k"));
  EXPECT_FALSE(quarvel_cli::parse_si_number(""));
  EXPECT_FALSE(quarvel_cli::parse_number("inf"));
  EXPECT_EQ(quarvel_cli::parse_level_option("0.1"), 1000.0);
  EXPECT_EQ(quarvel_cli::parse_level_option("1.00"), 10000.0);
}

TEST(CommandLineParts, DevicesByIndexOrName)
{
  const std::vector<std::string> names{"HDA Intel PCH: ALC892 Analog (hw:0,0) (ALSA)", "system (JACK)",
                                       "Simulierter Messaufbau"};
  EXPECT_EQ(quarvel_cli::find_device(names, "1", "--in"), 1);
  EXPECT_EQ(quarvel_cli::find_device(names, "JACK", "--in"), 1);
  EXPECT_EQ(quarvel_cli::find_device(names, "Simul", "--in"), 2);
  EXPECT_THROW(quarvel_cli::find_device(names, "3", "--in"), quarvel_cli::usage_error);
  EXPECT_THROW(quarvel_cli::find_device(names, "USB", "--out"), quarvel_cli::usage_error);
}

TEST(CommandLineParts, JsonStringsAreEscaped)
{
  EXPECT_EQ(quarvel_cli::json_string("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
  EXPECT_EQ(quarvel_cli::json_string("Güte"), "\"Güte\"");
  quarvel_cli::tjson_object object;
  object.add("x", 1.5).add("n", 3).add("nan", std::nan(""));
  EXPECT_EQ(object.text(), "{\"x\":1.5,\"n\":3,\"nan\":null}");
}

}  // namespace
