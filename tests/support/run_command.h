// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A shell command as a script runs it: everything it prints (standard
// output and standard error) and its exit code.

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace quarvel_test {

struct tcommand_run {
  int exit_code = -1;  // −1 when it could not start or did not exit by itself
  std::string output;
};

inline tcommand_run run_command(const std::string& command)
{
  tcommand_run result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) result.output += buffer.data();
  const int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace quarvel_test
