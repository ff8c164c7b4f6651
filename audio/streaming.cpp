// SPDX-License-Identifier: GPL-3.0-or-later
#include "streaming.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace waveio {

tstream_state stream;

namespace {

constexpr std::uint32_t buffer_bytes = block_frames * 4;

void prepare_descriptors(tring& ring)
{
  for (int i = 0; i < ring.buffer_count; ++i) {
    twave_header& header = ring.header(i);
    header.data = ring.frame(i, 0);
    header.buffer_length = buffer_bytes;
    header.flags.store(0);
    header.loops = 0;
    header.prepared = false;
  }
}

int wrap(long long position, int length)
{
  const long long wrapped = position % length;
  return static_cast<int>(wrapped < 0 ? wrapped + length : wrapped);
}

// How many frames `ahead` is in front of `behind` around the ring.
int frames_ahead(int ahead, int behind, const tring& ring)
{
  return wrap(static_cast<long long>(ahead) - behind, ring.frames);
}

void update_in_available()
{
  stream.in_available.store(frames_ahead(stream.in_recorded.load(), stream.in_read.load(), stream.in_ring));
}

void update_out_lead()
{
  stream.out_lead.store(frames_ahead(stream.out_write.load(), stream.out_played.load(), stream.out_ring));
}

// Hands the ring's returned buffers back to their device in order, at most
// `cap` of them, starting at `index`; returns the index of the next one.
// `queue_again` gets each buffer with the flags the device returned it with.
template <typename Queue>
int requeue_returned(tring& ring, int index, int cap, Queue queue_again)
{
  for (int i = 0; i < cap; ++i) {
    twave_header& header = ring.header(index);
    if ((header.flags.load(std::memory_order_acquire) & WHDR_DONE) == 0) break;
    const std::uint32_t flags = header.flags.fetch_and(~(WHDR_DONE | WHDR_DROPOUT));
    queue_again(header, flags);
    index = (index + 1) % ring.buffer_count;
  }
  return index;
}

// Buffers from `index` on that the device has returned and the worker has
// not yet queued again.
int returned_ahead(tring& ring, int index)
{
  int count = 0;
  while (count < ring.buffer_count && (ring.header(index).flags.load(std::memory_order_acquire) & WHDR_DONE) != 0) {
    ++count;
    index = (index + 1) % ring.buffer_count;
  }
  return count;
}

void extend_continuity(std::int64_t frame)
{
  stream.continuous_from = std::max(stream.continuous_from, frame);
}

// A buffer came back marked: frames were lost or the output played silence
// or stale data. Whatever is written up to now may come back shifted, so
// the recording is continuous again once what is written from now on has
// come back.
void note_input_dropout()
{
  stream.dropout_count.fetch_add(1);
  const int lead = std::min(frames_ahead(stream.out_write.load(), stream.out_played.load(), stream.out_ring),
                            output_lead_max);
  extend_continuity(input_position_bound() + lead + block_frames + latency_frames());
}

// Where the block written at `lead` frames ahead of the player arrives; a
// block moved because the player had reached the writer is a dropout (but
// not the first since the output opened: its ring was never written).
void note_written_block(int lead, bool moved)
{
  const std::int64_t arrival = input_position_bound() + lead + latency_frames();
  stream.latest_write_arrival = arrival;
  if (!stream.output_written) {
    stream.steady_from = std::max(stream.steady_from, arrival);
  } else if (moved) {
    stream.dropout_count.fetch_add(1);
    extend_continuity(arrival);
  }
  stream.output_written = true;
}

void requeue_input()
{
  int returned = 0;
  int dropouts = 0;
  const int index = requeue_returned(stream.in_ring, stream.in_index.load(), input_requeue_cap,
                                     [&](twave_header& header, std::uint32_t flags) {
                                       ++returned;
                                       if ((flags & WHDR_DROPOUT) != 0) ++dropouts;
                                       stream.in_handle->add_buffer(header);
                                     });
  stream.in_index.store(index);
  stream.in_recorded.store(index * block_frames);
  stream.in_frames_recorded += static_cast<std::int64_t>(returned) * block_frames;
  update_in_available();
  for (int i = 0; i < dropouts; ++i) note_input_dropout();
}

void requeue_output()
{
  const int index = requeue_returned(stream.out_ring, stream.out_index.load(), output_requeue_cap,
                                     [](twave_header& header, std::uint32_t) { stream.out_handle->write(header); });
  stream.out_index.store(index);
  stream.out_played.store(index * block_frames);
  update_out_lead();
}

// A device that has stopped delivering for good no longer runs; the next
// device change opens it again.
void drop_failed_devices()
{
  if (stream.input_running.load() && stream.in_handle && stream.in_handle->failed()) {
    stream.input_running.store(false);
  }
  if (stream.output_running.load() && stream.out_handle && stream.out_handle->failed()) {
    stream.output_running.store(false);
  }
}

void stream_worker()
{
  do {
    stream.wakeup_event->wait();
    drop_failed_devices();
    if (stream.input_running.load()) requeue_input();
    if (stream.output_running.load()) requeue_output();
    if (stream.input_running.load() && stream.output_running.load() && stream.block_handler) {
      stream.block_handler();
    }
    // The device's events for buffers beyond the requeue cap have merged
    // into the one this pass took: come back for them at once, before the
    // device runs out of queued buffers and loses what it records.
    if (stream.input_running.load() && returned_ahead(stream.in_ring, stream.in_index.load()) > 0) {
      stream.wakeup_event->set();
    }
  } while (stream.worker_run.load());
  stream.worker_ended.store(true);
}

void start_worker()
{
  stream.worker_run.store(true);
  stream.worker_ended.store(false);
  stream.worker = std::thread(stream_worker);
}

}  // namespace

