// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lines of comma-separated values for programs: a comma between fields, the
// point as decimal separator whatever the user's locale, numbers to full
// precision (they read back to the same double), texts quoted where they
// must be. Pure functions; no I/O.

#include <initializer_list>
#include <string>
#include <string_view>

namespace lcr {

// The shortest text that reads back to the same double; "" for a value
// that is not finite (an empty field).
std::string csv_number(double value);
// The text as a field: quoted, with doubled quotes, when it holds a comma,
// a quote or a line break.
std::string csv_field(std::string_view text);
// Fields (already formatted) joined by commas, ended by CR LF.
std::string csv_line(std::initializer_list<std::string> fields);

}  // namespace lcr
