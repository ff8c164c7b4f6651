// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A file's bytes as a string, and a string written as a file's bytes.

#include <fstream>
#include <sstream>
#include <string>

namespace quarvel_test {

inline std::string read_file(const std::string& file)
{
  std::ifstream input(file, std::ios::binary);
  std::ostringstream text;
  text << input.rdbuf();
  return text.str();
}

inline void write_file(const std::string& file, const std::string& text)
{
  std::ofstream output(file, std::ios::binary);
  output << text;
}

}  // namespace quarvel_test
