#pragma once

// The instrument command language's grammar, as lab tools send it: a line
// holds program units separated by ';'; a unit is a header (':'-separated
// mnemonics, each in its long or short form, any case; '*' common commands;
// a trailing '?' for a query) and, after white space, parameters separated
// by ','. Pure functions; no state.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scpi {

struct tprogram_unit {
  std::vector<std::string> mnemonics;  // upper case, without ':'; a common command is one "*IDN"
  bool query = false;
  std::vector<std::string> parameters;  // trimmed, as sent
};

// The standard error numbers that this meter reports.
enum class terror_code {
  none = 0,
  command_error = -100,
  syntax_error = -102,
  parameter_not_allowed = -108,
  missing_parameter = -109,
  undefined_header = -113,
  execution_error = -200,
  settings_conflict = -221,
  data_out_of_range = -222,
  queue_overflow = -350,
};

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

// ON/OFF/1/0.
std::optional<bool> parse_boolean(std::string_view text);

}  // namespace scpi
