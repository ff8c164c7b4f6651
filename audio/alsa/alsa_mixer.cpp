// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string_view>

namespace waveio {

namespace {

constexpr std::uint32_t the_line_id = 1;
constexpr std::uint32_t the_control_id = 1;

struct tmixer_closer {
  void operator()(snd_mixer_t* handle) const { snd_mixer_close(handle); }
};
using tmixer_handle = std::unique_ptr<snd_mixer_t, tmixer_closer>;

bool has_volume(snd_mixer_elem_t* element, tmixer_target side)
{
  return side == tmixer_target::wave_in ? snd_mixer_selem_has_capture_volume(element) != 0
                                        : snd_mixer_selem_has_playback_volume(element) != 0;
}

snd_mixer_elem_t* element_named(snd_mixer_t* handle, std::string_view name, tmixer_target side)
{
  for (snd_mixer_elem_t* element = snd_mixer_first_elem(handle); element != nullptr;
       element = snd_mixer_elem_next(element)) {
    if (snd_mixer_selem_is_active(element) && name == snd_mixer_selem_get_name(element) && has_volume(element, side)) {
      return element;
    }
  }
  return nullptr;
}

// The element whose volume the side's bar moves.
snd_mixer_elem_t* volume_element(snd_mixer_t* handle, tmixer_target side)
{
  constexpr std::array<std::string_view, 2> playback_names{"Master", "PCM"};
  constexpr std::array<std::string_view, 1> capture_names{"Capture"};
  const auto preferred = side == tmixer_target::wave_in ? std::span<const std::string_view>(capture_names)
                                                        : std::span<const std::string_view>(playback_names);
  for (const std::string_view name : preferred) {
    if (snd_mixer_elem_t* element = element_named(handle, name, side)) return element;
  }
  for (snd_mixer_elem_t* element = snd_mixer_first_elem(handle); element != nullptr;
       element = snd_mixer_elem_next(element)) {
    if (snd_mixer_selem_is_active(element) && has_volume(element, side)) return element;
  }
  return nullptr;
}

class talsa_mixer final : public tmixer_device {
public:
  talsa_mixer(tmixer_handle handle, snd_mixer_elem_t* element, tmixer_target side)
      : handle_(std::move(handle)), element_(element), side_(side)
  {
    if (element_ == nullptr) return;
    long minimum = 0;
    long maximum = 0;
    if (side_ == tmixer_target::wave_in) {
      snd_mixer_selem_get_capture_volume_range(element_, &minimum, &maximum);
    } else {
      snd_mixer_selem_get_playback_volume_range(element_, &minimum, &maximum);
    }
    minimum_ = minimum;
    maximum_ = maximum;
  }

  int destination_count() override { return 1; }

  bool destination(int index, tmixer_line& line) override
  {
    if (index != 0) return false;
    return line_by_id(the_line_id, line);
  }

  bool line_by_id(std::uint32_t line_id, tmixer_line& line) override
  {
    if (line_id != the_line_id) return false;
    line.line_id = the_line_id;
    line.control_count = element_ != nullptr && maximum_ > minimum_ ? 1 : 0;
    line.target = side_;
    line.name = side_ == tmixer_target::wave_in ? "Capture" : "Playback";
    return true;
  }

  bool line_controls(const tmixer_line& line, std::vector<tmixer_control>& controls) override
  {
    controls.clear();
    if (line.line_id != the_line_id) return false;
    if (line.control_count > 0) {
      controls.push_back({the_control_id, mixer_volume_control_type, 0, snd_mixer_selem_get_name(element_)});
    }
    return true;
  }

  bool control_value(const tmixer_control& control, std::uint32_t& value) override
  {
    if (!usable(control)) return false;
    snd_mixer_handle_events(handle_.get());  // levels set elsewhere since
    long raw = 0;
    const int result = side_ == tmixer_target::wave_in
                           ? snd_mixer_selem_get_capture_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &raw)
                           : snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &raw);
    if (result < 0) return false;
    const double fraction = static_cast<double>(raw - minimum_) / static_cast<double>(maximum_ - minimum_);
    value = static_cast<std::uint32_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * 65535.0));
    return true;
  }

  bool set_control_value(const tmixer_control& control, std::uint32_t value) override
  {
    if (!usable(control)) return false;
    const long raw = minimum_ + std::lround(static_cast<double>(value) / 65535.0 *
                                            static_cast<double>(maximum_ - minimum_));
    const int result = side_ == tmixer_target::wave_in ? snd_mixer_selem_set_capture_volume_all(element_, raw)
                                                       : snd_mixer_selem_set_playback_volume_all(element_, raw);
    return result >= 0;
  }

private:
  bool usable(const tmixer_control& control) const
  {
    return control.control_id == the_control_id && element_ != nullptr && maximum_ > minimum_;
  }

  tmixer_handle handle_;
  snd_mixer_elem_t* element_ = nullptr;  // owned by the mixer handle
  tmixer_target side_;
  long minimum_ = 0;
  long maximum_ = 0;
};

}  // namespace

std::unique_ptr<tmixer_device> open_alsa_mixer(const std::string& name, tmixer_target side)
{
  snd_mixer_t* opened = nullptr;
  if (snd_mixer_open(&opened, 0) < 0) return nullptr;
  tmixer_handle handle(opened);
  if (snd_mixer_attach(handle.get(), name.c_str()) < 0) return nullptr;
  if (snd_mixer_selem_register(handle.get(), nullptr, nullptr) < 0) return nullptr;
  if (snd_mixer_load(handle.get()) < 0) return nullptr;
  snd_mixer_elem_t* const element = volume_element(handle.get(), side);
  return std::make_unique<talsa_mixer>(std::move(handle), element, side);
}

}  // namespace waveio
