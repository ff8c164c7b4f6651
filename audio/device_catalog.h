// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Several device families shown as one: the device ids of each family follow
// those of the family before it, so a real card keeps its index while the
// simulated measuring fixture stays the last entry of both lists.

#include "wave_backend.h"

#include <vector>

namespace waveio {

class tdevice_catalog final : public twave_backend {
public:
  // Families in list order; not owned, must outlive the catalog.
  explicit tdevice_catalog(std::vector<twave_backend*> families);

  int in_device_count() override;
  int out_device_count() override;
  std::string in_device_name(int id) override;
  std::string out_device_name(int id) override;
  int open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
              tauto_reset_event* event) override;
  // WAVE_MAPPER goes to the first family that can open a default output.
  int open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format) override;

private:
  struct located {
    twave_backend* family = nullptr;
    int id = -1;
  };
  located locate_in(int id);
  located locate_out(int id);

  std::vector<twave_backend*> families_;
};

}  // namespace waveio
