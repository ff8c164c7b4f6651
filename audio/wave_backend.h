// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sound devices as the streaming layer sees them: the model of a wave
// audio interface. A direction is opened with the stream format; buffers are
// prepared and queued; the device fills (input) or plays (output) queued
// buffers strictly in the order queued and sets the done bit of each when it
// has finished with it; an input device also sets its event for every
// returned buffer. Reset stops the device and returns every queued buffer
// with the done bit set. Every operation returns 0 on success and a non-zero
// error code otherwise.
//
// The streaming worker and the window's thread call these operations; the
// device's own thread (an audio callback) only touches the buffers it holds,
// their done bits and the event, and never blocks or allocates.

#include "auto_reset_event.h"
#include "mixer_backend.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace waveio {

inline constexpr std::uint32_t WHDR_DONE = 1;
// Set by the device together with WHDR_DONE on a buffer around which the
// stream was not continuous: recorded frames before it were lost (an input
// overflow, a stalled clock), or the output played silence or stale data
// while it was recorded (an underrun). The worker counts it and the engine
// settles again after it. Not a flag of the platform's wave interface.
inline constexpr std::uint32_t WHDR_DROPOUT = 0x1000;

inline constexpr int MMSYSERR_NOERROR = 0;
inline constexpr int MMSYSERR_ERROR = 1;
inline constexpr int MMSYSERR_BADDEVICEID = 2;
inline constexpr int MMSYSERR_ALLOCATED = 4;
inline constexpr int MMSYSERR_INVALHANDLE = 5;
inline constexpr int MMSYSERR_NODRIVER = 6;
inline constexpr int MMSYSERR_INVALPARAM = 11;
inline constexpr int WAVERR_BADFORMAT = 32;
inline constexpr int WAVERR_UNPREPARED = 34;

// `WAVE_MAPPER`: the system's default output device.
inline constexpr int WAVE_MAPPER = -1;

// Linear PCM, interleaved frames, left sample first.
struct twave_format {
  int channels = 2;
  int samples_per_sec = 48000;
  int bits_per_sample = 16;
  int block_align = 4;             // bytes per frame
  int avg_bytes_per_sec = 192000;  // samples_per_sec × block_align
};

twave_format stereo16_format(int rate_hz);

// One 16-bit sample as the device and the worker share it. A relaxed atomic
// is a plain 16-bit load or store, and keeps the worker's writes ahead of the
// play position free of data races with the device's reads.
using tsample = std::atomic<std::int16_t>;
static_assert(tsample::is_always_lock_free);

// A buffer descriptor (wave header).
struct twave_header {
  tsample* data = nullptr;          // interleaved samples
  std::uint32_t buffer_length = 0;  // bytes
  std::atomic<std::uint32_t> flags{0};  // WHDR_DONE (release), WHDR_DROPOUT, set by the device
  std::uint32_t loops = 0;
  bool prepared = false;            // between prepare and unprepare

  std::uint32_t frames() const { return buffer_length / 4; }
};

// An open input device.
class twave_in {
public:
  virtual ~twave_in() = default;
  virtual int prepare_header(twave_header& header) = 0;
  virtual int unprepare_header(twave_header& header) = 0;
  virtual int add_buffer(twave_header& header) = 0;
  virtual int start() = 0;
  virtual int reset() = 0;
  virtual int close() = 0;
  // True once the device has stopped delivering for good (unplugged, server
  // gone); the device sets its event when that happens.
  virtual bool failed() const = 0;
  // Time from the input terminals to a returned buffer, beyond the buffer.
  virtual double latency_seconds() const { return 0.0; }
  // The mixer of the device, for its recording volume (window's thread);
  // nothing when the device has none.
  virtual std::unique_ptr<tmixer_device> open_mixer() { return nullptr; }
};

// An open output device.
class twave_out {
public:
  virtual ~twave_out() = default;
  virtual int prepare_header(twave_header& header) = 0;
  virtual int unprepare_header(twave_header& header) = 0;
  virtual int write(twave_header& header) = 0;
  virtual int reset() = 0;
  virtual int close() = 0;
  virtual bool failed() const = 0;
  // Time from a queued buffer's turn to the output terminals.
  virtual double latency_seconds() const { return 0.0; }
  // The mixer of the device, for its playback volume (window's thread);
  // nothing when the device has none.
  virtual std::unique_ptr<tmixer_device> open_mixer() { return nullptr; }
};

// A family of sound devices: device ids run from 0 to count − 1.
class twave_backend {
public:
  virtual ~twave_backend() = default;
  virtual int in_device_count() = 0;
  virtual int out_device_count() = 0;
  // The device's product name, for the operator to recognise the card.
  virtual std::string in_device_name(int id) = 0;
  virtual std::string out_device_name(int id) = 0;
  // `event` is set for every buffer the device returns.
  virtual int open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
                      tauto_reset_event* event) = 0;
  // id may be WAVE_MAPPER.
  virtual int open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format) = 0;
};

}  // namespace waveio
