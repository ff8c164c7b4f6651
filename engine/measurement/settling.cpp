// SPDX-License-Identifier: GPL-3.0-or-later
#include "settling.h"

#include "engine/core/settings.h"

#include "audio/streaming.h"

#include <algorithm>

namespace lcr {

namespace {

bool tone_differs(const tmeasure_tag& a, const tmeasure_tag& b)
{
  return a.freq_index != b.freq_index || a.tone_level != b.tone_level || a.test_mode != b.test_mode ||
         a.multitone != b.multitone || a.analyser_generation != b.analyser_generation;
}

// What changes the recording without changing the tone.
bool input_differs(const tmeasure_tag& a, const tmeasure_tag& b)
{
  return a.ref_index != b.ref_index || a.sample_offset != b.sample_offset || a.swap_channels != b.swap_channels ||
         a.settle_generation != b.settle_generation;
}

}  // namespace

tmeasure_tag current_measure_tag()
{
  tmeasure_tag tag;
  tag.freq_index = settings.freq_index.load();
  tag.ref_index = settings.ref_index.load();
  tag.tone_level = settings.tone_level.load();
  tag.ft_factor = std::clamp(settings.ft_factor.load(), 1, 16);
  tag.avg_count = settings.avg_count.load();
  tag.test_mode = settings.test_mode.load();
  tag.sample_offset = waveio::stream.sample_offset.load();
  tag.swap_channels = waveio::stream.swap_channels.load();
  tag.settle_generation = settings.settle_generation.load();
  tag.multitone = settings.multitone.load();
  tag.analyser_generation = settings.analyser_generation.load();
  return tag;
}

void tsettling::rebuilt(std::int64_t next_block_frame)
{
  settled_from_ = std::max(settled_from_, next_block_frame);
  run_ = 0;
}

void tsettling::block_made(const tmeasure_tag& tag)
{
  if (!last_ || tone_differs(*last_, tag)) {
    settled_from_ = std::max(settled_from_, waveio::latest_write_arrival());
    tone_arrival_before_latency_ = waveio::latest_write_arrival() - waveio::latency_frames();
  }
  if (last_ && input_differs(*last_, tag)) {
    // A set-up that remembers longer may come while a new tone is still on
    // its way: that tone, too, counts only once the new memory has passed.
    const std::int64_t latency = waveio::latency_frames();
    settled_from_ = std::max({settled_from_, waveio::input_position_bound() + latency,
                              tone_arrival_before_latency_ + latency});
  }
  last_ = tag;
}

twindow_verdict tsettling::judge_window(std::int64_t window_start) const
{
  const std::int64_t continuous_from = waveio::continuous_from();
  const std::int64_t steady_from = std::max({settled_from_, waveio::steady_from(), continuous_from});
  return {window_start < continuous_from, window_start >= steady_from};
}

void tsettling::averaged(bool window_settled)
{
  run_ = window_settled ? run_ + 1 : 0;
}

void tsettling::left_out()
{
  run_ = 0;
  after_dropout_ = true;
}

}  // namespace lcr
