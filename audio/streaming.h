// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Duplex streaming between the sound devices and the measurement engine.
//
// Each direction streams through a ring of N fixed buffers of 1280 frames
// (N = rate × 5 div 1280: just under five seconds). A worker thread, woken by
// the input device for every filled buffer, queues each returned buffer again
// at once and, while both directions run, calls the registered block handler
// (the engine's per-block entry). The rings are the queues between device and
// engine: recorded data are read out of buffers that are already queued
// again, and the tone is written into queued output buffers ahead of the play
// position.
//
// Threads: listing, opening, closing and the settings belong to the window's
// thread (or the command-line meter's main thread); the block operations and
// the handler run on the worker only. Ring positions are written by the
// worker (and by the open operations while it does not run).

#include "auto_reset_event.h"
#include "wave_backend.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace waveio {

inline constexpr int block_frames = 1280;
inline constexpr int in_rate = 48000;
inline constexpr int out_rate = 48000;
inline constexpr int ring_seconds = 5;
inline constexpr int output_lead_target = 12800;
inline constexpr int output_lead_min = 10000;
inline constexpr int output_lead_max = 40000;
inline constexpr int input_requeue_cap = 5;
inline constexpr int output_requeue_cap = 100;

// Buffers per ring for a rate: rate × 5 div 1280 (187 at 48 kHz).
constexpr int ring_buffer_count(int rate_hz)
{
  return rate_hz * ring_seconds / block_frames;
}

// One direction's ring of buffers and descriptors.
struct tring {
  std::unique_ptr<tsample[]> samples;  // buffer_count × block_frames × 2
  std::unique_ptr<twave_header[]> headers;
  int buffer_count = 0;  // N
  int frames = 0;        // L = N × block_frames

  void allocate(int count);
  twave_header& header(int index) { return headers[static_cast<std::size_t>(index)]; }
  tsample* frame(int buffer, int frame_in_buffer);
};

using tblock = std::array<double, block_frames>;

struct tstream_state {
  // Settings, written by the window's thread at any time.
  std::atomic<bool> swap_channels{false};
  std::atomic<int> sample_offset{0};   // −1, 0, +1 (−2: no list selection, acts as +1)
  std::atomic<int> in_device_id{-1};   // −1: none
  std::atomic<int> out_device_id{-1};  // −1: WAVE_MAPPER

  twave_backend* backend = nullptr;    // not owned
  std::function<void()> block_handler; // the engine's per-block entry

  // Input direction.
  std::unique_ptr<twave_in> in_handle;
  tring in_ring;
  std::atomic<bool> input_running{false};
  std::atomic<int> in_index{0};
  std::atomic<int> in_recorded{0};
  std::atomic<int> in_read{0};
  std::atomic<int> in_available{0};

  // Output direction.
  std::unique_ptr<twave_out> out_handle;
  tring out_ring;
  std::atomic<bool> output_running{false};
  std::atomic<int> out_index{0};
  std::atomic<int> out_played{0};
  std::atomic<int> out_write{0};
  std::atomic<int> out_lead{0};

  // Continuity, in absolute input frames counted from the first input
  // opened on (they go on counting across a change of device). Worker only
  // (and the open operations while it does not run), but the count.
  std::int64_t in_frames_recorded = 0;  // frames the input device has returned
  std::int64_t in_frames_taken = 0;     // frame of the next block read_input_block delivers
  std::int64_t continuous_from = 0;     // no dropout touches the recording from here on
  std::int64_t steady_from = 0;         // the output's first block since it opened arrives here
  std::int64_t latest_write_arrival = 0;  // the latest written block's first frame arrives here at the latest
  bool output_written = false;          // a block was written since the output opened
  std::atomic<std::int64_t> dropout_count{0};  // dropouts seen since program start

  // Worker.
  std::atomic<bool> worker_run{false};
  std::atomic<bool> worker_ended{true};
  std::thread worker;
  std::unique_ptr<tauto_reset_event> wakeup_event;

  // Blocks exchanged with the engine (worker thread only).
  tblock inblock_left{};
  tblock inblock_right{};
  tblock outblock_left{};
  tblock outblock_right{};
  double carried_sample = 0.0;

  // Device list of the last listing; both listings write from entry 0.
  int in_device_count = 0;
  int out_device_count = 0;
  std::vector<std::string> device_names;
};

// The one instance.
extern tstream_state stream;

// Program-start state; requires both directions closed.
void reset_stream_state();

// The device family that the listings and open operations use, and the
// worker's block handler. Set before opening.
void set_backend(twave_backend* backend);
void set_block_handler(std::function<void()> handler);

// Wakes the worker as a returned buffer would; with nothing to take it only
// looks and sleeps again. For a caller that waits for progress that does
// not come, in case a wake-up was lost. While the input is open.
void wake_worker();

void wavein_enum();
void waveout_enum();
// Copies of the names of the last listing.
std::vector<std::string> listed_device_names();

void waveout_open();
void wavein_open();
// Stops the worker and closes the input; always returns.
void wavein_close();
// Closes the output. Call after wavein_close: the worker services the output
// ring while it runs.
void waveout_close();

// Holds both directions open: opens the output, then the input (which
// starts the worker), and closes them in the opposite order when it goes out
// of scope, so that an early return, an exception or a failed test
// assertion never leaves the worker running at the end of the process.
// Whether the devices run is told by `stream.input_running` and
// `stream.output_running`, as after the open operations.
class topen_streams {
public:
  topen_streams();
  ~topen_streams();
  topen_streams(const topen_streams&) = delete;
  topen_streams& operator=(const topen_streams&) = delete;
};

// The open devices' own latency now, input and output together (0 for a
// closed direction). A device's may change while it runs (the simulated
// set-up's follows its circuit), so it is read at every use. The window's
// thread, or the worker while it runs: the handles stay while it runs.
double device_latency_seconds();

// Worker thread: the engine's block operations.
int in_available();
void read_input_block();
void delay_input_block();
void write_output_block(int count);

// Worker thread: where the engine's blocks lie in the stream, as absolute
// input frames (see tstream_state).
//
// A block the engine writes now reaches the input at the earliest frame
// that the device records after it has played it: the record position now,
// plus the output's lead, plus the devices' latency. The positions are
// known to a buffer only, so each bound errs towards later.
//
// The frame of the next block read_input_block delivers.
std::int64_t input_frame_position();
// The device's record position now, at the latest: what it has returned,
// also beyond the requeue cap, and the buffer it is filling.
std::int64_t input_position_bound();
// The frame from which the recording is continuous: a window that starts
// earlier may span a dropout (a lost input block, silence or stale data
// played) or its effect.
std::int64_t continuous_from();
// The frame from which the recording holds what the output has played
// since it opened (before it: silence, or the other device).
std::int64_t steady_from();
// The frame by which the first frame of the latest block written has been
// recorded.
std::int64_t latest_write_arrival();
// device_latency_seconds() in whole frames; also for the window's thread.
int latency_frames();

// Dropouts seen since program start: input buffers the device marked
// (frames lost, silence or stale data played) and output blocks that had to
// be moved because the player had reached them. Any thread.
std::int64_t dropout_count();

// Buffers per ring for the streaming rates (for tests and diagnostics).
inline constexpr int N_in = ring_buffer_count(in_rate);
inline constexpr int N_out = ring_buffer_count(out_rate);
inline constexpr int L_in = N_in * block_frames;
inline constexpr int L_out = N_out * block_frames;

// One output sample value as it goes into the 16-bit stream: clipped to
// −32768 … 32767 and rounded to the nearest integer (ties to even).
std::int16_t output_sample_code(double value);

}  // namespace waveio
