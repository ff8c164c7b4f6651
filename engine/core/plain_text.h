// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Numbers and words of the program's own text files (the calibration
// spreads, the analyser's calibration, impedance curves): the point as
// decimal separator whatever the locale, and the shortest text that reads
// back to the same double. Pure functions; any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcr {

// The shortest text that reads back to the same double ("0" should the
// conversion fail).
std::string round_trip_number(double value);
// A whole field as a finite number, or none.
std::optional<double> finite_number(std::string_view field);
// The line's words, split at any of `blanks`.
std::vector<std::string_view> words_of(std::string_view line, std::string_view blanks = " \t");

}  // namespace lcr