void tring::allocate(int count)
{
  buffer_count = count;
  frames = count * block_frames;
  samples = std::make_unique<tsample[]>(static_cast<std::size_t>(frames) * 2);
  headers = std::make_unique<twave_header[]>(static_cast<std::size_t>(count));
}

tsample* tring::frame(int buffer, int frame_in_buffer)
{
  return samples.get() + (static_cast<std::size_t>(buffer) * block_frames + static_cast<std::size_t>(frame_in_buffer)) * 2;
}

twave_format stereo16_format(int rate_hz)
{
  twave_format format;
  format.samples_per_sec = rate_hz;
  format.avg_bytes_per_sec = rate_hz * format.block_align;
  return format;
}

void reset_stream_state()
{
  stream.swap_channels = false;
  stream.sample_offset = 0;
  stream.in_device_id = -1;
  stream.out_device_id = -1;
  stream.backend = nullptr;
  stream.block_handler = nullptr;
  stream.in_handle.reset();
  stream.in_ring = tring{};
  stream.input_running = false;
  stream.in_index = 0;
  stream.in_recorded = 0;
  stream.in_read = 0;
  stream.in_available = 0;
  stream.out_handle.reset();
  stream.out_ring = tring{};
  stream.output_running = false;
  stream.out_index = 0;
  stream.out_played = 0;
  stream.out_write = 0;
  stream.out_lead = 0;
  stream.in_frames_recorded = 0;
  stream.in_frames_taken = 0;
  stream.continuous_from = 0;
  stream.steady_from = 0;
  stream.latest_write_arrival = 0;
  stream.output_written = false;
  stream.dropout_count = 0;
  stream.worker_run = false;
  stream.worker_ended = true;
  stream.wakeup_event.reset();
  stream.inblock_left.fill(0.0);
  stream.inblock_right.fill(0.0);
  stream.outblock_left.fill(0.0);
  stream.outblock_right.fill(0.0);
  stream.carried_sample = 0.0;
  stream.in_device_count = 0;
  stream.out_device_count = 0;
  stream.device_names.clear();
}

void set_backend(twave_backend* backend)
{
  stream.backend = backend;
}

void wake_worker()
{
  if (stream.wakeup_event && stream.worker_run.load()) stream.wakeup_event->set();
}

void set_block_handler(std::function<void()> handler)
{
  stream.block_handler = std::move(handler);
}

void wavein_enum()
{
  stream.device_names.clear();
  stream.in_device_count = stream.backend != nullptr ? stream.backend->in_device_count() : 0;
  for (int id = 0; id < stream.in_device_count; ++id) {
    stream.device_names.push_back(stream.backend->in_device_name(id));
  }
}

