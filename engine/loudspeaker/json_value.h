// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small reader of JSON texts, for the curves the program writes itself:
// objects, arrays, strings, numbers, true, false and null, nested at most
// 32 deep. A text that is not one JSON value (with blanks around it) is
// refused whole, the place of the fault named as "Zeichen N" (bytes from
// 1). Numbers must be finite; strings come back as UTF-8.
//
// Pure functions; any thread.

#include <string>
#include <string_view>
#include <vector>

namespace lcr {

struct tjson_value {
  enum class tkind { null, boolean, number, string, array, object };
  tkind kind = tkind::null;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<tjson_value> items;  // an array's items, or an object's member values
  std::vector<std::string> names;  // an object's member names, beside `items`

  // The object's member of that name (the last, should there be several),
  // or nullptr.
  const tjson_value* member(std::string_view name) const;
};

struct tjson_reading {
  tjson_value value;
  std::string refusal;  // "Zeichen 12: …", or empty
  bool ok() const { return refusal.empty(); }
};

tjson_reading parse_json(std::string_view text);

}  // namespace lcr
