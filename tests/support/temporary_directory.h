// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace quarvel_test {

class temporary_directory {
public:
  temporary_directory()
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarvel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~temporary_directory()
  {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;

  const std::string& path() const { return path_; }

  // File names in the directory, sorted.
  std::vector<std::string> entries() const
  {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  std::string path_;
};

}  // namespace quarvel_test
