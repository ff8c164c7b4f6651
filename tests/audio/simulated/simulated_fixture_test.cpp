// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/simulated/simulated_fixture.h"
#include "audio/simulated/fixture_signal_path.h"
#include "audio/streaming.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace waveio;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

// Only a guard against a hang: every condition waited for comes true, and
// on a loaded machine (or under a sanitizer) a minute of virtual time may
// take many seconds of ours.
constexpr auto hang_guard = 120s;

constexpr int ring = 187;
// The converters' delay in blocks: a recorded block holds the output block
// played this many blocks before it.
constexpr int delay_blocks = fixture_converter_delay_frames / block_frames;
static_assert(delay_blocks * block_frames == fixture_converter_delay_frames);

// Buffers and descriptors as the streaming layer keeps them.
class tbuffers {
 public:
  explicit tbuffers(int count)
      : count_(count),
        samples_(std::make_unique<tsample[]>(static_cast<std::size_t>(count) * played_block_samples)),
        headers_(std::make_unique<twave_header[]>(static_cast<std::size_t>(count)))
  {
    for (int i = 0; i < count; ++i) {
      header(i).data = samples_.get() + static_cast<std::size_t>(i) * played_block_samples;
      header(i).buffer_length = block_frames * 4;
    }
  }

  twave_header& header(int i) { return headers_[static_cast<std::size_t>(i % count_)]; }
  bool done(int i) { return (header(i).flags.load(std::memory_order_acquire) & WHDR_DONE) != 0; }
  int done_count()
  {
    int count = 0;
    for (int i = 0; i < count_; ++i) count += done(i) ? 1 : 0;
    return count;
  }
  std::int16_t sample(int i, int index) { return header(i).data[index].load(std::memory_order_relaxed); }
  // True when every frame holds (left, right).
  bool holds(int i, std::int16_t left, std::int16_t right)
  {
    for (int frame = 0; frame < block_frames; ++frame) {
      if (sample(i, 2 * frame) != left || sample(i, 2 * frame + 1) != right) return false;
    }
    return true;
  }
  void fill(int i, std::int16_t left)
  {
    for (int frame = 0; frame < block_frames; ++frame) {
      header(i).data[2 * frame].store(left, std::memory_order_relaxed);
      header(i).data[2 * frame + 1].store(-1234, std::memory_order_relaxed);
    }
  }

 private:
  int count_;
  std::unique_ptr<tsample[]> samples_;
  std::unique_ptr<twave_header[]> headers_;
};

