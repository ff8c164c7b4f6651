// SPDX-License-Identifier: GPL-3.0-or-later
// quarvel-cli on a PipeWire server, as on a Debian desktop: ALSA's
// "default" devices lead to the default sink and source. Continuous
// integration starts a private server whose default source is the monitor
// of a null sink, so the meter hears its own tone; PipeWire scales the
// monitor's channels linearly by its monitor volumes, which gives a known
// ratio right / left. Without such a server the tests are skipped.

#include "support/run_command.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

namespace {

using quarvel_test::run_command;

// The first match's group in a command's output, or "".
std::string field(const std::string& text, const std::string& pattern)
{
  std::smatch match;
  return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : std::string();
}

// A quantity's value in the JSON reading; NaN, which fails any comparison,
// when there is none.
double value_of(const std::string& reading, const std::string& quantity)
{
  const std::string found = field(reading, "\"" + quantity + R"(":\{[^}]*"value":([-0-9.e+]+))");
  return found.empty() ? std::nan("") : std::stod(found);
}

class PipeWireLoopback : public ::testing::Test {
protected:
  void SetUp() override
  {
    // pactl speaks the user's language; its field names are read in English.
    const auto info = run_command("LC_ALL=C pactl info");
    if (info.exit_code != 0) GTEST_SKIP() << "no sound server answers (pactl info: " << info.output << ")";
    const std::string server = field(info.output, R"(Server Name: ([^\n]*))");
    if (server.find("on PipeWire") == std::string::npos) GTEST_SKIP() << "the server is not PipeWire: " << server;
    sink = field(info.output, R"(Default Sink: ([^\n]*))");
    const std::string source = field(info.output, R"(Default Source: ([^\n]*))");
    if (source != sink + ".monitor") {
      GTEST_SKIP() << "no loopback: the default source " << source << " is not the monitor of the default sink "
                   << sink;
    }
    // The monitor follows the sink's volume: full, so that the tone stands
    // well above the 16-bit steps.
    const auto full = run_command("pactl set-sink-volume @DEFAULT_SINK@ 100%");
    ASSERT_EQ(full.exit_code, 0) << full.output;
  }

  // A reading of the default devices, uncalibrated.
  std::string measure(const std::string& ref)
  {
    const auto run = run_command(std::string(QUARVEL_CLI) + " measure --in default --out default --ref " + ref +
                                 " --freq 1k --level 0.50 --mode Z/phi --seconds 2 --json --cal " +
                                 directory.path() + "/none.cal");
    EXPECT_EQ(run.exit_code, 0) << run.output;
    return run.output;
  }

  quarvel_test::temporary_directory directory;
  std::string sink;
};

// Right at gain g of left gives H = g and so Z = Zref · g / (1 − g); the
// gains are exact in binary, so the reading shows the card path's own error.
TEST_F(PipeWireLoopback, MeasuresTheMonitorsAttenuationOnTheDefaultDevices)
{
  struct tcase {
    const char* gain;
    const char* ref;
    double z_ohm;
  };
  for (const tcase& c : {tcase{"0.5", "1k", 1000.0}, tcase{"0.25", "100", 100.0 / 3.0}}) {
    const auto set = run_command("pw-cli set-param " + sink + " Props '{ monitorVolumes: [ 1.0, " + c.gain + " ] }'");
    ASSERT_EQ(set.exit_code, 0) << "pw-cli reaches no PipeWire server: " << set.output;
    const std::string reading = measure(c.ref);
    SCOPED_TRACE(std::string("gain ") + c.gain + ": " + reading);
    EXPECT_NEAR(value_of(reading, "first"), c.z_ohm, c.z_ohm * 5e-4);
    EXPECT_NEAR(value_of(reading, "second"), 0.0, 0.05);  // degrees
    EXPECT_NE(reading.find("\"signal_state\":0,"), std::string::npos);
    EXPECT_NE(reading.find("\"dropouts\":0}"), std::string::npos);
  }
}

// The output bar writes the default sink's volume; the input bar the
// default source's, here the monitor's.
TEST_F(PipeWireLoopback, TheBarsSetTheDefaultSinksAndSourcesVolumes)
{
  const auto run = run_command(std::string(QUARVEL_CLI) +
                               " mixer --in default --out default --capture 8 --playback 16 --json --cal " +
                               directory.path() + "/none.cal");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  // A new bind pass shows one less than was set (see audio/mixer.h).
  EXPECT_NE(run.output.find(R"("input":{"position":7,)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(R"("output":{"position":15,)"), std::string::npos) << run.output;

  const std::string channels = R"(front-left:\s*(\d+)\s*/[^,]*,\s*front-right:\s*(\d+))";
  const std::string sink_volume = run_command("LC_ALL=C pactl get-sink-volume @DEFAULT_SINK@").output;
  const std::string source_volume = run_command("LC_ALL=C pactl get-source-volume @DEFAULT_SOURCE@").output;
  std::smatch match;
  // p × 65535 div 31 of 65535, on PulseAudio's scale of 65536 that
  // PipeWire's PulseAudio service speaks.
  ASSERT_TRUE(std::regex_search(sink_volume, match, std::regex(channels))) << sink_volume;
  for (int channel : {1, 2}) EXPECT_NEAR(std::stod(match[channel]), 33824.0 / 65535.0 * 65536.0, 1.0) << sink_volume;
  ASSERT_TRUE(std::regex_search(source_volume, match, std::regex(channels))) << source_volume;
  for (int channel : {1, 2}) EXPECT_NEAR(std::stod(match[channel]), 16912.0 / 65535.0 * 65536.0, 1.0) << source_volume;
}

}  // namespace
