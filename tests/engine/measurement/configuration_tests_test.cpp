// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/measurement_cycle.h"
#include "support/fresh_engine_cycle.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lcr::settings;
using quarvel_test::manual_stream;

class ConfigurationTests : public quarvel_test::fresh_engine_cycle {
protected:
  void SetUp() override
  {
    fresh_engine_cycle::SetUp();
    lcr::reset_config_tests();
  }

  void select_test(int tag)
  {
    lcr::enter_test_mode();
    settings.test_mode = tag;
  }

  // Both channels a·sin at the test frequencies' sum, the right channel
  // scaled by `right_gain` and delayed by `right_delay` samples.
  static manual_stream::signal fixture(double amplitude, double right_gain, int right_delay, bool all_frequencies)
  {
    return [=](std::int64_t frame) {
      const auto tone = [&](std::int64_t at) {
        double sum = 0.0;
        for (const int f : lcr::test_frequencies) {
          if (!all_frequencies && f != 1000) continue;
          sum += std::sin(2.0 * lcr::pi * f * static_cast<double>(at) / 48000.0);
        }
        return amplitude * sum;
      };
      return std::pair{tone(frame), right_gain * tone(frame - right_delay)};
    };
  }
};

TEST_F(ConfigurationTests, GradingEdges)
{
  EXPECT_EQ(lcr::grade_test1(10000.0), lcr::test_good);
  EXPECT_EQ(lcr::grade_test1(15000.0), lcr::test_good);
  EXPECT_EQ(lcr::grade_test1(9999.99), lcr::test_doubtful);
  EXPECT_EQ(lcr::grade_test1(15000.01), lcr::test_bad);
  EXPECT_EQ(lcr::grade_test1(1499.99), lcr::test_bad);
  EXPECT_EQ(lcr::grade_test1(1500.0), lcr::test_doubtful);

  EXPECT_EQ(lcr::grade_test3(2000.0, 1000.0), lcr::test_good);
  EXPECT_EQ(lcr::grade_test3(500.0, 1000.0), lcr::test_doubtful);
  EXPECT_EQ(lcr::grade_test3(1000.0, 1000.0), lcr::test_bad);
  EXPECT_EQ(lcr::grade_test3(1800.0, 1000.0), lcr::test_bad);
  EXPECT_EQ(lcr::grade_test3(2200.0, 1000.0), lcr::test_bad);
  EXPECT_EQ(lcr::grade_test3(99.0, 49.5), lcr::test_bad);  // left below 100
  EXPECT_EQ(lcr::grade_test3(2000.0, 0.0), lcr::test_bad);  // silent right: no division

  EXPECT_EQ(lcr::grade_test2_phase(10.0), lcr::test_good);
  EXPECT_EQ(lcr::grade_test2_phase(10.01), lcr::test_doubtful);
  EXPECT_EQ(lcr::grade_test2_phase(30.01), lcr::test_bad);
  // A later check in (0.1, 0.5] replaces an earlier red by yellow.
  const auto amplitude_code = [](double a, double b, double c) {
    int code = lcr::test_good;
    for (const double figure : {a, b, c}) code = lcr::grade_test2_amplitude_check(code, figure);
    return code;
  };
  EXPECT_EQ(amplitude_code(0.6, 0.3, 0.05), lcr::test_doubtful);
  EXPECT_EQ(amplitude_code(0.3, 0.6, 0.05), lcr::test_bad);
  EXPECT_EQ(amplitude_code(0.0, 0.0, 0.0), lcr::test_good);
}

TEST_F(ConfigurationTests, TestTones)
{
  select_test(1);
  stream->run_block([](std::int64_t) { return std::pair{0.0, 0.0}; });
  double peak = 0.0;
  for (const double sample : lcr::engine.tone_buffer) peak = std::max(peak, std::fabs(sample));
  EXPECT_NEAR(peak, 32767.0, 1.0);
  EXPECT_EQ(lcr::settings.ft_factor, 1);
  EXPECT_EQ(lcr::engine.dft_ch1.n, 960);

  select_test(2);
  stream->run_blocks(40, [](std::int64_t) { return std::pair{0.0, 0.0}; });
  peak = 0.0;
  for (const double sample : lcr::engine.tone_buffer) peak = std::max(peak, std::fabs(sample));
  EXPECT_LE(peak, 8 * 3276.75);
  EXPECT_GT(peak, 3276.75);
}

TEST_F(ConfigurationTests, Test1GradesTheRecordingLevel)
{
  select_test(1);
  stream->run_blocks(4, fixture(25000.0, 1.0, 0, false));
  EXPECT_EQ(lcr::config_test_results().test1_result, lcr::test_good);
  stream->run_blocks(4, fixture(12000.0, 1.0, 0, false));
  EXPECT_EQ(lcr::config_test_results().test1_result, lcr::test_doubtful);
  stream->run_blocks(4, fixture(1000.0, 1.0, 0, false));
  EXPECT_EQ(lcr::config_test_results().test1_result, lcr::test_bad);
}

