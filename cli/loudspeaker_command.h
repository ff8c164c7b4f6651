// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/loudspeaker/propagation.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarvel_cli {

// An entered value "12.5", "12.5±0.1" or "12.5+-0.1" times `unit_factor`
// (to SI); without a tolerance, half a unit of the last digit written
// (the value's own rounding). A usage_error naming `option` otherwise.
lcr::tentered entered_value(std::string_view option, std::string_view text, double unit_factor);

// quarvel-cli loudspeaker FREE [--added-mass GRAMS LOADED | --box LITRES BOXED]
// [--sd CM2 | --diameter CM] [--re OHM] [--temperature C] [--json | --csv]:
// the driver's small-signal parameters with their ± from curves written by
// `quarvel-cli impedance --json` or .zma files. A curve that cannot give
// them exits with 1 and the reason.
int run_loudspeaker(std::span<const char* const> arguments);

}  // namespace quarvel_cli
