// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sorting parts against a nominal value, as benchtop comparators judge: the
// reading's deviation from nominal in percent, "Gut" inside the tolerance,
// "Schlecht" outside, "Grenzwertig" when the reading lies inside but the
// deviation shown beside it reaches past the limit. Pure functions.

#include <string_view>

namespace lcr {

enum class tverdict { pass, marginal, fail };

struct tcomparison {
  double delta_percent = 0.0;  // (value − nominal) / |nominal| × 100
  tverdict verdict = tverdict::fail;
};

// `deviation` is the reading's shown deviation in the quantity's unit;
// `nominal` must not be 0 (a reading then fails).
tcomparison compare_to_nominal(double value, double deviation, double nominal, double tolerance_percent);

// Whether a mode's second quantity is sorted rather than its first: a first
// quantity that is a pure number (the loss factor D or the quality Q of the
// modes Q/C, D/C, Q/L, D/L, which "Auto" chooses for reactive parts) is
// not what a part's nominal value gives; its capacitance or inductance is.
bool compares_second_quantity(std::string_view first_quantity_key);

// "Gut", "Grenzwertig", "Schlecht".
const char* verdict_text(tverdict verdict);
// "pass", "marginal", "fail" (for scripts).
const char* verdict_key(tverdict verdict);

}  // namespace lcr
