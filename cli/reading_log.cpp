// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading_log.h"

#include "engine/core/safe_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quarvel_cli {

namespace {

[[noreturn]] void fail(const std::string& path, int error_number)
{
  throw std::runtime_error(path + ": " + std::strerror(error_number));
}

}  // namespace

treading_log::treading_log(const std::string& path, const std::string& header) : path_(path)
{
  // Not blocking: a pipe nobody reads is an error, not a hang.
  descriptor_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (descriptor_ < 0) fail(path, errno);
  struct stat status {};
  if (::fstat(descriptor_, &status) != 0) fail(path, errno);
  if (S_ISDIR(status.st_mode)) fail(path, EISDIR);
  ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
  if (S_ISREG(status.st_mode) && status.st_size == 0) append(header);
}

treading_log::~treading_log()
{
  if (descriptor_ >= 0) ::close(descriptor_);
}

void treading_log::append(const std::string& line)
{
  if (const int error_number = lcr::write_all(descriptor_, line.data(), line.size()); error_number != 0) {
    fail(path_, error_number);
  }
}

std::string iso8601_now()
{
  const auto now = std::chrono::system_clock::now();
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char with_milliseconds[40];
  std::snprintf(with_milliseconds, sizeof with_milliseconds, "%.*s.%03dZ", static_cast<int>(length), text,
                static_cast<int>(milliseconds));
  return with_milliseconds;
}

}  // namespace quarvel_cli
