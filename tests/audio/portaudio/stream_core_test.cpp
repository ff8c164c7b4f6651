// SPDX-License-Identifier: GPL-3.0-or-later
// What the PortAudio callbacks do with the queued buffers, without a sound
// server: frames go into the buffers in order, a full buffer comes back
// done, and every way the stream can be interrupted marks the input buffer
// being filled at that moment as a dropout.

#include "audio/portaudio/stream_core.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using waveio::tstream_core;
using waveio::twave_header;

constexpr std::uint32_t frames = 8;  // a short buffer keeps the cases readable

class StreamCore : public ::testing::Test {
protected:
  StreamCore()
  {
    for (std::size_t i = 0; i < headers.size(); ++i) {
      headers[i].data = samples[i].data();
      headers[i].buffer_length = frames * 4;
      headers[i].prepared = true;
    }
  }

  void queue(tstream_core& core, std::size_t buffer) { ASSERT_TRUE(core.queue.push(&headers[buffer])); }

  std::uint32_t flags(std::size_t buffer) const { return headers[buffer].flags.load(); }

  std::array<std::array<waveio::tsample, 2 * frames>, 3> samples{};
  std::array<twave_header, 3> headers{};
  std::shared_ptr<waveio::tdropout_counter> output_dropouts = std::make_shared<waveio::tdropout_counter>(0);
  std::vector<std::int16_t> played = std::vector<std::int16_t>(2 * frames, 7);
  std::vector<std::int16_t> recorded = std::vector<std::int16_t>(2 * frames, 3);
};

TEST_F(StreamCore, AContinuousStreamFillsTheBuffersInOrderUnmarked)
{
  tstream_core input(true, nullptr, output_dropouts);
  queue(input, 0);
  queue(input, 1);
  waveio::record_frames(input, recorded.data(), frames / 2, false);
  EXPECT_EQ(flags(0), 0u);  // half full
  waveio::record_frames(input, recorded.data(), frames, false);
  EXPECT_EQ(flags(0), waveio::WHDR_DONE);
  EXPECT_EQ(flags(1), 0u);
  EXPECT_EQ(headers[1].data[0].load(), 3);
}

TEST_F(StreamCore, EveryInterruptionMarksTheInputBufferBeingFilled)
{
  // PortAudio reports an overflow (JACK: an xrun) while buffer 0 fills.
  {
    tstream_core input(true, nullptr, output_dropouts);
    queue(input, 0);
    queue(input, 1);
    waveio::record_frames(input, recorded.data(), frames / 2, true);
    waveio::record_frames(input, recorded.data(), frames, false);
    EXPECT_EQ(flags(0), waveio::WHDR_DONE | waveio::WHDR_DROPOUT);
    waveio::record_frames(input, recorded.data(), frames / 2, false);
    EXPECT_EQ(flags(1), waveio::WHDR_DONE);  // the next one is clean again
  }
  for (auto& header : headers) header.flags = 0;

  // Frames arrive with no buffer queued: lost; the next buffer says so.
  {
    tstream_core input(true, nullptr, output_dropouts);
    waveio::record_frames(input, recorded.data(), frames, false);
    queue(input, 2);
    waveio::record_frames(input, recorded.data(), frames, false);
    EXPECT_EQ(flags(2), waveio::WHDR_DONE | waveio::WHDR_DROPOUT);
  }
  for (auto& header : headers) header.flags = 0;

  // The output, a stream of its own, underflows or runs out of queued
  // buffers: the input marks the buffer it fills next.
  {
    tstream_core input(true, nullptr, output_dropouts);
    tstream_core output(false, nullptr, output_dropouts);
    queue(input, 0);
    queue(input, 1);
    queue(output, 2);
    waveio::play_frames(output, played.data(), frames / 2, false);
    waveio::record_frames(input, recorded.data(), frames, false);
    EXPECT_EQ(flags(0), waveio::WHDR_DONE);  // nothing wrong yet
    waveio::play_frames(output, played.data(), frames, false);  // the queue runs dry half way
    EXPECT_EQ(played[frames], 0);                                // silence played
    EXPECT_EQ(output_dropouts->load(), 1u);
    waveio::record_frames(input, recorded.data(), frames, false);
    EXPECT_EQ(flags(1), waveio::WHDR_DONE | waveio::WHDR_DROPOUT);
    waveio::play_frames(output, played.data(), frames, true);  // PortAudio's own underflow flag
    EXPECT_EQ(output_dropouts->load(), 3u);                       // that one, and still nothing queued
  }
}

// Dropouts of the output before the input was opened are not the input's.
TEST_F(StreamCore, AnInputCountsOnlyTheOutputsDropoutsSinceItOpened)
{
  output_dropouts->store(5);
  tstream_core input(true, nullptr, output_dropouts);
  queue(input, 0);
  waveio::record_frames(input, recorded.data(), frames, false);
  EXPECT_EQ(flags(0), waveio::WHDR_DONE);
}

}  // namespace
