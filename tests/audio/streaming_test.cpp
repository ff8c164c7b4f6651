// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/device_catalog.h"
#include "audio/streaming.h"
#include "support/fake_backend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using quarvel_test::fake_backend;
using waveio::stream;

class Streaming : public ::testing::Test {
protected:
  void SetUp() override
  {
    waveio::reset_stream_state();
    waveio::set_backend(&backend);
    stream.in_device_id = 0;
    stream.out_device_id = 0;
  }

  void TearDown() override
  {
    waveio::wavein_close();
    waveio::waveout_close();
    waveio::reset_stream_state();
  }

  void open_both()
  {
    waveio::waveout_open();
    waveio::wavein_open();
  }

  // Waits (bounded) until the worker has done what `condition` checks.
  template <typename Condition>
  static bool eventually(Condition condition)
  {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  fake_backend backend;
};

TEST_F(Streaming, OpeningQueuesTheWholeRingsInOrder)
{
  open_both();
  EXPECT_TRUE(stream.output_running);
  EXPECT_TRUE(stream.input_running);
  EXPECT_EQ(stream.in_ring.buffer_count, 187);
  EXPECT_EQ(stream.in_ring.frames, 239360);
  EXPECT_EQ(stream.out_ring.buffer_count, 187);
  EXPECT_EQ(stream.out_ring.frames, 239360);
  EXPECT_EQ(stream.out_write, 12800);
  EXPECT_EQ(stream.in_read, 0);
  EXPECT_EQ(stream.in_available, 0);
  for (const auto& log : {backend.in_log, backend.out_log}) {
    ASSERT_EQ(log->queued.size(), 187u);
    EXPECT_EQ(log->prepared, 187);
    for (int i = 0; i < 187; ++i) {
      EXPECT_EQ(log->queued[static_cast<std::size_t>(i)]->buffer_length, 5120u);
    }
  }
  EXPECT_EQ(backend.in_log->queued.front(), &stream.in_ring.header(0));
  EXPECT_EQ(backend.in_log->queued.back(), &stream.in_ring.header(186));
  EXPECT_TRUE(backend.in_log->started);

  waveio::wavein_close();
  waveio::waveout_close();
  EXPECT_TRUE(backend.in_log->closed);
  EXPECT_TRUE(backend.out_log->closed);
  EXPECT_EQ(backend.in_log->prepared, 0);
  EXPECT_EQ(backend.out_log->prepared, 0);
  EXPECT_FALSE(stream.in_handle);
  EXPECT_FALSE(stream.wakeup_event);
}

TEST_F(Streaming, FailedOpenLeavesTheDirectionNotRunning)
{
  backend.open_out_result = waveio::MMSYSERR_NODRIVER;
  backend.in_log->start_result = waveio::MMSYSERR_ERROR;
  open_both();
  EXPECT_FALSE(stream.output_running);
  EXPECT_FALSE(stream.input_running);
  // The input opened although it did not start: the next close releases it.
  EXPECT_TRUE(stream.in_handle);
  waveio::wavein_close();
  EXPECT_TRUE(backend.in_log->closed);

  // A device that is not in the list does not open either.
  stream.out_device_id = 7;
  backend.open_out_result = 0;
  waveio::waveout_open();
  EXPECT_FALSE(stream.output_running);
}

TEST_F(Streaming, ClosingWithoutDeviceOrWorkerReturns)
{
  // Returning at all is what counts (a wake-up lost would hang here), not
  // how fast a busy machine returns.
  const auto started = std::chrono::steady_clock::now();
  waveio::wavein_close();  // nothing was ever opened
  waveio::waveout_close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);

  // No input selected: the worker starts and waits; closing wakes it.
  stream.in_device_id = -1;
  waveio::wavein_open();
  EXPECT_FALSE(stream.input_running);
  EXPECT_TRUE(stream.worker_run);
  waveio::wavein_close();
  EXPECT_TRUE(stream.worker_ended);
  EXPECT_FALSE(stream.worker.joinable());
}

