#include "arguments.h"

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
      values_.emplace_back(std::string(argument), std::string(arguments[++i]));
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
  struct suffix {
    std::string_view text;
    double factor;
  };
  static constexpr suffix suffixes[] = {{"f", 1e-15}, {"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6},
                                        {"\xC2\xB5", 1e-6}, {"m", 1e-3}, {"k", 1e3}, {"M", 1e6},
                                        {"G", 1e9}};
  for (const suffix& s : suffixes) {
    if (text.size() > s.text.size() && text.ends_with(s.text)) {
      const auto mantissa = parse_number(text.substr(0, text.size() - s.text.size()));
      if (!mantissa) return std::nullopt;
      return *mantissa * s.factor;
    }
  }
  return parse_number(text);
}

}  // namespace quarvel_cli