bool eventually(const std::function<bool()>& condition)
{
  const auto deadline = steady::now() + hang_guard;
  while (!condition()) {
    if (steady::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// An open input and output of a fixture, with rings of `ring` buffers each,
// all prepared; output buffer k plays the constant marker of block k.
struct tstream_rig {
  explicit tstream_rig(const tfixture_config& config, bool with_output = true)
      : fixture([this] { return reference_index.load(); }, config)
  {
    EXPECT_EQ(fixture.open_in(in, 0, stereo16_format(48000), &event), MMSYSERR_NOERROR);
    for (int i = 0; i < ring; ++i) EXPECT_EQ(in->prepare_header(in_buffers.header(i)), MMSYSERR_NOERROR);
    if (!with_output) return;
    EXPECT_EQ(fixture.open_out(out, WAVE_MAPPER, stereo16_format(48000)), MMSYSERR_NOERROR);
    for (int i = 0; i < ring; ++i) EXPECT_EQ(out->prepare_header(out_buffers.header(i)), MMSYSERR_NOERROR);
  }
  ~tstream_rig()
  {
    if (in) in->close();
    if (out) out->close();
  }

  static std::int16_t marker(int block) { return static_cast<std::int16_t>(4 * (block % 8000 + 1)); }
  static std::int16_t recorded_marker(int block) { return static_cast<std::int16_t>(3 * (block % 8000 + 1)); }

  void queue_all()
  {
    for (int i = 0; i < ring; ++i) EXPECT_EQ(in->add_buffer(in_buffers.header(i)), MMSYSERR_NOERROR);
    if (!out) return;
    for (int i = 0; i < ring; ++i) {
      out_buffers.fill(i, marker(i));
      EXPECT_EQ(out->write(out_buffers.header(i)), MMSYSERR_NOERROR);
    }
  }

  std::atomic<int> reference_index{2};
  tauto_reset_event event;
  tsimulated_fixture fixture;
  std::unique_ptr<twave_in> in;
  std::unique_ptr<twave_out> out;
  tbuffers in_buffers{ring};
  tbuffers out_buffers{ring};
};

tfixture_config test_fixture_1(tclock clock)
{
  tfixture_config config;
  config.wiring = twiring::test_fixture_1;
  config.clock = clock;
  return config;
}

TEST(SimulatedFixtureDevices, OneInputOneOutputCheckedOnOpen)
{
  tsimulated_fixture fixture([] { return 0; });
  EXPECT_EQ(fixture.in_device_count(), 1);
  EXPECT_EQ(fixture.out_device_count(), 1);
  EXPECT_EQ(fixture.in_device_name(0), "Simulierter Messaufbau");
  EXPECT_EQ(fixture.out_device_name(0), "Simulierter Messaufbau");
  tauto_reset_event event;
  std::unique_ptr<twave_in> in;
  std::unique_ptr<twave_out> out;
  EXPECT_EQ(fixture.open_in(in, 1, stereo16_format(48000), &event), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(fixture.open_in(in, WAVE_MAPPER, stereo16_format(48000), &event), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(fixture.open_out(out, 1, stereo16_format(48000)), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(fixture.open_in(in, 0, stereo16_format(44100), &event), WAVERR_BADFORMAT);
  twave_format mono = stereo16_format(48000);
  mono.channels = 1;
  EXPECT_EQ(fixture.open_out(out, 0, mono), WAVERR_BADFORMAT);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(fixture.open_in(in, 0, stereo16_format(48000), &event), MMSYSERR_NOERROR);
  ASSERT_EQ(fixture.open_out(out, WAVE_MAPPER, stereo16_format(48000)), MMSYSERR_NOERROR);
  std::unique_ptr<twave_in> second;
  EXPECT_NE(fixture.open_in(second, 0, stereo16_format(48000), &event), MMSYSERR_NOERROR);
  EXPECT_FALSE(in->failed());
  EXPECT_FALSE(out->failed());

  tbuffers buffers(2);
  EXPECT_EQ(in->add_buffer(buffers.header(0)), WAVERR_UNPREPARED);
  EXPECT_EQ(in->prepare_header(buffers.header(0)), MMSYSERR_NOERROR);
  buffers.header(0).buffer_length = 4 * 1000;
  EXPECT_EQ(in->add_buffer(buffers.header(0)), MMSYSERR_INVALPARAM);

  EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
  EXPECT_EQ(in->start(), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(in->close(), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(out->close(), MMSYSERR_NOERROR);
  EXPECT_EQ(out->write(buffers.header(1)), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(fixture.open_in(second, 0, stereo16_format(48000), &event), MMSYSERR_NOERROR);
}

// A minute of measurement: every recorded block comes back in order, with its
// event, holding the output block of delay_blocks steps before (the
// converters' delay), and the next block only after the consumer has queued
// the last one again.
TEST(SimulatedFixtureClocks, VirtualTimeRecordsEveryBlockInLockStep)
{
  tstream_rig rig(test_fixture_1(tclock::virtual_time));
  rig.queue_all();
  const int blocks = 2250;
  const auto started = steady::now();
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  for (int b = 0; b < blocks; ++b) {
    ASSERT_TRUE(eventually([&] { return rig.event.try_wait(); })) << "no event for block " << b;
    ASSERT_TRUE(rig.in_buffers.done(b)) << b;
    ASSERT_FALSE(rig.in_buffers.done(b + 1)) << "ran ahead at block " << b;
    ASSERT_FALSE(rig.out_buffers.done(b)) << "played buffer back before its recorded one is queued again";
    const std::int16_t expected = b < delay_blocks ? 0 : tstream_rig::recorded_marker(b - delay_blocks);
    ASSERT_TRUE(rig.in_buffers.holds(b, expected, expected))
        << "block " << b << " holds " << rig.in_buffers.sample(b, 0) << ", expected " << expected;
    rig.in_buffers.header(b).flags.fetch_and(~WHDR_DONE);
    ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(b)), MMSYSERR_NOERROR);
    ASSERT_TRUE(rig.out_buffers.done(b)) << b;
    ASSERT_FALSE(rig.in_buffers.done(b + 1)) << "ran ahead of the output at block " << b;
    rig.out_buffers.header(b).flags.fetch_and(~WHDR_DONE);
    rig.out_buffers.fill(b, tstream_rig::marker(b + ring));
    ASSERT_EQ(rig.out->write(rig.out_buffers.header(b)), MMSYSERR_NOERROR);
  }
  const double elapsed_s = std::chrono::duration<double>(steady::now() - started).count();
  RecordProperty("seconds_for_one_minute", std::to_string(elapsed_s));
}

TEST(SimulatedFixtureClocks, VirtualTimeWaitsForTheConsumerAndNudgesIt)
{
  tstream_rig rig(test_fixture_1(tclock::virtual_time));
  rig.queue_all();
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(0); }));
  ASSERT_TRUE(eventually([&] { return rig.event.try_wait(); }));
  std::this_thread::sleep_for(60ms);
  EXPECT_FALSE(rig.in_buffers.done(1)) << "186 buffers queued, but block 0 is not queued again";
  // A consumer that missed the event (woken before it was ready) hears again.
  EXPECT_TRUE(rig.event.try_wait());
  EXPECT_FALSE(rig.out_buffers.done(0));
  rig.in_buffers.header(0).flags.fetch_and(~WHDR_DONE);
  ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(0)), MMSYSERR_NOERROR);
  EXPECT_TRUE(rig.out_buffers.done(0)) << "the played buffer comes back with the recorded one queued again";
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(rig.in_buffers.done(1)) << "the played buffer is not queued again yet";
  rig.out_buffers.header(0).flags.fetch_and(~WHDR_DONE);
  ASSERT_EQ(rig.out->write(rig.out_buffers.header(0)), MMSYSERR_NOERROR);
  EXPECT_TRUE(eventually([&] { return rig.in_buffers.done(1); }));
}

TEST(SimulatedFixtureClocks, RecordingStartsOnlyWithStart)
{
  for (const tclock clock : {tclock::virtual_time, tclock::real_time}) {
    tstream_rig rig(test_fixture_1(clock));
    rig.queue_all();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(rig.in_buffers.done_count(), 0);
    EXPECT_EQ(rig.out_buffers.done_count(), 0) << "the output plays only while the input records";
    ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(0); }));
    rig.in_buffers.header(0).flags.fetch_and(~WHDR_DONE);
    ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(0)), MMSYSERR_NOERROR);
    EXPECT_TRUE(rig.out_buffers.done(0));
  }
}

