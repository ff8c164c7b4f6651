// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The instrument command language's grammar, as lab tools send it: a line
// holds program units separated by ';'; a unit is a header (':'-separated
// mnemonics, each in its long or short form, any case; '*' common commands;
// a trailing '?' for a query) and, after white space, parameters separated
// by ','. Pure functions; no state.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scpi {

struct tprogram_unit {
  std::vector<std::string> mnemonics;  // upper case, without ':'; a common command is one "*IDN"
  bool query = false;
  std::vector<std::string> parameters;  // trimmed, as sent
  // How many leading mnemonics came from the previous header's path: a
  // header after ';' without a leading ':' continues that path.
  std::size_t inherited = 0;
};

// The standard error numbers that this meter reports.
enum class terror_code {
  none = 0,
  command_error = -100,
  syntax_error = -102,
  parameter_not_allowed = -108,
  missing_parameter = -109,
  undefined_header = -113,
  invalid_suffix = -131,
  execution_error = -200,
  settings_conflict = -221,
  data_out_of_range = -222,
  data_stale = -230,
  queue_overflow = -350,
};

// ASCII upper case, as mnemonics and keywords compare.
std::string upper(std::string_view text);

// "Command error", "Syntax error", …
const char* error_text(terror_code code);

// The units of a line (without its line end). A unit that cannot be read
// becomes an error instead; the other units of the line still count.
struct tparsed_unit {
  std::optional<tprogram_unit> unit;
  terror_code error = terror_code::none;
};
std::vector<tparsed_unit> parse_line(std::string_view line);

// Whether a header pattern such as ":FREQuency[:CW]" or "*IDN" matches
// the unit's mnemonics: each node in its long form or the short form (its
// upper-case letters), bracketed nodes optional.
bool header_matches(std::string_view pattern, const std::vector<std::string>& mnemonics);

// A decimal number as the language writes it ("1000", "1E3", "+0.5"); no
// unit suffixes.
std::optional<double> parse_number(std::string_view text);

// Where a setting has a range, MINimum, MAXimum and DEFault name its ends
// and its start value.
struct tnumeric_range {
  double minimum = 0.0;
  double maximum = 0.0;
  double preset = 0.0;
};

struct tnumeric {
  std::optional<double> value;
  terror_code error = terror_code::none;  // why there is none
};

// A number with an optional multiplier and unit as the language writes
// them ("1KHZ", "1E3HZ", "100 MV", "1V"; MHZ and MOHM are mega, as lab
// tools mean them), in the unit's base; with a range also MIN, MAX, DEF.
tnumeric parse_numeric(std::string_view text, std::string_view unit, const tnumeric_range* range = nullptr);

// ON/OFF/1/0.
std::optional<bool> parse_boolean(std::string_view text);

}  // namespace scpi
