// SPDX-License-Identifier: GPL-3.0-or-later
#include "mixer.h"

#include "streaming.h"

namespace waveio {

tmixer_state mixer;

namespace {

// The last destination line of the wanted target wins; without one, 0.
int wanted_destination(tmixer_device& device, tmixer_target target)
{
  int found = 0;
  for (int index = 0; index < device.destination_count(); ++index) {
    tmixer_line line;
    if (device.destination(index, line) && line.target == target) found = index;
  }
  return found;
}

void open_side(tmixer_binding& binding, std::unique_ptr<tmixer_device> device, tmixer_target target)
{
  binding.mixer = std::move(device);
  binding.destination_index = 0;
  binding.line_id = 0;
  if (!binding.mixer) return;
  binding.destination_index = wanted_destination(*binding.mixer, target);
  tmixer_line line;
  if (binding.mixer->destination(binding.destination_index, line)) binding.line_id = line.line_id;
}

// The line's last volume control.
void find_volume_control(tmixer_binding& binding)
{
  binding.volume_present = false;
  if (!binding.mixer) return;
  tmixer_line line;
  std::vector<tmixer_control> controls;
  if (!binding.mixer->line_by_id(binding.line_id, line) || !binding.mixer->line_controls(line, controls)) return;
  for (const tmixer_control& control : controls) {
    if (control.control_type != mixer_volume_control_type) continue;
    binding.volume = control;
    binding.volume_present = true;
  }
}

template <typename Handle>
std::unique_ptr<tmixer_device> mixer_of(const std::unique_ptr<Handle>& handle)
{
  return handle ? handle->open_mixer() : nullptr;
}

void bind(tmixvisu* view, tmixer_binding& binding, std::unique_ptr<tmixer_device> device, tmixer_target target)
{
  if (view != nullptr) view->disable();
  open_side(binding, std::move(device), target);
  find_volume_control(binding);
  if (view != nullptr) view->show();
}

}  // namespace

std::uint32_t mixer_value_of_position(int position)
{
  return static_cast<std::uint32_t>(position) * mixer_value_max / mixer_bar_positions;
}

int mixer_position_of_value(std::uint32_t value)
{
  return static_cast<int>(value * mixer_bar_positions / mixer_value_max);
}

void tmixvisu::disable()
{
  mixer.updating_mixer_view = true;
  track_bar_.set_enabled(false);
  mixer.updating_mixer_view = false;
}

void tmixvisu::show()
{
  mixer.updating_mixer_view = true;
  track_bar_.set_enabled(false);
  if (binding_.volume_present) {
    track_bar_.set_enabled(true);
    std::uint32_t value = 0;
    binding_.mixer->control_value(binding_.volume, value);
    track_bar_.set_position(mixer_position_of_value(value));
  }
  mixer.updating_mixer_view = false;
}

void tmixvisu::apply()
{
  if (mixer.updating_mixer_view || !binding_.volume_present) return;
  binding_.mixer->set_control_value(binding_.volume, mixer_value_of_position(track_bar_.position()));
}

void reset_mixer_state()
{
  mixer.input_view.reset();
  mixer.output_view.reset();
  mixer.input_binding = {};
  mixer.output_binding = {};
  mixer.updating_mixer_view = false;
}

void mixer_create_views(ttrack_bar& input_bar, ttrack_bar& output_bar)
{
  mixer.input_view = std::make_unique<tmixvisu>(input_bar, mixer.input_binding);
  mixer.output_view = std::make_unique<tmixvisu>(output_bar, mixer.output_binding);
}

void mixer_bind_input()
{
  bind(mixer.input_view.get(), mixer.input_binding, mixer_of(stream.in_handle), tmixer_target::wave_in);
}

void mixer_bind_output()
{
  bind(mixer.output_view.get(), mixer.output_binding, mixer_of(stream.out_handle), tmixer_target::wave_out);
}

}  // namespace waveio