TEST(SimulatedFixtureClocks, OutputAlonePlaysOnlyInRealTime)
{
  for (const tclock clock : {tclock::virtual_time, tclock::real_time}) {
    tsimulated_fixture fixture([] { return 0; }, test_fixture_1(clock));
    std::unique_ptr<twave_out> out;
    ASSERT_EQ(fixture.open_out(out, 0, stereo16_format(48000)), MMSYSERR_NOERROR);
    tbuffers buffers(5);
    for (int i = 0; i < 5; ++i) {
      out->prepare_header(buffers.header(i));
      ASSERT_EQ(out->write(buffers.header(i)), MMSYSERR_NOERROR);
    }
    if (clock == tclock::virtual_time) {
      std::this_thread::sleep_for(100ms);
      EXPECT_EQ(buffers.done_count(), 0);
    } else {
      const auto started = steady::now();
      EXPECT_TRUE(eventually([&] { return buffers.done(4); }));
      EXPECT_TRUE(buffers.done(0) && buffers.done(3));
      // Five blocks of 26.7 ms.
      EXPECT_GT(steady::now() - started, 110ms);
    }
    out->close();
  }
}

TEST(SimulatedFixtureClocks, RealTimePacesLikeASoundCard)
{
  tstream_rig rig(test_fixture_1(tclock::real_time));
  rig.queue_all();
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(150ms);
  const auto t0 = steady::now();
  const int n0 = rig.in_buffers.done_count();
  std::this_thread::sleep_until(t0 + 1s);
  const int n1 = rig.in_buffers.done_count();
  const int played = rig.out_buffers.done_count();
  const double rate = (n1 - n0) / std::chrono::duration<double>(steady::now() - t0).count();
  RecordProperty("buffers_per_second", std::to_string(rate));
  EXPECT_NEAR(rate, 37.5, 3.75);
  EXPECT_NEAR(played, n1, 1) << "input and output in lock-step";
  for (int b = 0; b < n1; ++b) {
    const std::int16_t expected = b < delay_blocks ? 0 : tstream_rig::recorded_marker(b - delay_blocks);
    ASSERT_TRUE(rig.in_buffers.holds(b, expected, expected)) << b;
  }
}

