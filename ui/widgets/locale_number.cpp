// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/locale_number.h"

#include "ui/widgets/engine_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

std::optional<double> parse_locale_number(const QString& text, char separator)
{
  std::string digits = text.trimmed().toStdString();
  const char other = separator == ',' ? '.' : ',';
  if (digits.empty() || digits.find(other) != std::string::npos) return std::nullopt;
  std::replace(digits.begin(), digits.end(), separator, '.');
  double value = 0.0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

QString frequency_text(double frequency_hz)
{
  return frequency_hz >= 1000.0 ? QString::number(frequency_hz / 1000.0) + ' ' + unit_text("KHz")
                                : QString::number(frequency_hz) + QStringLiteral(" Hz");
}