TEST_F(Streaming, OutputLeadWindowEdges)
{
  waveio::waveout_open();
  struct lead_case {
    int played;
    int lead;
    int expected_write_before_block;
  };
  const int ring = stream.out_ring.frames;
  const lead_case cases[] = {
      {0, 10000, 10000},  {0, 40000, 40000},  {0, 9999, 12800},
      {0, 40001, 12800},  {2560, 10000, 12560}, {ring - 1280, 0, 11520},
  };
  for (const lead_case& c : cases) {
    stream.out_played = c.played;
    stream.out_write = (c.played + c.lead) % ring;
    stream.out_lead = c.lead;
    waveio::write_output_block(waveio::block_frames);
    EXPECT_EQ(stream.out_write, (c.expected_write_before_block + 1280) % ring) << "lead " << c.lead;
    EXPECT_EQ(stream.out_lead, (c.expected_write_before_block + 1280 - c.played + ring) % ring);
  }
}

TEST_F(Streaming, OutputValuesAreClippedAndRounded)
{
  EXPECT_EQ(waveio::output_sample_code(32767.4), 32767);
  EXPECT_EQ(waveio::output_sample_code(32767.5), 32767);
  EXPECT_EQ(waveio::output_sample_code(-32768.6), -32768);
  EXPECT_EQ(waveio::output_sample_code(-32767.6), -32768);
  EXPECT_EQ(waveio::output_sample_code(1.4), 1);
  EXPECT_EQ(waveio::output_sample_code(-1.6), -2);
  EXPECT_EQ(waveio::output_sample_code(1e12), 32767);
  EXPECT_EQ(waveio::output_sample_code(std::numeric_limits<double>::quiet_NaN()), -32768);

  // A block that starts inside a buffer continues in the next one.
  waveio::waveout_open();
  stream.out_write = 5 * 1280 + 1000;
  stream.out_played = (stream.out_write - 20000 + stream.out_ring.frames) % stream.out_ring.frames;
  stream.out_lead = 20000;  // inside the window: no move
  for (int i = 0; i < waveio::block_frames; ++i) {
    stream.outblock_left[static_cast<std::size_t>(i)] = i + 0.4;
    stream.outblock_right[static_cast<std::size_t>(i)] = -i - 0.6;
  }
  waveio::write_output_block(waveio::block_frames);
  const waveio::tsample* first = stream.out_ring.frame(5, 1000);
  EXPECT_EQ(first[0].load(), 0);
  EXPECT_EQ(first[1].load(), -1);
  const waveio::tsample* last_in_buffer = stream.out_ring.frame(5, 1279);
  EXPECT_EQ(last_in_buffer[0].load(), 279);
  const waveio::tsample* next_buffer = stream.out_ring.frame(6, 0);
  EXPECT_EQ(next_buffer[0].load(), 280);
  EXPECT_EQ(next_buffer[1].load(), -281);
  EXPECT_EQ(stream.out_write, 6 * 1280 + 1000);
}

TEST_F(Streaming, WritingWithoutRunningOutputChangesNothing)
{
  stream.out_write = 123;
  waveio::write_output_block(waveio::block_frames);
  EXPECT_EQ(stream.out_write, 123);
}

class ReadingBlocks : public Streaming {
protected:
  // Stream frame f of the input ring holds (f mod 30000, −(f mod 30000)).
  void fill_input_ring()
  {
    stream.in_ring.allocate(waveio::N_in);
    for (int frame = 0; frame < stream.in_ring.frames; ++frame) {
      waveio::tsample* samples = stream.in_ring.frame(0, 0) + 2 * frame;
      samples[0].store(static_cast<std::int16_t>(frame % 30000));
      samples[1].store(static_cast<std::int16_t>(-(frame % 30000)));
    }
  }
};

