// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Command-line argument reading for quarvel-cli: options by name, values
// checked against the accepted ones, numbers parsed without the C locale.
// Every bad argument becomes a usage_error whose text names the argument and
// what it accepts; the program prints it in one line and exits with 2.

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel_cli {

class usage_error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class argument_list {
public:
  // `flags` take no value; every other option takes exactly one.
  argument_list(std::span<const char* const> arguments, std::vector<std::string_view> options_with_value,
                std::vector<std::string_view> flags);

  std::optional<std::string> value(std::string_view option) const;
  bool flag(std::string_view option) const;

private:
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> flags_;
};

// A number with "." as decimal point and an optional SI prefix
// (f p n u µ m k M G), as in device networks; nullopt otherwise.
std::optional<double> parse_si_number(std::string_view text);

// A plain decimal number (no suffix), nullopt if it is not one.
std::optional<double> parse_number(std::string_view text);

}  // namespace quarvel_cli
