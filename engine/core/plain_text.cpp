// SPDX-License-Identifier: GPL-3.0-or-later
#include "plain_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace lcr {

std::string round_trip_number(double value)
{
  std::array<char, 32> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc{} ? std::string(digits.data(), end) : std::string("0");
}

std::optional<double> finite_number(std::string_view field)
{
  double value = 0.0;
  const char* const end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::vector<std::string_view> words_of(std::string_view line, std::string_view blanks)
{
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const auto start = line.find_first_not_of(blanks);
    if (start == std::string_view::npos) break;
    line.remove_prefix(start);
    const auto stop = line.find_first_of(blanks);
    words.push_back(line.substr(0, stop));
    if (stop == std::string_view::npos) break;
    line.remove_prefix(stop);
  }
  return words;
}

}  // namespace lcr
