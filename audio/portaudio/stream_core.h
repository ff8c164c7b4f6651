// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a PortAudio stream's audio callback does with the queued ring
// buffers: an input callback fills them in the order queued, an output
// callback plays them; a filled or played buffer goes back with WHDR_DONE.
// Input with no buffer queued is lost, an empty output queue plays silence.
//
// A stream that was not continuous marks the input buffer being filled at
// that moment with WHDR_DROPOUT: PortAudio's overflow and underflow flags
// (JACK reports its xruns through them), frames lost for want of a queued
// buffer, and silence the output played for want of one. The input and the
// output are separate streams, so the output's dropouts reach the input
// through a counter both share.
//
// Audio callback only (or, once the stream has stopped, the thread that
// stopped it): nothing here locks, allocates or blocks.

#include "header_queue.h"

#include "audio/wave_backend.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace waveio {

// Counts the output's dropouts; shared by a device family's streams.
using tdropout_counter = std::atomic<std::uint64_t>;

struct tstream_core {
  // More slots than a ring has buffers, so a full ring always fits.
  static constexpr std::size_t queue_capacity = 1024;

  tstream_core(bool input, tauto_reset_event* wake, std::shared_ptr<tdropout_counter> output_dropouts)
      : is_input(input), event(wake), output_dropouts(std::move(output_dropouts)),
        output_dropouts_seen(this->output_dropouts ? this->output_dropouts->load() : 0)
  {
  }

  const bool is_input;
  tauto_reset_event* const event;
  const std::shared_ptr<tdropout_counter> output_dropouts;
  theader_queue queue{queue_capacity};
  twave_header* current = nullptr;  // the audio callback's, or reset's once stopped
  std::uint32_t current_frame = 0;
  std::uint64_t output_dropouts_seen;  // input: the counter when last looked at
  bool dropout_pending = false;        // input: the buffer being filled goes back marked
  std::atomic<std::uint64_t> callbacks{0};
  std::atomic<bool> stopping{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> failed{false};

  void mark_failed()
  {
    if (failed.exchange(true)) return;
    if (event != nullptr) event->set();
  }
};

// Moves one callback's frames between the stream and the queued buffers.
// `samples` are interleaved stereo; an input without data records silence.
// `discontinuous`: PortAudio reported an overflow or underflow of this
// direction for these frames.
void record_frames(tstream_core& core, const std::int16_t* samples, unsigned long frame_count, bool discontinuous);
void play_frames(tstream_core& core, std::int16_t* samples, unsigned long frame_count, bool discontinuous);

}  // namespace waveio
