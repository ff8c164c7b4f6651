// SPDX-License-Identifier: GPL-3.0-or-later
#include "json_writer.h"

#include <array>
#include <charconv>
#include <cmath>

namespace quarvel_cli {

std::string json_string(std::string_view text)
{
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          constexpr std::string_view hex = "0123456789abcdef";
          quoted += "\\u00";
          quoted += hex[static_cast<unsigned char>(c) >> 4];
          quoted += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
          quoted += c;  // UTF-8 passes through
        }
    }
  }
  return quoted + "\"";
}

void tjson_object::add_raw(std::string_view key, std::string_view json_value)
{
  if (!members_.empty()) members_ += ",";
  members_ += json_string(key);
  members_ += ":";
  members_ += json_value;
}

tjson_object& tjson_object::add(std::string_view key, std::string_view text)
{
  add_raw(key, json_string(text));
  return *this;
}

tjson_object& tjson_object::add(std::string_view key, double number)
{
  if (!std::isfinite(number)) {
    add_raw(key, "null");  // JSON has no infinities
    return *this;
  }
  std::array<char, 64> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), number);
  add_raw(key, error == std::errc{} ? std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data()))
                                    : std::string_view("null"));
  return *this;
}

tjson_object& tjson_object::add(std::string_view key, int number)
{
  add_raw(key, std::to_string(number));
  return *this;
}

tjson_object& tjson_object::add(std::string_view key, bool value)
{
  add_raw(key, value ? "true" : "false");
  return *this;
}

tjson_object& tjson_object::add_null(std::string_view key)
{
  add_raw(key, "null");
  return *this;
}

tjson_object& tjson_object::add(std::string_view key, const tjson_object& object)
{
  add_raw(key, object.text());
  return *this;
}

}  // namespace quarvel_cli
