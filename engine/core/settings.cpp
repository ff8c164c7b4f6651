// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include <algorithm>

namespace lcr {

tsettings settings;
std::mutex publication_lock;

void reset_settings()
{
  const tsettings fresh_values;
  settings.ref_index = fresh_values.ref_index.load();
  settings.freq_index = fresh_values.freq_index.load();
  settings.tone_level = fresh_values.tone_level.load();
  settings.ft_factor = fresh_values.ft_factor.load();
  settings.avg_count = fresh_values.avg_count.load();
  settings.test_mode = fresh_values.test_mode.load();
  settings.display_running = fresh_values.display_running.load();
  settings.request_transform_rebuild = fresh_values.request_transform_rebuild.load();
  settings.request_average_rebuild = fresh_values.request_average_rebuild.load();
  settings.settle_generation = fresh_values.settle_generation.load();
  settings.multitone = fresh_values.multitone.load();
}

void request_settling()
{
  settings.settle_generation.fetch_add(1);
}

bool take_transform_rebuild_request()
{
  return settings.request_transform_rebuild.exchange(false);
}

bool take_average_rebuild_request()
{
  return settings.request_average_rebuild.exchange(false);
}

int clamp_freq_index(int index)
{
  return std::clamp(index, 0, freq_count - 1);
}

int clamp_ref_index(int index)
{
  return std::clamp(index, 0, ref_count - 1);
}

int current_frequency_hz()
{
  return test_frequencies[static_cast<std::size_t>(clamp_freq_index(settings.freq_index.load()))];
}

int current_ref_resistor_ohm()
{
  return ref_resistors[static_cast<std::size_t>(clamp_ref_index(settings.ref_index.load()))];
}

}  // namespace lcr
