// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The mixer that belongs to an open sound device: its destination lines
// (the recording line of an input, the playback line of an output) and
// their controls, of which the volume control is the one Quarvel binds.
// A wave handle opens its own mixer (`twave_in::open_mixer`), so a binding
// always concerns the device in use.
//
// Window's thread only; the streaming worker never touches a mixer. A
// control's value is on the scale 0 … 65535 whatever the device's own
// range; a back end maps its range onto it.

#include <cstdint>
#include <string>
#include <vector>

namespace waveio {

// What a destination line leads to.
enum class tmixer_target { other = 0, wave_out = 1, wave_in = 2 };

// The type of a volume control.
inline constexpr std::uint32_t mixer_volume_control_type = 0x50030001;

struct tmixer_line {
  std::uint32_t line_id = 0;
  int control_count = 0;
  tmixer_target target = tmixer_target::other;
  std::string name;
};

struct tmixer_control {
  std::uint32_t control_id = 0;
  std::uint32_t control_type = 0;
  std::uint32_t item_count = 0;
  std::string name;  // the device's own name for it ("Master", "Capture")
};

class tmixer_device {
public:
  virtual ~tmixer_device() = default;

  virtual int destination_count() = 0;
  // False when the line cannot be read.
  virtual bool destination(int index, tmixer_line& line) = 0;
  virtual bool line_by_id(std::uint32_t line_id, tmixer_line& line) = 0;
  virtual bool line_controls(const tmixer_line& line, std::vector<tmixer_control>& controls) = 0;
  // 0 … 65535; the same value for every channel.
  virtual bool control_value(const tmixer_control& control, std::uint32_t& value) = 0;
  virtual bool set_control_value(const tmixer_control& control, std::uint32_t value) = 0;
};

}  // namespace waveio
