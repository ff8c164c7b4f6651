// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace quarvel_cli {

// quarvel-cli measure [options]: measures and prints the two quantities of
// the chosen mode, the recommended reference resistor and the input level.
int run_measure(std::span<const char* const> arguments);

// quarvel-cli devices: the input and output devices with their indices.
int run_devices(std::span<const char* const> arguments);

}  // namespace quarvel_cli
