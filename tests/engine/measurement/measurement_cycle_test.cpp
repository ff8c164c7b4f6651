// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/measurement/measurement_cycle.h"
#include "support/fresh_engine_cycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using lcr::engine;
using lcr::settings;
using quarvel_test::tone_pair;

class MeasurementCycle : public quarvel_test::fresh_engine_cycle {};

const auto silence = [](std::int64_t) { return std::pair{0.0, 0.0}; };

TEST_F(MeasurementCycle, EvaluationPatternOverFifteenBlocks)
{
  for (const int factor : {1, 4, 16}) {
    settings.ft_factor = factor;
    settings.request_transform_rebuild = true;
    std::vector<int> evaluating_blocks;
    std::vector<int> fill_left;
    for (int block = 1; block <= 15; ++block) {
      const auto before = engine.evaluation_count;
      stream->run_block(silence);
      if (engine.evaluation_count != before) {
        evaluating_blocks.push_back(block);
        fill_left.push_back(engine.ring_ch1.fill);
      }
    }
    EXPECT_EQ(evaluating_blocks, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 15})) << "factor " << factor;
    // Fills before consumption 2560, 2720, … 3520, 2400 leave 160 … 1120, 0.
    EXPECT_EQ(fill_left, (std::vector<int>{160, 320, 480, 640, 800, 960, 1120, 0})) << "factor " << factor;
    EXPECT_EQ(engine.dft_ch1.n, 960 * factor);
  }
}

TEST_F(MeasurementCycle, EveryRecordedBlockIsTakenAndAnsweredByOneToneBlock)
{
  stream->record_block(silence);
  stream->record_block(silence);
  stream->record_block(silence);
  const int write_before = waveio::stream.out_write;
  lcr::process_recorded_blocks();
  EXPECT_EQ(waveio::stream.in_available, 0);
  EXPECT_EQ(waveio::stream.in_read, 3 * 1280);
  EXPECT_EQ(waveio::stream.out_write, write_before + 3 * 1280);
  EXPECT_EQ(engine.evaluation_count, 1);
}

TEST_F(MeasurementCycle, RebuildRequests)
{
  settings.avg_count = 4;
  settings.ft_factor = 4;
  settings.request_average_rebuild = true;
  stream->run_block(silence);
  EXPECT_EQ(engine.dft_ch1.n, 3840);
  EXPECT_EQ(engine.ring_ch2.size, 3840);
  EXPECT_EQ(engine.avg_re.length, 16);
  EXPECT_FALSE(settings.request_average_rebuild);

  // "Mittelwert" 16 with FT factor 4: 64 evaluations.
  settings.avg_count = 16;
  settings.request_average_rebuild = true;
  stream->run_block(silence);
  EXPECT_EQ(engine.avg_im.length, 64);

  // A factor outside 1 … 16 is clamped; the setting changes only at a request.
  settings.ft_factor = 40;
  stream->run_block(silence);
  EXPECT_EQ(engine.dft_ch1.n, 3840);
  settings.request_transform_rebuild = true;
  stream->run_block(silence);
  EXPECT_EQ(engine.dft_ch1.n, 15360);
  settings.ft_factor = 0;
  settings.request_transform_rebuild = true;
  stream->run_block(silence);
  EXPECT_EQ(engine.dft_ch1.n, 960);
}

// The window changes the factor and raises requests while the worker runs
// blocks: after the last request has been taken the transform matches the
// last factor, so no request raised during a rebuild was lost.
TEST_F(MeasurementCycle, RequestRaisedDuringRebuildIsHonoured)
{
  std::atomic<bool> done{false};
  std::thread window([&] {
    for (int i = 0; i < 300; ++i) {
      settings.ft_factor = (i % 2 == 0) ? 4 : 1;
      settings.request_transform_rebuild = true;
      std::this_thread::yield();
    }
    done = true;
  });
  while (!done.load()) stream->run_block(silence);
  window.join();
  stream->run_block(silence);
  EXPECT_EQ(engine.dft_ch1.n, 960);  // the last factor written was 1
  EXPECT_FALSE(settings.request_transform_rebuild);
}