TEST_F(ReadingBlocks, AcrossTheRingsEnd)
{
  fill_input_ring();
  const int ring = stream.in_ring.frames;
  stream.in_read = ring - 640;
  stream.in_recorded = 1280;
  waveio::read_input_block();
  EXPECT_EQ(stream.inblock_left[0], (ring - 640) % 30000);
  EXPECT_EQ(stream.inblock_left[639], (ring - 1) % 30000);
  EXPECT_EQ(stream.inblock_left[640], 0.0);
  EXPECT_EQ(stream.inblock_left[1279], 639.0);
  EXPECT_EQ(stream.inblock_right[1279], -639.0);
  EXPECT_EQ(stream.in_read, 640);
  EXPECT_EQ(stream.in_available, 640);
}

TEST_F(ReadingBlocks, SwapAndOneSampleDelayAcrossBlocks)
{
  fill_input_ring();
  stream.in_recorded = 3 * 1280;

  stream.sample_offset = 1;
  waveio::read_input_block();
  waveio::delay_input_block();
  EXPECT_EQ(stream.inblock_right[0], 0.0);  // nothing carried yet
  EXPECT_EQ(stream.inblock_right[1], 0.0);
  EXPECT_EQ(stream.inblock_right[2], -1.0);
  EXPECT_EQ(stream.inblock_left[0], 0.0);
  EXPECT_EQ(stream.inblock_left[2], 2.0);
  waveio::read_input_block();
  waveio::delay_input_block();
  EXPECT_EQ(stream.inblock_right[0], -1279.0);  // last sample of the block before
  EXPECT_EQ(stream.inblock_right[1], -1280.0);
  EXPECT_EQ(stream.inblock_left[0], 1280.0);

  // Swapped, with −1: the delayed array is inblock_left, which now holds the
  // physical second channel; the carried sample is shared between choices.
  stream.swap_channels = true;
  stream.sample_offset = -1;
  waveio::read_input_block();
  waveio::delay_input_block();
  EXPECT_EQ(stream.inblock_left[0], -2559.0);  // carried from the right array
  EXPECT_EQ(stream.inblock_left[1], -2560.0);
  EXPECT_EQ(stream.inblock_right[0], 2560.0);
  EXPECT_EQ(stream.carried_sample, -3839.0);

  // −2 (no selection on the setup page) delays the right array.
  stream.sample_offset = -2;
  stream.swap_channels = false;
  stream.in_read = 0;
  waveio::read_input_block();
  waveio::delay_input_block();
  EXPECT_EQ(stream.inblock_right[0], -3839.0);
  EXPECT_EQ(stream.inblock_left[0], 0.0);
}

TEST_F(Streaming, WorkerRequeuesReturnedBuffersAndCallsTheHandler)
{
  std::mutex gate_lock;
  std::condition_variable gate_changed;
  bool gate_open = false;
  std::vector<int> available_at_call;
  // Whatever happens below, the handler must not stay parked, or closing
  // would wait for it forever.
  struct topen_gate_at_exit {
    std::mutex& lock;
    std::condition_variable& changed;
    bool& open;
    ~topen_gate_at_exit()
    {
      {
        const std::lock_guard guard(lock);
        open = true;
      }
      changed.notify_all();
      waveio::wavein_close();
    }
  } open_gate_at_exit{gate_lock, gate_changed, gate_open};
  waveio::set_block_handler([&] {
    std::unique_lock lock(gate_lock);
    available_at_call.push_back(waveio::in_available());
    gate_changed.notify_all();
    gate_changed.wait(lock, [&] { return gate_open || available_at_call.size() > 1; });
  });
  open_both();
  const auto constant = [](int, int) -> std::int16_t { return 100; };

  ASSERT_TRUE(backend.complete_input(constant));
  {
    std::unique_lock lock(gate_lock);
    ASSERT_TRUE(gate_changed.wait_for(lock, 5s, [&] { return !available_at_call.empty(); }));
  }
  // While the handler runs, seven more buffers come back; the sets collapse
  // into one wake-up, which hands back at most five, and the worker comes
  // back at once for the other two rather than wait for another buffer.
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(backend.complete_input(constant));
  {
    const std::lock_guard lock(gate_lock);
    gate_open = true;
  }
  gate_changed.notify_all();
  ASSERT_TRUE(eventually([&] {
    const std::lock_guard lock(gate_lock);
    return available_at_call.size() >= 3;
  }));
  ASSERT_TRUE(backend.complete_input(constant));
  ASSERT_TRUE(eventually([&] {
    const std::lock_guard lock(gate_lock);
    return available_at_call.size() >= 4;
  }));
  // Handed back: no longer marked done (the close below returns them all).
  for (int i = 0; i < 9; ++i) EXPECT_EQ(stream.in_ring.header(i).flags.load() & waveio::WHDR_DONE, 0u);
  waveio::wavein_close();
  ASSERT_EQ(available_at_call.size(), 4u);
  EXPECT_EQ(available_at_call[0], 1 * 1280);
  EXPECT_EQ(available_at_call[1], 6 * 1280);
  EXPECT_EQ(available_at_call[2], 8 * 1280);
  EXPECT_EQ(available_at_call[3], 9 * 1280);
  EXPECT_EQ(backend.in_log->queue_calls, 187 + 9);
}

