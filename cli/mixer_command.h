// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace quarvel_cli {

// quarvel-cli mixer [--in DEV] [--out DEV] [--capture POS] [--playback POS]:
// binds both mixer bars to the open devices as "Mixer aktivieren (Test 1)"
// does, writes the given positions (0 … 31), binds again and prints what
// the bars show.
int run_mixer(std::span<const char* const> arguments);

}  // namespace quarvel_cli
