// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_field.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace lcr {

std::string calibration_field(double value)
{
  if (!std::isfinite(value)) value = 0.0;
  std::array<char, 48> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                          std::chars_format::scientific, 7);
  const std::string_view text(digits.data(), static_cast<std::size_t>(end - digits.data()));
  const auto e = text.find('e');
  std::string exponent(text.substr(e + 2));
  while (exponent.size() < 3) exponent.insert(exponent.begin(), '0');
  std::string field = std::string(text.substr(0, e)) + "E" + text[e + 1] + exponent;
  if (field.size() < 15) field.insert(0, 15 - field.size(), ' ');
  return field;
}

}  // namespace lcr
