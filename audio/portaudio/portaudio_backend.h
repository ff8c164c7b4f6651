// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Real sound cards through PortAudio: the input and output devices of every
// host API present (ALSA, JACK; under a PulseAudio or PipeWire desktop the
// ALSA "default" and "pulse" devices), each stereo-capable device listed with
// its host API so the operator can tell the cards apart.
//
// The PortAudio callbacks move frames between the stream and the queued ring
// buffers through lock-free queues: they never lock, allocate or block. An
// empty output queue plays silence; input with no queued buffer is dropped;
// either marks the input's next buffer as a dropout (stream_core.h).
// A stream that PortAudio ends on its own (device unplugged, server gone)
// reports failed(), and its input sets the event so the worker notices.

#include "audio/wave_backend.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace waveio {

class tportaudio_backend final : public twave_backend {
public:
  // Initialises PortAudio and lists the devices; `client_name` names the
  // program towards a JACK server. Without a usable PortAudio both lists
  // are empty.
  explicit tportaudio_backend(const std::string& client_name = "Quarvel");
  ~tportaudio_backend() override;
  tportaudio_backend(const tportaudio_backend&) = delete;
  tportaudio_backend& operator=(const tportaudio_backend&) = delete;

  int in_device_count() override;
  int out_device_count() override;
  std::string in_device_name(int id) override;
  std::string out_device_name(int id) override;
  int open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
              tauto_reset_event* event) override;
  int open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format) override;

  // Text of the last PortAudio error, for diagnostics.
  std::string last_error() const { return last_error_; }

private:
  struct tlisted_device {
    int portaudio_index;
    std::string name;
  };

  bool initialised_ = false;
  // The output's dropouts, which its input marks on the buffer it fills.
  std::shared_ptr<std::atomic<std::uint64_t>> output_dropouts_ = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::vector<tlisted_device> inputs_;
  std::vector<tlisted_device> outputs_;
  std::string last_error_;
};

// The ALSA mixer of a PortAudio ALSA device, from its name: "hw:0" for
// "HDA Intel PCH: ALC892 Analog (hw:0,0)", "default" for a plugin device
// without a card ("default", "pulse", "sysdefault").
std::string alsa_mixer_of_device(std::string_view device_name);

}  // namespace waveio
