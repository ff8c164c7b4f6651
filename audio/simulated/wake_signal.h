// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Wakes a waiting thread without a lock: notify() never blocks, wait() sleeps
// until the value has moved on from the one seen, until an absolute deadline
// on steady_clock, or spuriously. Unlike std::atomic::wait it takes a
// timeout; unlike a condition variable the notifier takes no lock. A Linux
// futex.

#include <atomic>
#include <chrono>
#include <optional>

namespace waveio {

class twake_signal {
 public:
  int value() const { return std::atomic_ref<int>(word_).load(std::memory_order_acquire); }
  void notify();
  // Without a deadline, waits until notified.
  void wait(int seen, std::optional<std::chrono::steady_clock::time_point> deadline) const;

 private:
  alignas(std::atomic_ref<int>::required_alignment) mutable int word_ = 0;
};

}  // namespace waveio
