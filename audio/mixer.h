// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The setup page's two mixer bars bound to the sound card: "Mixereingang"
// to the recording volume of the open input device, "Mixerausgang" to the
// playback volume of the open output device. A bar has the positions
// 0 … 31 spread over the control's 0 … 65535 with integer division both
// ways, so a position written and read back by a new bind shows one less
// (1 → 2114 → 0) except at 0 and 31. A bar without a volume control stays
// disabled.
//
// Window's thread only. The mixers are reached through the device handles
// the streaming layer holds open.

#include "mixer_backend.h"

#include <cstdint>
#include <memory>

namespace waveio {

// What the window's track bar offers to a view.
class ttrack_bar {
public:
  virtual ~ttrack_bar() = default;
  virtual void set_enabled(bool enabled) = 0;
  // Fires the bar's change handler, as an operator's move does.
  virtual void set_position(int position) = 0;
  virtual int position() const = 0;
};

inline constexpr int mixer_bar_positions = 31;    // 0 … 31
inline constexpr std::uint32_t mixer_value_max = 65535;

// p × 65535 div 31 and v × 31 div 65535.
std::uint32_t mixer_value_of_position(int position);
int mixer_position_of_value(std::uint32_t value);

// One side's mixer and the volume control of its destination line.
struct tmixer_binding {
  std::unique_ptr<tmixer_device> mixer;
  std::uint32_t line_id = 0;
  int destination_index = 0;
  tmixer_control volume;
  bool volume_present = false;
};

// A track bar tied to a binding.
class tmixvisu {
public:
  tmixvisu(ttrack_bar& track_bar, tmixer_binding& binding) : track_bar_(track_bar), binding_(binding) {}

  void disable();
  // Shows the control's level on the bar, without writing it back.
  void show();
  // Writes the bar's position into the control (the bar's change handler).
  void apply();

private:
  ttrack_bar& track_bar_;
  tmixer_binding& binding_;
};

struct tmixer_state {
  tmixer_binding input_binding;
  tmixer_binding output_binding;
  std::unique_ptr<tmixvisu> input_view;
  std::unique_ptr<tmixvisu> output_view;
  bool updating_mixer_view = false;  // set while a view moves its own bar
};

// The one instance.
extern tmixer_state mixer;

// No views and no open mixer; call before the track bars go away.
void reset_mixer_state();

void mixer_create_views(ttrack_bar& input_bar, ttrack_bar& output_bar);
// Disables the bar, opens the open device's mixer, finds the volume control
// of its recording (playback) destination line and shows its level.
void mixer_bind_input();
void mixer_bind_output();

}  // namespace waveio
