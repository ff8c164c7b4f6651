// SPDX-License-Identifier: GPL-3.0-or-later
#include "csv_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace lcr {

std::string csv_number(double value)
{
  if (!std::isfinite(value)) return {};
  std::array<char, 32> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{}) return {};
  return {digits.data(), static_cast<std::size_t>(end - digits.data())};
}

std::string csv_field(std::string_view text)
{
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string csv_line(std::initializer_list<std::string> fields)
{
  std::string line;
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) line += ',';
    line += field;
    first = false;
  }
  return line + "\r\n";
}

}  // namespace lcr
