// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulated_device.h"

#include <algorithm>

namespace waveio {

namespace {

using tclock_time = std::chrono::steady_clock::time_point;

constexpr std::uint32_t block_bytes = block_frames * 4;
// Virtual time: buffers not queued again within this time get the input's
// event set again, in case the worker woke before it was ready to take them.
constexpr auto nudge_interval = std::chrono::milliseconds(20);
// Real time: a device this far behind its schedule (a stalled machine) starts
// a new schedule rather than catching up in a burst.
constexpr int late_limit_blocks = 8;

// Start of a block after the origin: 1280 frames at 48 kHz are 80/3 ms.
std::chrono::nanoseconds block_start(long long block)
{
  static_assert(block_frames * 1'000'000'000LL == 80'000'000LL * 48'000 / 3);
  return std::chrono::nanoseconds(block * 80'000'000LL / 3);
}

int check_queueable(const twave_header& header)
{
  if (!header.prepared) return WAVERR_UNPREPARED;
  if (header.data == nullptr || header.buffer_length != block_bytes) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

}  // namespace

tsimulated_device::tsimulated_device(std::function<int()> reference_index, const tfixture_config& config,
                                     tdevice_thread_seam seam)
    : reference_source_(std::move(reference_index)),
      seam_(std::move(seam)),
      path_(make_fixture_model(config)),
      config_(config),
      clock_(config.clock),
      capture_volume_(simulated_capture_unity),
      playback_volume_(simulated_playback_unity)
{
  set_latencies(path_.model());
  thread_ = std::thread([this] { run(); });
}

tsimulated_device::~tsimulated_device()
{
  quit_.store(true);
  wake_.notify();
  if (seam_.stop_signalled) seam_.stop_signalled();
  thread_.join();
}

void tsimulated_device::set_configuration(const tfixture_config& config)
{
  const std::lock_guard configuring(configure_mutex_);
  tfixture_model_ptr model = make_fixture_model(config);
  tfixture_model_ptr retired;
  {
    const std::lock_guard handing_over(handover_mutex_);
    raise_latencies(*model);
    retired = std::move(retired_);
    std::swap(model, pending_);  // a pending model never taken is dropped with `model`
  }
  config_ = config;
  clock_.store(config.clock);
  wake_.notify();
}

tfixture_config tsimulated_device::configuration() const
{
  const std::lock_guard configuring(configure_mutex_);
  return config_;
}

// The device thread: sleeps until the next block is due under the current
// clock, or until an operation changes the state. The wake word is read
// before the stop flag is tested: a stop signalled after the read moves the
// word on, so the wait below returns at once instead of sleeping through
// the only wake-up the destructor sends.
void tsimulated_device::run()
{
  for (;;) {
    const int seen = wake_.value();
    if (seam_.before_stop_test) seam_.before_stop_test();
    if (quit_.load()) return;
    const tnext next = clock_.load() == tclock::virtual_time ? virtual_step() : real_time_step();
    if (!next.at_once) wake_.wait(seen, next.until);
  }
}

tsimulated_device::tnext tsimulated_device::virtual_step()
{
  scheduled_ = false;
  if (!recording()) return {};
  if (consumer_behind()) {
    const tclock_time now = std::chrono::steady_clock::now();
    if (now - last_return_ >= nudge_interval) {
      nudge_consumer();
      last_return_ = now;
    }
    return {false, last_return_ + nudge_interval};
  }
  if (in_.queued.load() <= 0) return {};
  run_block();
  return {true, std::nullopt};
}

// Under the same protocol as a block: a close that has raised the input's
// draining flag waits for busy_ to fall, and deletes the event only then.
void tsimulated_device::nudge_consumer()
{
  busy_.store(true);
  if (!in_.draining.load()) {
    if (tauto_reset_event* event = event_.load()) event->set();
  }
  busy_.store(false);
}

tsimulated_device::tnext tsimulated_device::real_time_step()
{
  if (!real_time_active()) {
    scheduled_ = false;
    return {};
  }
  const tclock_time now = std::chrono::steady_clock::now();
  if (!scheduled_) {
    scheduled_ = true;
    origin_ = now;
    blocks_done_ = 0;
  }
  const tclock_time due = origin_ + block_start(blocks_done_ + 1);
  if (now < due) return {false, due};
  run_block();
  ++blocks_done_;
  if (now - due > block_start(late_limit_blocks)) {
    // A card would have lost what a stall this long did not record.
    scheduled_ = false;
    dropout_pending_ = true;
  }
  return {true, std::nullopt};
}

bool tsimulated_device::recording() const
{
  return in_.open.load() && in_.started.load() && !in_.draining.load();
}

// An output opened alone plays through its queue in real time.
bool tsimulated_device::real_time_active() const
{
  return recording() || (out_.open.load() && !in_.open.load());
}

void tsimulated_device::run_block()
{
  // Resets and closes wait for busy_ to fall after raising their direction's
  // draining flag; both sequentially consistent, so either the block sees the
  // flag or the reset sees the block.
  busy_.store(true);
  adopt_pending_model();
  const bool record = recording();
  if (record || !in_.open.load()) {
    const std::int64_t block = blocks_recorded_.load();
    if (record) stall_if_due(block);
    twave_header* played = play_next_output(record, block);
    return_buffers(played, record ? record_block(block) : nullptr);
    if (record) blocks_recorded_.store(block + 1);
  }
  busy_.store(false);
}

// A stalled clock: for that many blocks the card neither plays nor records,
// while the circuit goes on and sees silence.
void tsimulated_device::stall_if_due(std::int64_t block)
{
  if (stall_at_.load() != block) return;
  played_.fill(0);
  for (int i = stall_blocks_.load(); i > 0; --i) path_.process(played_, reference_index(), recorded_);
  dropout_pending_ = true;
}

void tsimulated_device::inject_fault(tfixture_fault fault, std::int64_t at_block, int length)
{
  switch (fault) {
    case tfixture_fault::drop_input_block: drop_input_at_.store(at_block); break;
    case tfixture_fault::skip_output_block: skip_output_at_.store(at_block); break;
    case tfixture_fault::stall_clock:
      stall_blocks_.store(std::max(length, 0));
      stall_at_.store(at_block);
      break;
  }
  wake_.notify();
}

void tsimulated_device::adopt_pending_model()
{
  const std::unique_lock handing_over(handover_mutex_, std::try_to_lock);
  // A busy lock or an unreclaimed retired model: keep the current model and
  // look again next block. Swapping pointers neither allocates nor frees.
  if (!handing_over.owns_lock() || !pending_ || retired_) return;
  set_latencies(*pending_);
  retired_ = path_.exchange_model(std::move(pending_));
}

// The configuring thread, under handover_mutex_: before the model can be taken.
void tsimulated_device::raise_latencies(const tfixture_model& model)
{
  for (int r = 0; r < reference_count; ++r) {
    std::atomic<double>& latency = latency_seconds_[static_cast<std::size_t>(r)];
    latency.store(std::max(latency.load(), fixture_latency_seconds(model, r)));
  }
}

// The device thread under handover_mutex_, or the constructor.
void tsimulated_device::set_latencies(const tfixture_model& model)
{
  for (int r = 0; r < reference_count; ++r)
    latency_seconds_[static_cast<std::size_t>(r)].store(fixture_latency_seconds(model, r));
}

// The reference the device reads at its next block, read here too: a new
// one's latency is seen as soon as the engine can see the reference change.
double tsimulated_device::latency_seconds() const
{
  return latency_seconds_[static_cast<std::size_t>(reference_index())].load();
}

twave_header* tsimulated_device::play_next_output(bool recording, std::int64_t block)
{
  const bool playing = out_.open.load() && !out_.draining.load();
  twave_header* header = playing ? out_.pop() : nullptr;
  const bool skipped = header != nullptr && skip_output_at_.load() == block;
  if (header == nullptr || skipped) {
    played_.fill(0);
    // An underrun while recording: the recording holds silence where the
    // tone belonged.
    if (playing && recording) dropout_pending_ = true;
  } else {
    for (std::size_t i = 0; i < played_.size(); ++i)
      played_[i] = header->data[i].load(std::memory_order_relaxed);
  }
  return header;
}

// Fills the next queued input buffer, without returning it yet.
twave_header* tsimulated_device::record_block(std::int64_t block)
{
  const double capture_gain = static_cast<double>(capture_volume_.load()) / simulated_capture_unity;
  const double playback_gain = static_cast<double>(playback_volume_.load()) / simulated_playback_unity;
  path_.process(played_, reference_index(), recorded_, capture_gain, playback_gain);
  // Real time with no buffer queued, or a dropped block: the block is lost.
  twave_header* header = drop_input_at_.load() == block ? nullptr : in_.pop();
  if (header == nullptr) {
    dropout_pending_ = true;
    return nullptr;
  }
  for (std::size_t i = 0; i < recorded_.left.size(); ++i) {
    header->data[2 * i].store(quantise_sample(recorded_.left[i]), std::memory_order_relaxed);
    header->data[2 * i + 1].store(quantise_sample(recorded_.right[i]), std::memory_order_relaxed);
  }
  if (dropout_pending_) {
    header->flags.fetch_or(WHDR_DROPOUT);
    dropout_pending_ = false;
  }
  return header;
}

// In virtual time the played buffer comes back only when the recorded one is
// queued again, and the next block waits until both are queued again. The
// worker queues inputs before outputs, so neither of its requeue loops can
// pick up a further block: it gets exactly one block per wake-up, and its
// output writes keep their lead on the play position.
void tsimulated_device::return_buffers(twave_header* played, twave_header* recorded)
{
  if (played != nullptr) {
    if (recorded != nullptr && clock_.load() == tclock::virtual_time) {
      out_.held.store(played);
    } else {
      out_.give_back(*played);
    }
  }
  if (recorded == nullptr) {
    // A lost block: the worker still takes the played buffer back at once.
    if (played != nullptr && clock_.load() == tclock::virtual_time) {
      if (tauto_reset_event* event = event_.load()) event->set();
    }
    return;
  }
  in_.give_back(*recorded);
  last_return_ = std::chrono::steady_clock::now();
  if (tauto_reset_event* event = event_.load()) event->set();
}

// Read in the order the requeue writes in reverse: an input seen queued again
// implies its held output seen returned.
bool tsimulated_device::consumer_behind() const
{
  return in_.outstanding.load() > 0 || out_.held.load() != nullptr || out_.outstanding.load() > 0;
}

int tsimulated_device::reference_index() const
{
  return reference_source_ ? std::clamp(reference_source_(), 0, reference_count - 1) : 0;
}

void tsimulated_device::set_mixer_volume(tmixer_target side, std::uint32_t value)
{
  (side == tmixer_target::wave_in ? capture_volume_ : playback_volume_).store(std::min<std::uint32_t>(value, 65535));
}

std::uint32_t tsimulated_device::mixer_volume(tmixer_target side) const
{
  return (side == tmixer_target::wave_in ? capture_volume_ : playback_volume_).load();
}

int tsimulated_device::open_input(tauto_reset_event* event)
{
  if (in_.open.load()) return MMSYSERR_ERROR;
  event_.store(event);
  in_.started.store(false);
  in_.outstanding.store(0);
  in_.open.store(true);
  wake_.notify();
  return MMSYSERR_NOERROR;
}

int tsimulated_device::add_input_buffer(twave_header& header)
{
  if (const int error = check_queueable(header)) return error;
  header.flags.fetch_and(~WHDR_DONE);
  if (!in_.push(header)) return MMSYSERR_ERROR;
  out_.release_held();
  in_.requeued();
  wake_.notify();
  return MMSYSERR_NOERROR;
}

int tsimulated_device::start_input()
{
  in_.started.store(true);
  wake_.notify();
  return MMSYSERR_NOERROR;
}

void tsimulated_device::keep_device_out(tfixture_direction& direction)
{
  direction.draining.store(true);
  while (busy_.load()) std::this_thread::yield();  // at most one block's computation
}

int tsimulated_device::drain(tfixture_direction& direction)
{
  int returned = 0;
  while (twave_header* header = direction.pop()) {
    header->flags.fetch_or(WHDR_DONE, std::memory_order_release);
    ++returned;
  }
  return returned;
}

void tsimulated_device::stop_input(bool closing)
{
  keep_device_out(in_);
  in_.started.store(false);
  const int returned = drain(in_);
  in_.outstanding.store(0);
  out_.release_held();
  if (returned > 0) {
    if (tauto_reset_event* event = event_.load()) event->set();
  }
  if (closing) {
    in_.open.store(false);
    event_.store(nullptr);
  }
  in_.draining.store(false);
  wake_.notify();
}

int tsimulated_device::open_output()
{
  if (out_.open.load()) return MMSYSERR_ERROR;
  out_.outstanding.store(0);
  out_.open.store(true);
  wake_.notify();
  return MMSYSERR_NOERROR;
}

int tsimulated_device::write_output(twave_header& header)
{
  if (const int error = check_queueable(header)) return error;
  header.flags.fetch_and(~WHDR_DONE);
  if (!out_.push(header)) return MMSYSERR_ERROR;
  out_.requeued();
  wake_.notify();
  return MMSYSERR_NOERROR;
}

void tsimulated_device::stop_output(bool closing)
{
  keep_device_out(out_);
  out_.release_held();
  drain(out_);
  out_.outstanding.store(0);
  if (closing) out_.open.store(false);
  out_.draining.store(false);
  wake_.notify();
}

}  // namespace waveio
