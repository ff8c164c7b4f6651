// SPDX-License-Identifier: GPL-3.0-or-later
// The bench options of quarvel-cli as a script uses them: "--mode auto",
// the comparator's exit codes, the reading log and the sweep's outputs.

#include "support/file_text.h"
#include "support/run_command.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using trun = quarvel_test::tcommand_run;

trun run_cli(const std::string& arguments)
{
  return quarvel_test::run_command(std::string(QUARVEL_CLI) + " " + arguments);
}

bool contains(const std::string& text, const std::string& part)
{
  return text.find(part) != std::string::npos;
}

TEST(BenchCommandLine, AutoModeSaysWhichPairItChose)
{
  const trun capacitor = run_cli("measure --sim 'C=1u + R=2' --ref 100 --mode auto --json");
  EXPECT_EQ(capacitor.exit_code, 0) << capacitor.output;
  EXPECT_TRUE(contains(capacitor.output, "\"mode\":\"D/C\",\"auto\":true")) << capacitor.output;
  const trun coil = run_cli("measure --sim 'L=10m + R=1' --ref 100 --mode auto");
  EXPECT_TRUE(contains(coil.output, "Q/L")) << coil.output;
  const trun resistor = run_cli("measure --sim 'R=470' --ref 1k --mode auto --json");
  EXPECT_TRUE(contains(resistor.output, "\"mode\":\"Rs/Xs\"")) << resistor.output;
  // Through the default 10 Ω reference a 1.6 kΩ capacitor reads with a
  // resistance a little below zero: still a capacitor, and the comparator
  // sorts it by its capacitance, not by D. Its reactance's worst case is a
  // third of it there, so the capacitance's is 65 %.
  const trun far = run_cli("measure --sim 'C=100n + R=2' --mode auto --nominal 100n --tolerance 80 --json");
  EXPECT_TRUE(contains(far.output, "\"mode\":\"D/C\"")) << far.output;
  EXPECT_TRUE(contains(far.output, "\"verdict\":\"pass\"")) << far.output;
  EXPECT_EQ(far.exit_code, 0) << far.output;
}

// A production script sorts by the exit code: 0 good (or marginal), 4 bad,
// and with --strict marginal is bad too.
TEST(BenchCommandLine, TheComparatorSortsByExitCode)
{
  // The deviation shown at 1 kΩ is about 2 %: a 5 % part is good.
  const trun good = run_cli("measure --sim R=1k --ref 1k --level 1.00 --ft 16 --avg 4 --mode Rs/Xs --nominal 1k --tolerance 5 --json");
  EXPECT_EQ(good.exit_code, 0) << good.output;
  EXPECT_TRUE(contains(good.output, "\"verdict\":\"pass\"")) << good.output;
  const trun bad = run_cli("measure --sim R=1.1k --ref 1k --level 1.00 --mode Rs/Xs --nominal 1k --tolerance 5");
  EXPECT_EQ(bad.exit_code, 4) << bad.output;
  EXPECT_TRUE(contains(bad.output, "Vergleich: +")) << bad.output;
  EXPECT_TRUE(contains(bad.output, "Schlecht")) << bad.output;
  // Inside by 0.05 %, but the deviation at "Pegel" 0.01 reaches far past.
  const trun marginal = run_cli("measure --sim R=1.0095k --ref 1k --level 0.01 --mode Rs/Xs --nominal 1k --tolerance 1 --json");
  EXPECT_EQ(marginal.exit_code, 0) << marginal.output;
  EXPECT_TRUE(contains(marginal.output, "\"verdict\":\"marginal\"")) << marginal.output;
  const trun strict = run_cli("measure --sim R=1.0095k --ref 1k --level 0.01 --mode Rs/Xs --nominal 1k --tolerance 1 --strict");
  EXPECT_EQ(strict.exit_code, 4) << strict.output;
  for (const char* bad_arguments : {"--nominal 1k", "--tolerance 1", "--nominal 0 --tolerance 1", "--nominal 1k --tolerance -2",
                                    "--strict"}) {
    EXPECT_EQ(run_cli(std::string("measure --sim R=1k ") + bad_arguments).exit_code, 2) << bad_arguments;
  }
}

// A log killed mid-run keeps every line it wrote, complete.
TEST(BenchCommandLine, AnInterruptedLogKeepsCompleteLines)
{
  quarvel_test::temporary_directory directory;
  const std::string log = directory.path() + "/readings.csv";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::freopen("/dev/null", "w", stdout);
    ::execl(QUARVEL_CLI, QUARVEL_CLI, "measure", "--sim", "R=1k", "--ref", "1k", "--watch", "--csv", log.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Killed once six lines are in, however long a busy machine takes for them.
  const auto lines_in = [&] {
    const std::string text = quarvel_test::read_file(log);
    return std::count(text.begin(), text.end(), '\n');
  };
  for (int wait = 0; wait < 600 && lines_in() < 6; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  const std::string text = quarvel_test::read_file(log);
  ASSERT_TRUE(text.starts_with("time,frequency_hz,ref_ohm,z_re,z_im,")) << text;
  EXPECT_TRUE(text.ends_with("\r\n")) << "a line was cut";
  const auto lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_GE(lines, 6) << text;
  // Appended to, the header is not written again.
  ASSERT_EQ(run_cli("measure --sim R=1k --ref 1k --csv " + log).exit_code, 0);
  const std::string longer = quarvel_test::read_file(log);
  EXPECT_EQ(std::count(longer.begin(), longer.end(), '\n'), lines + 1);
  EXPECT_EQ(longer.find("time,", 1), std::string::npos);
  EXPECT_EQ(run_cli("measure --sim R=1k --csv " + directory.path()).exit_code, 1);  // a folder
}

TEST(BenchCommandLine, TheSweepPrintsItsTableJsonAndCsv)
{
  const trun table = run_cli("sweep --sim 'C=1u + R=2' --auto-ref --mode Rs/Cs");
  ASSERT_EQ(table.exit_code, 0) << table.output;
  EXPECT_TRUE(contains(table.output, "20 kHz")) << table.output;
  EXPECT_TRUE(contains(table.output, "Ersatzschaltung: Reihe R-C: R = 2.000 Ohm")) << table.output;
  const trun json = run_cli("sweep --sim 'C=1u + R=2' --json");
  EXPECT_TRUE(contains(json.output, "\"fit\":{\"model\":\"Reihe R-C\"")) << json.output;
  EXPECT_EQ(std::count(json.output.begin(), json.output.end(), '\n'), 1);
  const trun csv = run_cli("sweep --sim 'R=470' --csv");
  EXPECT_EQ(std::count(csv.output.begin(), csv.output.end(), '\n'), 9) << csv.output;
  EXPECT_EQ(run_cli("sweep --sim R=1k --mode auto").exit_code, 2);
}

}  // namespace