TEST(SimulatedFixtureClocks, RealTimeLosesBlocksThatFindNoBuffer)
{
  tstream_rig rig(test_fixture_1(tclock::real_time));
  for (int i = 0; i < ring; ++i) {
    rig.out_buffers.fill(i, tstream_rig::marker(i));
    ASSERT_EQ(rig.out->write(rig.out_buffers.header(i)), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(0)), MMSYSERR_NOERROR);
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(0); }));
  std::this_thread::sleep_for(200ms);  // about seven blocks with nowhere to go
  ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(1)), MMSYSERR_NOERROR);
  ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(1); }));
  // The block recorded into the late buffer holds the one played the
  // converters' delay before it, not the next in line: block k carries
  // 3 (k + 1), and is recorded delay_blocks steps after it was played.
  const std::int16_t value = rig.in_buffers.sample(1, 0);
  EXPECT_TRUE(rig.in_buffers.holds(1, value, value));
  EXPECT_EQ(value % 3, 0);
  const int block = value / 3 - 1;
  EXPECT_GE(block + delay_blocks, 6);
  EXPECT_LT(block, rig.out_buffers.done_count());
}

TEST(SimulatedFixtureClocks, ResetReturnsEveryBufferPromptly)
{
  tstream_rig rig(test_fixture_1(tclock::real_time));
  rig.queue_all();
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(1); }));
  // Returned at all, with every buffer: a reset that waited for blocks the
  // stopped clock no longer makes would hang (how fast a busy machine gets
  // here is not the question).
  auto started = steady::now();
  EXPECT_EQ(rig.in->reset(), MMSYSERR_NOERROR);
  EXPECT_LT(steady::now() - started, 10s);
  EXPECT_EQ(rig.in_buffers.done_count(), ring);
  started = steady::now();
  EXPECT_EQ(rig.out->reset(), MMSYSERR_NOERROR);
  EXPECT_LT(steady::now() - started, 10s);
  EXPECT_EQ(rig.out_buffers.done_count(), ring);

  // Stopped until started again.
  for (int i = 0; i < 3; ++i) {
    rig.in_buffers.header(i).flags.fetch_and(~WHDR_DONE);
    ASSERT_EQ(rig.in->add_buffer(rig.in_buffers.header(i)), MMSYSERR_NOERROR);
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(rig.in_buffers.done(0));
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(eventually([&] { return rig.in_buffers.done(0); }));
}

TEST(SimulatedFixtureClocks, CloseAndDestructionArePrompt)
{
  auto fixture = std::make_unique<tsimulated_fixture>([] { return 0; }, test_fixture_1(tclock::real_time));
  tauto_reset_event event;
  std::unique_ptr<twave_in> in;
  ASSERT_EQ(fixture->open_in(in, 0, stereo16_format(48000), &event), MMSYSERR_NOERROR);
  tbuffers buffers(4);
  for (int i = 0; i < 4; ++i) {
    in->prepare_header(buffers.header(i));
    in->add_buffer(buffers.header(i));
  }
  in->start();
  ASSERT_TRUE(eventually([&] { return buffers.done(0); }));
  auto started = steady::now();
  EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
  EXPECT_LT(steady::now() - started, 10s);  // returns, not how fast
  EXPECT_EQ(buffers.done_count(), 4);
  started = steady::now();
  fixture.reset();
  EXPECT_LT(steady::now() - started, 10s);
}

