// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_catalog.h"

namespace waveio {

tdevice_catalog::tdevice_catalog(std::vector<twave_backend*> families) : families_(std::move(families)) {}

int tdevice_catalog::in_device_count()
{
  int count = 0;
  for (twave_backend* family : families_) count += family->in_device_count();
  return count;
}

int tdevice_catalog::out_device_count()
{
  int count = 0;
  for (twave_backend* family : families_) count += family->out_device_count();
  return count;
}

tdevice_catalog::located tdevice_catalog::locate_in(int id)
{
  for (twave_backend* family : families_) {
    const int count = family->in_device_count();
    if (id >= 0 && id < count) return {family, id};
    id -= count;
  }
  return {};
}

tdevice_catalog::located tdevice_catalog::locate_out(int id)
{
  for (twave_backend* family : families_) {
    const int count = family->out_device_count();
    if (id >= 0 && id < count) return {family, id};
    id -= count;
  }
  return {};
}

std::string tdevice_catalog::in_device_name(int id)
{
  const located device = locate_in(id);
  return device.family != nullptr ? device.family->in_device_name(device.id) : std::string();
}

std::string tdevice_catalog::out_device_name(int id)
{
  const located device = locate_out(id);
  return device.family != nullptr ? device.family->out_device_name(device.id) : std::string();
}

int tdevice_catalog::open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
                             tauto_reset_event* event)
{
  const located device = locate_in(id);
  if (device.family == nullptr) return MMSYSERR_BADDEVICEID;
  return device.family->open_in(handle, device.id, format, event);
}

int tdevice_catalog::open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format)
{
  if (id == WAVE_MAPPER) {
    int result = MMSYSERR_BADDEVICEID;
    for (twave_backend* family : families_) {
      result = family->open_out(handle, WAVE_MAPPER, format);
      if (result == MMSYSERR_NOERROR) return result;
      handle.reset();
    }
    return result;
  }
  const located device = locate_out(id);
  if (device.family == nullptr) return MMSYSERR_BADDEVICEID;
  return device.family->open_out(handle, device.id, format);
}

}  // namespace waveio
