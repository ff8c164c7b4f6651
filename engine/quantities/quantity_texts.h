// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns a quantity's value into the number and prefixed unit the window shows
// side by side, and gives each quantity its symbol and German long name.
//
// Formatting never touches the C library's locale (the window's toolkit sets
// the process locale from the environment, and the worker formats too): the
// numbers come from std::to_chars and the decimal separator is a process-wide
// setting of this unit, taken from the user's locale once at start-up.

#include "engine/quantities/quantities.h"

#include <string>

namespace lcr {

// full_precision 1 for displayed values; 0 for deviations, the recommended
// reference resistor and plot scale values. Writes value_text and unit_text
// of `record`, whose `quantity` selects the unit; v is in base units.
// Never allocates when the record's texts already have room (short texts fit
// a std::string's inline buffer), so the worker may call it per evaluation.
void format_quantity(int full_precision, tlcr_strings& record, double v);

// The prefixed unit that format_quantity gives values of about `magnitude`
// ("µF" for 2e-6 F) and the factor such values are divided by for it; no
// prefix (factor 1) for degrees and dimensionless quantities. For scales
// whose values must share one unit.
struct tunit_scale {
  double factor = 1.0;
  std::string unit_text;
};
tunit_scale unit_scale(const std::string& quantity, double magnitude);

// Writes symbol and long_name from quantity and circuit. An unknown key
// leaves both as they are.
void name_quantity(tlcr_strings& record);

// The separator between integer and fractional digits in operator texts.
void set_decimal_separator(char separator);
char decimal_separator();

// The user's locale's decimal separator (',' for German), read from the
// environment (LC_ALL, LC_NUMERIC, LANG) without changing global state.
char locale_decimal_separator();

// printf-style "%<min_width>.<decimals>f" with the given separator, for the
// window's own number texts.
std::string format_fixed(double value, int decimals, int min_width, char separator);

}  // namespace lcr
