// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sound devices a program offers: the real cards through PortAudio
// followed by the simulated measuring fixture, which is the last entry of
// both device lists.

#include "device_catalog.h"
#include "audio/portaudio/portaudio_backend.h"
#include "audio/simulated/simulated_fixture.h"

#include <memory>

namespace waveio {

class tsound_devices {
public:
  // `reference_index` tells the fixture which reference resistor the program
  // has selected. Without `real_cards` only the fixture is listed (no sound
  // system is probed).
  tsound_devices(tsimulated_fixture::treference_source reference_index, bool real_cards);

  twave_backend& catalog() { return catalog_; }
  tsimulated_fixture& fixture() { return fixture_; }

  // Why the last real card refused to open ("" if none did).
  std::string last_error() const { return real_cards_ ? real_cards_->last_error() : std::string(); }

  // Device ids of the fixture in the two lists.
  int fixture_in_id() { return catalog_.in_device_count() - 1; }
  int fixture_out_id() { return catalog_.out_device_count() - 1; }

private:
  std::unique_ptr<tportaudio_backend> real_cards_;
  tsimulated_fixture fixture_;
  tdevice_catalog catalog_;
};

}  // namespace waveio
