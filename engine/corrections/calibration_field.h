// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the calibration file writes a number, shared by the file of its
// entries' spreads, which names each entry's value in the same form.

#include <string>

namespace lcr {

// One field: "%15.8e" with "E", the exponent's sign and at least three
// digits, "." whatever the locale; a value that is not finite becomes 0.
std::string calibration_field(double value);

}  // namespace lcr
