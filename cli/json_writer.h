// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small writer for one-line JSON objects, numbers in the C locale's form
// whatever the user's locale.

#include <string>
#include <string_view>

namespace quarvel_cli {

class tjson_object {
public:
  tjson_object& add(std::string_view key, std::string_view text);
  tjson_object& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
  tjson_object& add(std::string_view key, double number);
  tjson_object& add(std::string_view key, int number);
  tjson_object& add(std::string_view key, bool value);
  tjson_object& add(std::string_view key, const tjson_object& object);
  tjson_object& add_null(std::string_view key);
  std::string text() const { return "{" + members_ + "}"; }

private:
  void add_raw(std::string_view key, std::string_view json_value);
  std::string members_;
};

// The text as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

}  // namespace quarvel_cli
