// SPDX-License-Identifier: GPL-3.0-or-later
#include "arguments.h"

#include "audio/simulated/dut_network.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quarvel_cli {

namespace {
bool contains(const std::vector<std::string_view>& names, std::string_view name)
{
  return std::find(names.begin(), names.end(), name) != names.end();
}
}  // namespace

argument_list::argument_list(std::span<const char* const> arguments, std::vector<std::string_view> options_with_value,
                             std::vector<std::string_view> flags)
{
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (contains(flags, argument)) {
      flags_.emplace_back(argument);
    } else if (contains(options_with_value, argument)) {
      if (i + 1 >= arguments.size()) throw usage_error(std::string(argument) + " needs a value");
      const std::string_view value = arguments[++i];
      // An empty text would match every device name and every path prefix.
      if (value.empty()) throw usage_error(std::string(argument) + ": the value is empty");
      values_.emplace_back(std::string(argument), std::string(value));
    } else {
      throw usage_error("unknown argument '" + std::string(argument) + "'");
    }
  }
}

std::optional<std::string> argument_list::value(std::string_view option) const
{
  // The last occurrence wins, as with most command-line tools.
  for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
    if (it->first == option) return it->second;
  }
  return std::nullopt;
}

bool argument_list::flag(std::string_view option) const
{
  return std::find(flags_.begin(), flags_.end(), option) != flags_.end();
}

std::optional<double> parse_number(std::string_view text)
{
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<double> parse_si_number(std::string_view text)
{
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || !std::isfinite(value)) return std::nullopt;
  const std::string_view rest(stop, static_cast<std::size_t>(end - stop));
  if (rest.empty()) return value;
  const auto prefix = waveio::leading_si_prefix(rest);
  if (!prefix || prefix->length != rest.size()) return std::nullopt;
  return value * prefix->factor;
}

}  // namespace quarvel_cli
