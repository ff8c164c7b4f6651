// SPDX-License-Identifier: GPL-3.0-or-later
#include "scpi_replies.h"

#include "engine/measurement/measurement_cycle.h"

#include <array>
#include <charconv>
#include <cmath>

namespace scpi {

std::string number_text(double value)
{
  if (std::isnan(value)) return number_text(not_a_number);
  if (std::isinf(value)) return number_text(value > 0.0 ? infinity_value : -infinity_value);
  if (std::fabs(value) < 1e15 && value == std::floor(value)) return std::to_string(static_cast<long long>(value));
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string numbers_text(std::initializer_list<double> values)
{
  std::string text;
  for (const double value : values) text += (text.empty() ? "" : ",") + number_text(value);
  return text;
}

int reading_status(const treading& reading)
{
  if (reading.unsettled) return -1;
  switch (reading.signal_state) {
    case lcr::signal_clipped: return 1;
    case lcr::signal_left_weak: return 2;
    default: return 0;  // a weak right input or a peak near full scale widen the deviation, which covers them
  }
}

}  // namespace scpi