TEST_F(MeasurementCycle, SignalStateOrdering)
{
  // Both silent: right input weak.
  stream->run_blocks(2, silence);
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_right_weak);
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_ok);  // reset by the read

  // Left at full scale, right near it: the right channel's test runs last.
  stream->run_blocks(2, [](std::int64_t frame) {
    const double phase = std::sin(2.0 * lcr::pi * 1000.0 * static_cast<double>(frame) / 48000.0);
    return std::pair{32767.0 * phase, 29800.0 * phase};
  });
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_near_full_scale);

  // A healthy level.
  stream->run_blocks(2, tone_pair(1000.0, 10000.0, 0.5, 0.0));
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_ok);

  // Left too weak, right fine: grey; right clipped: red.
  stream->run_blocks(2, [](std::int64_t frame) {
    const double phase = std::sin(2.0 * lcr::pi * 1000.0 * static_cast<double>(frame) / 48000.0);
    return std::pair{10.0 * phase, 40000.0 * phase};
  });
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_clipped);
  stream->run_blocks(2, [](std::int64_t frame) {
    const double phase = std::sin(2.0 * lcr::pi * 1000.0 * static_cast<double>(frame) / 48000.0);
    return std::pair{10.0 * phase, 1000.0 * phase};
  });
  EXPECT_EQ(lcr::take_signal_state(), lcr::signal_left_weak);
}

TEST_F(MeasurementCycle, SilentInputsAverageToOneOne)
{
  settings.avg_count = 4;
  settings.request_average_rebuild = true;
  stream->run_blocks(30, silence);
  EXPECT_EQ(engine.avg_ratio, (lcr::tcomplex{1.0, 1.0}));
  EXPECT_EQ(engine.channel1_amplitude, 0.0);
}

TEST_F(MeasurementCycle, ResistorEqualToTheReferenceReadsTheReference)
{
  settings.ref_index = 2;
  for (const int f : {0, 3, 7}) {
    settings.freq_index = f;
    settings.request_average_rebuild = true;
    stream->run_blocks(15, tone_pair(lcr::test_frequencies[static_cast<std::size_t>(f)], 20000.0, 0.5, 0.0));
    const lcr::tmeasurement_snapshot result = lcr::measurement_snapshot();
    EXPECT_NEAR(result.display_z.re, 1000.0, 1000.0 * 2e-4) << "f index " << f;
    EXPECT_NEAR(result.display_z.im, 0.0, 1000.0 * 2e-4) << "f index " << f;
    EXPECT_NEAR(result.channel1_amplitude, 10000.0, 1.0);
    EXPECT_EQ(result.ref_value_text, "   1");
    EXPECT_EQ(result.ref_unit_text, "KOhm");
  }
}

TEST_F(MeasurementCycle, StopHoldsTheDisplayWhileThePlotFills)
{
  {
    const std::lock_guard lock(lcr::publication_lock);
    engine.plot_history[0].assign(lcr::plot_history_length, 0.0);
    engine.plot_history[1].assign(lcr::plot_history_length, 0.0);
  }
  settings.ref_index = 2;
  stream->run_blocks(15, tone_pair(1000.0, 20000.0, 0.5, 0.0));
  const lcr::tcomplex held = lcr::measurement_snapshot().display_z;
  const int index_before = engine.plot_write_index;
  settings.display_running = false;
  stream->run_blocks(15, tone_pair(1000.0, 20000.0, 0.25, 0.0));
  EXPECT_EQ(lcr::measurement_snapshot().display_z, held);
  EXPECT_EQ(engine.plot_write_index, index_before + 8);
  // |Z| of 0.25 / 0.75 × 1000 Ω is in the history.
  EXPECT_NEAR(engine.plot_history[0][static_cast<std::size_t>(engine.plot_write_index - 1)], 1000.0 / 3.0, 0.1);
  settings.display_running = true;
  stream->run_blocks(2, tone_pair(1000.0, 20000.0, 0.25, 0.0));
  EXPECT_NEAR(lcr::measurement_snapshot().display_z.re, 1000.0 / 3.0, 0.1);
}

