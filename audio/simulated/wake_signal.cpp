// SPDX-License-Identifier: GPL-3.0-or-later
#include "wake_signal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace waveio {

void twake_signal::notify()
{
  std::atomic_ref<int>(word_).fetch_add(1, std::memory_order_release);
  syscall(SYS_futex, &word_, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void twake_signal::wait(int seen, std::optional<std::chrono::steady_clock::time_point> deadline) const
{
  timespec at{};
  if (deadline) {
    const auto since_epoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline->time_since_epoch());
    at.tv_sec = static_cast<time_t>(since_epoch.count() / 1'000'000'000);
    at.tv_nsec = static_cast<long>(since_epoch.count() % 1'000'000'000);
  }
  // steady_clock is CLOCK_MONOTONIC, the clock of a bitset wait's absolute
  // timeout. EINTR, EAGAIN and ETIMEDOUT all mean: look again.
  syscall(SYS_futex, &word_, FUTEX_WAIT_BITSET_PRIVATE, seen, deadline ? &at : nullptr, nullptr,
          FUTEX_BITSET_MATCH_ANY);
}

}  // namespace waveio
