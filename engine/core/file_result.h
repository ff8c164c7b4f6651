// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The outcome of reading or writing one of the operator's files.

#include <string>

namespace lcr {

// `message` is the German text for the operator ("E/A-Fehler 13", "'1,5'
// ist kein gültiger Gleitkommawert") and `file` the file it is about.
struct tfile_result {
  bool ok = true;
  std::string message;
  std::string file;

  // "Quarvel.cal: E/A-Fehler 13"; "" when all went well.
  std::string text() const
  {
    if (message.empty()) return {};
    return file.empty() ? message : file + ": " + message;
  }
};

inline tfile_result io_error(int error_number, const std::string& file)
{
  return {false, "E/A-Fehler " + std::to_string(error_number), file};
}

}  // namespace lcr