void waveout_enum()
{
  stream.device_names.clear();
  stream.out_device_count = stream.backend != nullptr ? stream.backend->out_device_count() : 0;
  for (int id = 0; id < stream.out_device_count; ++id) {
    stream.device_names.push_back(stream.backend->out_device_name(id));
  }
}

std::vector<std::string> listed_device_names()
{
  return stream.device_names;
}

void waveout_open()
{
  if (stream.out_handle) return;
  stream.out_ring.allocate(ring_buffer_count(out_rate));
  prepare_descriptors(stream.out_ring);

  int result = stream.backend != nullptr
                   ? stream.backend->open_out(stream.out_handle, stream.out_device_id.load(), stereo16_format(out_rate))
                   : MMSYSERR_NODRIVER;
  if (stream.out_handle) {
    for (int i = 0; i < stream.out_ring.buffer_count; ++i) {
      result += stream.out_handle->prepare_header(stream.out_ring.header(i));
    }
    for (int i = 0; i < stream.out_ring.buffer_count; ++i) {
      result += stream.out_handle->write(stream.out_ring.header(i));
    }
  } else if (result == MMSYSERR_NOERROR) {
    result = MMSYSERR_INVALHANDLE;
  }
  stream.out_index = 0;
  stream.out_played = 0;
  stream.out_write = output_lead_target % stream.out_ring.frames;
  stream.output_written = false;
  update_out_lead();
  if (result == MMSYSERR_NOERROR) stream.output_running = true;
}

void wavein_open()
{
  if (stream.in_handle) return;
  stream.in_ring.allocate(ring_buffer_count(in_rate));
  prepare_descriptors(stream.in_ring);
  stream.in_index = 0;
  stream.in_read = 0;
  stream.in_recorded = 0;
  update_in_available();
  // The absolute count goes on; what the previous device recorded and the
  // engine did not take is dropped with its ring, and no window spans the
  // change of device.
  stream.in_frames_recorded = stream.in_frames_taken;
  extend_continuity(stream.in_frames_taken);

  if (!stream.wakeup_event) stream.wakeup_event = std::make_unique<tauto_reset_event>();
  if (!stream.worker_run.load()) {
    // A worker that ended on its own (after a close) is joined first.
    if (stream.worker.joinable()) stream.worker.join();
    start_worker();
  }

  int result = MMSYSERR_BADDEVICEID;
  const int device_id = stream.in_device_id.load();
  if (device_id >= 0 && stream.backend != nullptr) {
    result = stream.backend->open_in(stream.in_handle, device_id, stereo16_format(in_rate), stream.wakeup_event.get());
  }
  if (stream.in_handle) {
    for (int i = 0; i < stream.in_ring.buffer_count; ++i) {
      result += stream.in_handle->prepare_header(stream.in_ring.header(i));
    }
    for (int i = 0; i < stream.in_ring.buffer_count; ++i) {
      result += stream.in_handle->add_buffer(stream.in_ring.header(i));
    }
    result += stream.in_handle->start();
  }
  if (result == MMSYSERR_NOERROR) stream.input_running = true;
}

