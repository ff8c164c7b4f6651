// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream_core.h"

#include <algorithm>

namespace waveio {

namespace {

// The current buffer, or the next queued one.
twave_header* current_buffer(tstream_core& core)
{
  if (core.current == nullptr) {
    core.current = core.queue.pop();
    core.current_frame = 0;
  }
  return core.current;
}

void finish_current_buffer(tstream_core& core)
{
  if (core.dropout_pending) {
    core.current->flags.fetch_or(WHDR_DROPOUT, std::memory_order_relaxed);
    core.dropout_pending = false;
  }
  core.current->flags.fetch_or(WHDR_DONE, std::memory_order_release);
  core.current = nullptr;
  if (core.is_input && core.event != nullptr) core.event->set();
}

// The output's dropouts since the input last looked count as the input's.
void take_output_dropouts(tstream_core& core)
{
  if (!core.output_dropouts) return;
  const std::uint64_t count = core.output_dropouts->load(std::memory_order_relaxed);
  if (count != core.output_dropouts_seen) core.dropout_pending = true;
  core.output_dropouts_seen = count;
}

}  // namespace

void record_frames(tstream_core& core, const std::int16_t* samples, unsigned long frame_count, bool discontinuous)
{
  if (discontinuous) core.dropout_pending = true;
  take_output_dropouts(core);
  unsigned long done = 0;
  while (done < frame_count) {
    twave_header* header = current_buffer(core);
    if (header == nullptr) {
      core.dropout_pending = true;  // nothing queued: the rest is lost
      return;
    }
    const auto count = std::min<unsigned long>(frame_count - done, header->frames() - core.current_frame);
    tsample* target = header->data + 2 * static_cast<std::size_t>(core.current_frame);
    for (unsigned long i = 0; i < 2 * count; ++i) {
      target[i].store(samples != nullptr ? samples[2 * done + i] : std::int16_t{0}, std::memory_order_relaxed);
    }
    done += count;
    core.current_frame += static_cast<std::uint32_t>(count);
    if (core.current_frame == header->frames()) finish_current_buffer(core);
  }
}

void play_frames(tstream_core& core, std::int16_t* samples, unsigned long frame_count, bool discontinuous)
{
  const auto count_dropout = [&core] {
    if (core.output_dropouts) core.output_dropouts->fetch_add(1, std::memory_order_relaxed);
  };
  if (discontinuous) count_dropout();
  unsigned long done = 0;
  while (done < frame_count) {
    twave_header* header = current_buffer(core);
    if (header == nullptr) {
      std::fill(samples + 2 * done, samples + 2 * frame_count, std::int16_t{0});
      count_dropout();
      return;
    }
    const auto count = std::min<unsigned long>(frame_count - done, header->frames() - core.current_frame);
    const tsample* source = header->data + 2 * static_cast<std::size_t>(core.current_frame);
    for (unsigned long i = 0; i < 2 * count; ++i) samples[2 * done + i] = source[i].load(std::memory_order_relaxed);
    done += count;
    core.current_frame += static_cast<std::uint32_t>(count);
    if (core.current_frame == header->frames()) finish_current_buffer(core);
  }
}

}  // namespace waveio
