// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A sound-device family for tests: the test decides when an input buffer is
// filled and when an output buffer has been played, and can make a device
// fail to open, fail to start or stop delivering.

#include "audio/wave_backend.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quarvel_test {

struct fake_device_log {
  std::mutex lock;
  std::deque<waveio::twave_header*> queued;  // in the order queued
  int queue_calls = 0;
  int prepared = 0;
  bool started = false;
  bool reset_called = false;
  bool closed = false;
  bool failed = false;
  int start_result = 0;  // what start() answers
  waveio::tauto_reset_event* event = nullptr;
};

class fake_wave_in final : public waveio::twave_in {
public:
  explicit fake_wave_in(std::shared_ptr<fake_device_log> log) : log_(std::move(log)) {}
  int prepare_header(waveio::twave_header& header) override;
  int unprepare_header(waveio::twave_header& header) override;
  int add_buffer(waveio::twave_header& header) override;
  int start() override;
  int reset() override;
  int close() override;
  bool failed() const override;

private:
  std::shared_ptr<fake_device_log> log_;
};

class fake_wave_out final : public waveio::twave_out {
public:
  explicit fake_wave_out(std::shared_ptr<fake_device_log> log) : log_(std::move(log)) {}
  int prepare_header(waveio::twave_header& header) override;
  int unprepare_header(waveio::twave_header& header) override;
  int write(waveio::twave_header& header) override;
  int reset() override;
  int close() override;
  bool failed() const override;

private:
  std::shared_ptr<fake_device_log> log_;
};

class fake_backend final : public waveio::twave_backend {
public:
  int input_devices = 1;
  int output_devices = 1;
  int open_in_result = 0;
  int open_out_result = 0;
  std::shared_ptr<fake_device_log> in_log = std::make_shared<fake_device_log>();
  std::shared_ptr<fake_device_log> out_log = std::make_shared<fake_device_log>();

  int in_device_count() override { return input_devices; }
  int out_device_count() override { return output_devices; }
  std::string in_device_name(int id) override { return "Fake input " + std::to_string(id); }
  std::string out_device_name(int id) override { return "Fake output " + std::to_string(id); }
  int open_in(std::unique_ptr<waveio::twave_in>& handle, int id, const waveio::twave_format& format,
              waveio::tauto_reset_event* event) override;
  int open_out(std::unique_ptr<waveio::twave_out>& handle, int id, const waveio::twave_format& format) override;

  // Fills the oldest queued input buffer, frame by frame, with
  // sample(frame_index, channel), marks it done and sets the event. Returns
  // false when no buffer is queued.
  bool complete_input(const std::function<std::int16_t(int, int)>& sample);
  // Marks the oldest queued output buffer played and returns its samples
  // (interleaved); empty when none is queued.
  std::vector<std::int16_t> play_output();
  // The input stops delivering for good, as an unplugged card does.
  void fail_input();
};

}  // namespace quarvel_test