TEST_F(Streaming, PlayedOutputIsQueuedAgainAtTheInputsPace)
{
  int calls = 0;
  waveio::set_block_handler([&] { ++calls; });
  open_both();
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(backend.play_output().empty());
  EXPECT_EQ(backend.out_log->queue_calls, 187);  // nobody woke the worker yet
  ASSERT_TRUE(backend.complete_input([](int, int) -> std::int16_t { return 0; }));
  ASSERT_TRUE(eventually([&] { return stream.out_index.load() == 3; }));
  EXPECT_EQ(stream.out_played, 3 * 1280);
  EXPECT_EQ(backend.out_log->queue_calls, 187 + 3);
  waveio::wavein_close();
  EXPECT_EQ(calls, 1);
}

TEST_F(Streaming, DeviceThatStopsDeliveringNoLongerRuns)
{
  int calls = 0;
  waveio::set_block_handler([&] { ++calls; });
  open_both();
  backend.fail_input();
  ASSERT_TRUE(eventually([] { return !stream.input_running.load(); }));
  const auto started = std::chrono::steady_clock::now();
  waveio::wavein_close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);  // returns, however busy the machine
  EXPECT_EQ(calls, 0);
  // The next device change opens it again.
  backend.in_log = std::make_shared<quarvel_test::fake_device_log>();
  waveio::wavein_open();
  EXPECT_TRUE(stream.input_running);
}

TEST_F(Streaming, ListsEveryDeviceOfEveryFamily)
{
  fake_backend many;
  many.input_devices = 25;
  many.output_devices = 22;
  fake_backend last;
  waveio::tdevice_catalog catalog({&many, &last});
  waveio::set_backend(&catalog);
  waveio::wavein_enum();
  const std::vector<std::string> inputs = waveio::listed_device_names();
  waveio::waveout_enum();
  const std::vector<std::string> outputs = waveio::listed_device_names();
  ASSERT_EQ(inputs.size(), 26u);
  ASSERT_EQ(outputs.size(), 23u);
  EXPECT_EQ(stream.in_device_count, 26);
  EXPECT_EQ(inputs[24], "Fake input 24");
  EXPECT_EQ(inputs[25], "Fake input 0");  // the second family follows
  EXPECT_EQ(outputs[22], "Fake output 0");

  std::unique_ptr<waveio::twave_in> handle;
  EXPECT_EQ(catalog.open_in(handle, 25, waveio::stereo16_format(48000), nullptr), 0);
  EXPECT_TRUE(handle);
  EXPECT_NE(catalog.open_in(handle, 26, waveio::stereo16_format(48000), nullptr), 0);

  // The default output falls back to the next family that has one.
  many.open_out_result = waveio::MMSYSERR_NODRIVER;
  std::unique_ptr<waveio::twave_out> output;
  EXPECT_EQ(catalog.open_out(output, waveio::WAVE_MAPPER, waveio::stereo16_format(48000)), 0);
  EXPECT_TRUE(output);
}

}  // namespace