TEST_F(MeasurementCycle, RecommendedReferenceResistor)
{
  EXPECT_NEAR(lcr::relative_error_estimate(1024.0, 12.0, 1.0, 0.01, 1414.0, 1000.0), 0.83, 0.005);
  EXPECT_NEAR(lcr::relative_error_estimate(1024.0, 12.0, 1.0, 0.01, 1414.0, 10000.0), 1.31, 0.005);
  EXPECT_NEAR(lcr::relative_error_estimate(1024.0, 12.0, 1.0, 0.01, 1414.0, 100.0), 3.93, 0.005);
  struct recommendation_case {
    double z_ohm;
    double expected_ohm;
  };
  for (const auto& [z_ohm, expected_ohm] : {recommendation_case{1414.0, 1000.0}, {5000.0, 10000.0}, {0.0, 10.0},
                                            {1e9, 1e6}, {1.0, 10.0}, {141.0, 100.0}}) {
    engine.z_raw = {0.0, -z_ohm};
    EXPECT_EQ(lcr::recommend_ref_resistor(), expected_ohm) << "|Z| " << z_ohm;
  }
}

TEST_F(MeasurementCycle, ToneLevelPhaseAndClipping)
{
  settings.tone_level = 1000.0;  // "0.10"
  stream->run_block(silence);
  double peak = 0.0;
  for (const double sample : engine.tone_buffer) peak = std::max(peak, std::fabs(sample));
  EXPECT_NEAR(peak, 3276.75, 0.6);

  // The phase carries over blocks and frequency changes: the next block at
  // 20 kHz starts one 20 kHz step after where the 1 kHz block ended.
  const double phase_before = engine.tone_phase;
  settings.freq_index = 7;
  stream->run_block(silence);
  const double expected_first = std::sin(2.0 * lcr::pi * (phase_before + 20000.0 / 48000.0)) * 3276.75;
  EXPECT_NEAR(engine.tone_buffer.front(), expected_first, 0.5 + 1e-9);  // within the dither

  // "1.00": the peaks exceed full scale; the output ring holds them clipped
  // to 32767, every other sample rounded.
  settings.tone_level = 10000.0;
  settings.freq_index = 3;
  stream->run_block(silence);
  const int written_at = waveio::stream.out_write;
  stream->run_block(silence);
  int above_full_scale = 0;
  for (int i = 0; i < waveio::block_frames; ++i) {
    const double value = engine.tone_buffer[static_cast<std::size_t>(i)];
    const waveio::tsample* frame =
        waveio::stream.out_ring.frame(0, 0) + 2 * ((written_at + i) % waveio::stream.out_ring.frames);
    EXPECT_EQ(frame[0].load(), waveio::output_sample_code(value)) << i;
    EXPECT_EQ(frame[1].load(), waveio::output_sample_code(value)) << i;
    if (value > 32767.0) {
      ++above_full_scale;
      EXPECT_EQ(frame[0].load(), 32767) << i;
    }
  }
  EXPECT_GT(above_full_scale, 0);
}

TEST_F(MeasurementCycle, TestModeTakesOverTheBlockLoop)
{
  settings.avg_count = 1;
  stream->run_blocks(4, tone_pair(1000.0, 20000.0, 0.5, 0.0));
  const auto evaluations = engine.evaluation_count;
  lcr::enter_test_mode();
  settings.test_mode = 4;
  EXPECT_EQ(settings.ft_factor, 1);
  EXPECT_EQ(settings.tone_level, 0.0);
  stream->run_blocks(15, tone_pair(1000.0, 20000.0, 0.25, 0.0));
  EXPECT_EQ(engine.evaluation_count, evaluations);  // no measurement while testing
  for (const double sample : engine.tone_buffer) EXPECT_EQ(sample, 0.0);
}

}  // namespace
