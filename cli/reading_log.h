// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reading log of `measure --csv FILE`: one CSV line per reading,
// appended and handed to the system at once, so that a run that is
// interrupted, even killed, keeps every line it printed.

#include <string>

namespace quarvel_cli {

class treading_log {
public:
  // Opens the file for appending, creating it, and writes `header` when it
  // is empty. Throws std::runtime_error ("FILE: message") when it cannot.
  treading_log(const std::string& path, const std::string& header);
  ~treading_log();
  treading_log(const treading_log&) = delete;
  treading_log& operator=(const treading_log&) = delete;

  // Throws std::runtime_error when the line cannot be written.
  void append(const std::string& line);

private:
  std::string path_;
  int descriptor_ = -1;
};

// The present time in UTC, ISO 8601 with milliseconds:
// "2026-12-09T01:23:45.678Z".
std::string iso8601_now();

}  // namespace quarvel_cli
