// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A running meter without a window: the engine configured from the options,
// the chosen sound devices (or the simulated fixture) opened, and the
// streaming worker running the engine. Closing happens on destruction.

#include "meter_options.h"

#include "audio/sound_devices.h"
#include "audio/streaming.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace quarvel_cli {

// No usable sound device; the program exits with 3.
class device_error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class tmeter_session {
public:
  // Throws usage_error (bad device text or device network) or device_error;
  // nothing stays open then.
  explicit tmeter_session(const tmeter_options& options);
  // The same on a given device family instead of the sound cards and the
  // simulated fixture.
  tmeter_session(const tmeter_options& options, waveio::twave_backend& devices);
  ~tmeter_session();
  tmeter_session(const tmeter_session&) = delete;
  tmeter_session& operator=(const tmeter_session&) = delete;

  // Stream frames the engine has processed since the devices opened.
  std::int64_t frames_processed() const { return frames_processed_.load(); }

  // Waits until the engine has processed `frames` in all, calling `tick`
  // about every `tick_ms` of wall-clock time (the display tick). Returns
  // false when `tick` asks to stop. Throws device_error when a device stops.
  // On the simulated fixture's virtual clock the stream then pauses at that
  // frame (to a block), so what follows happens at an exact stream time.
  bool run_until(std::int64_t frames, const std::function<bool()>& tick = {}, int tick_ms = 100);

  const std::string& input_name() const { return input_name_; }
  const std::string& output_name() const { return output_name_; }
  // The simulated fixture; only in a session on the program's own devices.
  waveio::tsimulated_fixture& fixture();
  bool simulated() const { return simulated_; }
  // Both directions on the simulated set-up, however it was chosen; its
  // adapter then follows the reference index by itself.
  bool on_fixture() const { return on_fixture_; }

  // Messages from loading the calibration file ("" when it loaded or was
  // absent).
  const std::string& calibration_message() const { return calibration_message_; }

private:
  tmeter_session(const tmeter_options& options, waveio::twave_backend* devices);
  void configure_engine(const tmeter_options& options);
  void open_devices(const tmeter_options& options, waveio::twave_backend* devices);
  void configure_fixture(const tmeter_options& options);
  std::string open_failure(const char* direction, const std::string& name) const;
  void close_devices();
  void ensure_streaming() const;

  void open_gate();

  std::unique_ptr<waveio::tsound_devices> devices_;
  std::optional<waveio::topen_streams> streams_;
  std::atomic<std::int64_t> frames_processed_{0};
  // Virtual clock only: the worker takes no block once the engine has
  // processed this many frames, until the gate moves on.
  bool gated_ = false;
  std::atomic<std::int64_t> gate_frames_{0};
  bool simulated_ = false;
  bool on_fixture_ = false;
  std::string input_name_;
  std::string output_name_;
  std::string calibration_message_;
};

// The device id for a --in/--out text: an index in the list, or the first
// entry whose name contains the text. Throws usage_error naming the list.
int find_device(const std::vector<std::string>& names, std::string_view text, std::string_view option);

}  // namespace quarvel_cli