// The drive is constant, so after the least latency (the converters' delay
// and a block) every block's right channel is exactly the divider's DC ratio
// of whichever model made it.
TEST(SimulatedFixtureConfiguration, ChangesWhileStreamingTakeEffectWholeBlocks)
{
  tfixture_config dut = test_fixture_1(tclock::virtual_time);
  dut.wiring = twiring::measuring_adapter;  // R=1k against 1 kΩ: half
  tfixture_config open = dut;
  open.device_state = tdevice_state::open;
  tstream_rig rig(dut);
  rig.queue_all();
  for (int i = 0; i < ring; ++i) rig.out_buffers.fill(i, 20000);
  std::atomic<bool> configuring{true};
  std::thread configurator([&] {
    for (int n = 0; configuring.load(); ++n) {
      rig.fixture.set_configuration(n % 2 == 0 ? open : dut);
      std::this_thread::sleep_for(1ms);
    }
  });
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  const int steady_from =
      (static_cast<int>(std::lround(fixture_least_latency_seconds * 48000)) + block_frames - 1) / block_frames;
  int halves = 0;
  int wholes = 0;
  const auto take_block = [&](int b) {
    EXPECT_TRUE(eventually([&] { return rig.in_buffers.done(b); })) << b;
    const bool steady_block = b >= steady_from;
    if (steady_block && rig.in_buffers.holds(b, 15000, 7500)) ++halves;
    if (steady_block && rig.in_buffers.holds(b, 15000, 15000)) ++wholes;
    rig.in_buffers.header(b).flags.fetch_and(~WHDR_DONE);
    rig.in->add_buffer(rig.in_buffers.header(b));
    EXPECT_TRUE(rig.out_buffers.done(b)) << b;
    rig.out_buffers.header(b).flags.fetch_and(~WHDR_DONE);
    rig.out->write(rig.out_buffers.header(b));
  };
  // At least 600 blocks, and on until both configurations have been seen:
  // on a busy machine a model may take longer to build than 600 blocks to run.
  int blocks = 0;
  while (blocks < 600 || ((halves == 0 || wholes == 0) && blocks < 60000)) take_block(blocks++);
  configuring = false;
  configurator.join();
  EXPECT_EQ(halves + wholes, blocks - steady_from) << "some block mixed two configurations";
  EXPECT_GT(halves, 0);
  EXPECT_GT(wholes, 0);

  // The reference index is read each block.
  rig.fixture.set_configuration(dut);
  rig.reference_index = 0;
  for (int b = blocks; b < blocks + 3; ++b) take_block(b);
  EXPECT_TRUE(rig.in_buffers.holds(blocks + 2, 15000, 14851)) << rig.in_buffers.sample(blocks + 2, 1);
}

tfixture_config on_adapter(const char* network)
{
  tfixture_config config = test_fixture_1(tclock::virtual_time);
  config.wiring = twiring::measuring_adapter;
  config.dut_network = network;
  return config;
}

constexpr const char* woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)";