TEST_F(ConfigurationTests, Test2FlatInPhaseIsGreenAndAnOffsetIsRed)
{
  select_test(2);
  stream->run_blocks(4, fixture(2500.0, 1.0, 0, true));
  lcr::tconfig_test_results results = lcr::config_test_results();
  EXPECT_EQ(results.test2_phase_result, lcr::test_good);
  EXPECT_EQ(results.test2_amplitude_result, lcr::test_good);

  // One sample: 150° at 20 kHz.
  stream->run_blocks(4, fixture(2500.0, 1.0, 1, true));
  results = lcr::config_test_results();
  EXPECT_EQ(results.test2_phase_result, lcr::test_bad);
  EXPECT_EQ(results.test2_amplitude_result, lcr::test_good);

  // The matching "Sampleversatz" delays the other channel: green again.
  waveio::stream.sample_offset = -1;
  stream->run_blocks(4, fixture(2500.0, 1.0, 1, true));
  EXPECT_EQ(lcr::config_test_results().test2_phase_result, lcr::test_good);
}

TEST_F(ConfigurationTests, SilentInputGradesRedWithoutStopping)
{
  select_test(2);
  stream->run_blocks(4, [](std::int64_t) { return std::pair{0.0, 0.0}; });
  lcr::tconfig_test_results results = lcr::config_test_results();
  EXPECT_EQ(results.test2_phase_result, lcr::test_bad);
  EXPECT_EQ(results.test2_amplitude_result, lcr::test_bad);
  select_test(3);
  stream->run_blocks(4, [](std::int64_t) { return std::pair{0.0, 0.0}; });
  EXPECT_EQ(lcr::config_test_results().test3_result, lcr::test_bad);
}

TEST_F(ConfigurationTests, Test3ExpectsTheLeftAtTwiceTheRight)
{
  select_test(3);
  stream->run_blocks(4, fixture(20000.0, 0.5, 0, false));
  EXPECT_EQ(lcr::config_test_results().test3_result, lcr::test_good);
  waveio::stream.swap_channels = true;
  stream->run_blocks(4, fixture(20000.0, 0.5, 0, false));
  EXPECT_EQ(lcr::config_test_results().test3_result, lcr::test_doubtful);
}

TEST_F(ConfigurationTests, Test4SettlesThenComputesTheWorstFirst)
{
  // A constant magnitude at every test frequency: a multitone of amplitude 2.
  const auto multitone = fixture(2.0, 1.0, 0, true);
  select_test(4);
  // 19 evaluations (blocks 2 … 36 of the 15-block pattern) only settle.
  int evaluations = 0;
  while (evaluations < 19) {
    const auto before = lcr::config_tests.test4_count;
    stream->run_block(multitone);
    if (lcr::config_tests.test4_count != before) ++evaluations;
  }
  lcr::tconfig_test_results results = lcr::config_test_results();
  EXPECT_EQ(results.test4_bits_best, 0.0);
  EXPECT_EQ(results.test4_bits_worst, 0.0);
  // The 20th: only the worst value (the best's minimum still holds a 0).
  while (lcr::config_tests.test4_count < 20) stream->run_block(multitone);
  results = lcr::config_test_results();
  EXPECT_EQ(results.test4_bits_best, 0.0);
  EXPECT_GT(results.test4_bits_worst, 0.0);
  // Later evaluations compute both.
  stream->run_blocks(4, multitone);
  results = lcr::config_test_results();
  EXPECT_GT(results.test4_bits_best, results.test4_bits_worst - 1e-9);

  // Selecting the test again restarts the settling.
  select_test(4);
  stream->run_blocks(4, multitone);
  EXPECT_LT(lcr::config_tests.test4_count, 20);
}

TEST_F(ConfigurationTests, MeasurementStopsWhileATestRuns)
{
  settings.ref_index = 2;
  stream->run_blocks(15, quarvel_test::tone_pair(1000.0, 20000.0, 0.5, 0.0));
  const auto evaluations = lcr::engine.evaluation_count;
  const lcr::tcomplex shown = lcr::measurement_snapshot().display_z;
  select_test(1);
  stream->run_blocks(15, quarvel_test::tone_pair(1000.0, 20000.0, 0.25, 0.0));
  EXPECT_EQ(lcr::engine.evaluation_count, evaluations);
  EXPECT_EQ(lcr::measurement_snapshot().display_z, shown);
}

}  // namespace
