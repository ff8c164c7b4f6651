// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The mixer of a real sound card through ALSA's simple mixer: one
// destination line per side with the card's capture volume (the input) or
// playback volume ("Master", else "PCM", else the first element that has
// one). The element's own range is mapped linearly onto 0 … 65535.
//
// Window's thread only.

#include "audio/mixer_backend.h"

#include <memory>
#include <string>

namespace waveio {

// Opens the ALSA mixer `name` ("hw:0", "default") for one side; nothing
// when it cannot be opened.
std::unique_ptr<tmixer_device> open_alsa_mixer(const std::string& name, tmixer_target side);

}  // namespace waveio