// The input reports the selected reference's latency under the model in
// use: a model handed over raises it at once where it is longer, the
// device's taking the model lowers it where shorter, and a new reference
// counts as soon as it is selected.
TEST(SimulatedFixtureConfiguration, TheInputsLatencyFollowsTheModelAndTheReference)
{
  const tfixture_model_ptr long_model = make_fixture_model(on_adapter(woofer));
  ASSERT_GT(fixture_latency_seconds(*long_model, 2), fixture_latency_seconds(*long_model, 0));
  ASSERT_GT(fixture_latency_seconds(*long_model, 0), fixture_least_latency_seconds);
  tstream_rig rig(on_adapter("R=1k"));
  EXPECT_EQ(rig.in->latency_seconds(), fixture_least_latency_seconds);

  // Not started: the device takes no model yet.
  rig.fixture.set_configuration(on_adapter(woofer));
  EXPECT_EQ(rig.in->latency_seconds(), fixture_latency_seconds(*long_model, 2));
  rig.reference_index = 0;
  EXPECT_EQ(rig.in->latency_seconds(), fixture_latency_seconds(*long_model, 0));
  rig.fixture.set_configuration(on_adapter("R=1k"));
  EXPECT_EQ(rig.in->latency_seconds(), fixture_latency_seconds(*long_model, 0)) << "lowered before it works";

  rig.queue_all();
  ASSERT_EQ(rig.in->start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(eventually([&] { return rig.in_buffers.done(0); }));
  EXPECT_EQ(rig.in->latency_seconds(), fixture_least_latency_seconds);
  EXPECT_EQ(rig.in->close(), MMSYSERR_NOERROR);
  EXPECT_EQ(rig.in->latency_seconds(), 0.0);
}

TEST(SimulatedFixtureConfiguration, MalformedNetworkKeepsTheRunningConfiguration)
{
  tfixture_config config;
  config.dut_network = "R=470";
  tsimulated_fixture fixture([] { return 0; }, config);
  tfixture_config bad = config;
  bad.dut_network = "R=470+";
  EXPECT_THROW(fixture.set_configuration(bad), dut_error);
  EXPECT_EQ(fixture.configuration().dut_network, "R=470");
  EXPECT_THROW(tsimulated_fixture([] { return 0; }, bad), dut_error);
}

// The streaming layer reads the device's latency at every use: the worker's
// reads follow a change of circuit made while it streams, through the
// raised latency of the hand-over to the new model's own.
TEST(SimulatedFixtureStreaming, TheWorkerReadsTheLatencyOfTheCircuitInUse)
{
  reset_stream_state();
  const int long_frames =
      static_cast<int>(std::lround(fixture_latency_seconds(*make_fixture_model(on_adapter(woofer)), 0) * 48000));
  const int least_frames = static_cast<int>(std::lround(fixture_least_latency_seconds * 48000));
  tsimulated_fixture fixture([] { return 0; }, on_adapter("R=1k"));
  std::atomic<int> handled{0};
  std::atomic<int> seen{-1};  // by the worker, at its latest block
  set_backend(&fixture);
  set_block_handler([&] {
    while (in_available() >= block_frames) {
      read_input_block();
      write_output_block(block_frames);
      seen.store(latency_frames());
      handled.fetch_add(1);
    }
  });
  stream.in_device_id = 0;
  waveout_open();
  wavein_open();
  // Ten blocks on: whatever was handed over before has been taken.
  const auto seen_after_ten_blocks = [&] {
    const int from = handled.load();
    return eventually([&] { return handled.load() >= from + 10; }) ? seen.load() : -2;
  };
  const int at_first = seen_after_ten_blocks();
  fixture.set_configuration(on_adapter(woofer));
  const int raised = latency_frames();
  const int with_woofer = seen_after_ten_blocks();
  fixture.set_configuration(on_adapter("R=1k"));
  const int with_resistor = seen_after_ten_blocks();
  wavein_close();
  waveout_close();
  reset_stream_state();
  EXPECT_EQ(at_first, least_frames);
  EXPECT_EQ(raised, long_frames);
  EXPECT_EQ(with_woofer, long_frames);
  EXPECT_EQ(with_resistor, least_frames);
}

// Through the streaming layer's own worker: a minute of virtual time, no
// block lost, the output written by the handler coming back exactly
// output_lead_target frames and the converters' delay later.
TEST(SimulatedFixtureStreaming, AMinuteThroughTheStreamingWorker)
{
  reset_stream_state();
  tsimulated_fixture fixture([] { return 2; }, test_fixture_1(tclock::virtual_time));
  std::vector<std::int16_t> recorded;
  recorded.reserve(4000);
  std::atomic<int> handled{0};
  set_backend(&fixture);
  set_block_handler([&] {
    while (in_available() >= block_frames) {
      read_input_block();
      recorded.push_back(static_cast<std::int16_t>(stream.inblock_left[0]));
      stream.outblock_left.fill(4.0 * static_cast<double>(recorded.size()));
      stream.outblock_right.fill(0.0);
      write_output_block(block_frames);
      handled.fetch_add(1);
    }
  });
  stream.in_device_id = 0;
  const auto started = steady::now();
  waveout_open();
  wavein_open();
  const bool finished = eventually([&] { return handled.load() >= 2250; });
  const double elapsed_s = std::chrono::duration<double>(steady::now() - started).count();
  wavein_close();
  waveout_close();
  reset_stream_state();
  ASSERT_TRUE(finished) << handled.load() << " blocks";
  RecordProperty("seconds_for_one_minute", std::to_string(elapsed_s));

  const std::size_t lead_blocks = (output_lead_target + fixture_converter_delay_frames) / block_frames;
  for (std::size_t b = 0; b < lead_blocks; ++b) EXPECT_EQ(recorded[b], 0) << b;
  for (std::size_t b = lead_blocks; b < 2250; ++b) {
    ASSERT_EQ(recorded[b], static_cast<std::int16_t>(3 * (b - lead_blocks + 1))) << "block " << b;
  }
}

}  // namespace
