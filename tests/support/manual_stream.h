// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Streaming without devices or threads: the test records blocks straight
// into the input ring (run_block also plays one output block for each) and
// calls the engine itself, so every step of the block loop is deterministic.

#include "audio/streaming.h"
#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <utility>

namespace quarvel_test {

class manual_stream {
public:
  // Stream frame index → (left, right) in sample units (rounded and clipped
  // like a 16-bit converter).
  using signal = std::function<std::pair<double, double>(std::int64_t)>;

  manual_stream()
  {
    waveio::reset_stream_state();
    waveio::stream.in_ring.allocate(waveio::N_in);
    waveio::stream.out_ring.allocate(waveio::N_out);
    waveio::stream.out_write = waveio::output_lead_target;
    waveio::stream.out_lead = waveio::output_lead_target;
    waveio::stream.output_running = true;
  }
  ~manual_stream() { waveio::reset_stream_state(); }
  manual_stream(const manual_stream&) = delete;
  manual_stream& operator=(const manual_stream&) = delete;

  void record_block(const signal& source)
  {
    const int start = waveio::stream.in_recorded.load();
    for (int i = 0; i < waveio::block_frames; ++i) {
      const auto [left, right] = source(frames_recorded_ + i);
      waveio::tsample* samples = waveio::stream.in_ring.frame(0, 0) + 2 * static_cast<std::ptrdiff_t>(start + i);
      samples[0].store(waveio::output_sample_code(left));
      samples[1].store(waveio::output_sample_code(right));
    }
    frames_recorded_ += waveio::block_frames;
    waveio::stream.in_frames_recorded += waveio::block_frames;
    const int ring = waveio::stream.in_ring.frames;
    waveio::stream.in_recorded = (start + waveio::block_frames) % ring;
    waveio::stream.in_available = (waveio::stream.in_recorded - waveio::stream.in_read + ring) % ring;
  }

  // The output plays in step with the input, as a card's two directions do.
  void play_block()
  {
    const int ring = waveio::stream.out_ring.frames;
    waveio::stream.out_index = (waveio::stream.out_index + 1) % waveio::stream.out_ring.buffer_count;
    waveio::stream.out_played = waveio::stream.out_index * waveio::block_frames;
    waveio::stream.out_lead = (waveio::stream.out_write - waveio::stream.out_played + ring) % ring;
  }

  // Records one block, plays one, and lets the engine take it.
  void run_block(const signal& source)
  {
    record_block(source);
    play_block();
    lcr::process_recorded_blocks();
  }

  void run_blocks(int count, const signal& source)
  {
    for (int i = 0; i < count; ++i) run_block(source);
  }

  std::int64_t frames_recorded() const { return frames_recorded_; }

private:
  std::int64_t frames_recorded_ = 0;
};

// Left a·cos, right b·a·cos with the complex ratio b, at frequency f.
inline manual_stream::signal tone_pair(double frequency_hz, double amplitude, double ratio_re, double ratio_im)
{
  return [=](std::int64_t frame) {
    const double angle = 2.0 * 3.14159265358979323846 * frequency_hz * static_cast<double>(frame) / 48000.0;
    const double left = amplitude * std::cos(angle);
    const double right = amplitude * (ratio_re * std::cos(angle) - ratio_im * std::sin(angle));
    return std::pair{left, right};
  };
}

}  // namespace quarvel_test