void wavein_close()
{
  stream.input_running = false;
  stream.worker_run = false;
  if (stream.worker.joinable()) {
    // The worker may be waiting for a buffer that never comes: keep waking
    // it until it has seen the cleared flag and ended.
    while (!stream.worker_ended.load()) {
      stream.wakeup_event->set();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stream.worker.join();
  }
  if (stream.in_handle) {
    stream.in_handle->reset();
    for (int i = 0; i < stream.in_ring.buffer_count; ++i) {
      stream.in_handle->unprepare_header(stream.in_ring.header(i));
    }
    stream.in_handle->close();
    stream.in_handle.reset();
    stream.wakeup_event.reset();
  }
}

void waveout_close()
{
  stream.output_running = false;
  if (!stream.out_handle) return;
  stream.out_handle->reset();
  for (int i = 0; i < stream.out_ring.buffer_count; ++i) {
    stream.out_handle->unprepare_header(stream.out_ring.header(i));
  }
  stream.out_handle->close();
  stream.out_handle.reset();
}

topen_streams::topen_streams()
{
  waveout_open();
  wavein_open();
}

topen_streams::~topen_streams()
{
  wavein_close();
  waveout_close();
}

double device_latency_seconds()
{
  return (stream.in_handle ? stream.in_handle->latency_seconds() : 0.0) +
         (stream.out_handle ? stream.out_handle->latency_seconds() : 0.0);
}

int in_available()
{
  return stream.in_available.load();
}

std::int64_t input_frame_position()
{
  return stream.in_frames_taken;
}

std::int64_t input_position_bound()
{
  const int returned = stream.in_ring.buffer_count > 0 ? returned_ahead(stream.in_ring, stream.in_index.load()) : 0;
  return stream.in_frames_recorded + static_cast<std::int64_t>(returned + 1) * block_frames;
}

std::int64_t continuous_from()
{
  return stream.continuous_from;
}

std::int64_t steady_from()
{
  return stream.steady_from;
}

std::int64_t latest_write_arrival()
{
  return stream.latest_write_arrival;
}

int latency_frames()
{
  // Rounded up, but not for a whole number of frames that came out a hair
  // over in seconds.
  constexpr double frame_tolerance = 1e-6;
  return static_cast<int>(std::ceil(device_latency_seconds() * in_rate - frame_tolerance));
}

std::int64_t dropout_count()
{
  return stream.dropout_count.load();
}

void read_input_block()
{
  const bool swap = stream.swap_channels.load();
  tblock& first_channel = swap ? stream.inblock_right : stream.inblock_left;
  tblock& second_channel = swap ? stream.inblock_left : stream.inblock_right;
  const int read = stream.in_read.load();
  int buffer = read / block_frames;
  int frame = read % block_frames;
  for (int i = 0; i < block_frames; ++i) {
    const tsample* samples = stream.in_ring.frame(buffer, frame);
    first_channel[static_cast<std::size_t>(i)] = samples[0].load(std::memory_order_relaxed);
    second_channel[static_cast<std::size_t>(i)] = samples[1].load(std::memory_order_relaxed);
    if (++frame == block_frames) {
      frame = 0;
      buffer = (buffer + 1) % stream.in_ring.buffer_count;
    }
  }
  stream.in_read.store((read + block_frames) % stream.in_ring.frames);
  stream.in_frames_taken += block_frames;
  update_in_available();
}

void delay_input_block()
{
  tblock& delayed = stream.sample_offset.load() == -1 ? stream.inblock_left : stream.inblock_right;
  for (double& sample : delayed) std::swap(sample, stream.carried_sample);
}

std::int16_t output_sample_code(double value)
{
  if (value > 32767.0) return 32767;
  if (!(value >= -32768.0)) return -32768;
  return static_cast<std::int16_t>(std::nearbyint(value));
}

void write_output_block(int count)
{
  if (!stream.output_running.load()) return;
  count = std::clamp(count, 0, block_frames);  // the output blocks hold one block
  // The player's position now: buffers it has returned since the worker
  // last queued them count too, so that a long pass over a backlog notices
  // when the player reaches the write position.
  const int played = (stream.out_played.load() + returned_ahead(stream.out_ring, stream.out_index.load()) * block_frames) %
                     stream.out_ring.frames;
  const int lead = frames_ahead(stream.out_write.load(), played, stream.out_ring);
  const bool moved = lead > output_lead_max || lead < output_lead_min;
  if (moved) stream.out_write.store((played + output_lead_target) % stream.out_ring.frames);
  const int write = stream.out_write.load();
  note_written_block(frames_ahead(write, played, stream.out_ring), moved);
  int buffer = write / block_frames;
  int frame = write % block_frames;
  for (int i = 0; i < count; ++i) {
    const auto source = static_cast<std::size_t>(i);
    tsample* samples = stream.out_ring.frame(buffer, frame);
    samples[0].store(output_sample_code(stream.outblock_left[source]), std::memory_order_relaxed);
    samples[1].store(output_sample_code(stream.outblock_right[source]), std::memory_order_relaxed);
    if (++frame == block_frames) {
      frame = 0;
      buffer = (buffer + 1) % stream.out_ring.buffer_count;
    }
  }
  stream.out_write.store((write + count) % stream.out_ring.frames);
  update_out_lead();
}

}  // namespace waveio
