// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An auto-reset event: set() wakes one wait() (or the next one, if nobody
// waits yet); a successful wait clears the event again.
//
// set() never blocks and never allocates, so a device's audio callback may
// call it. Built on a C++20 atomic wait (a futex on Linux).

#include <atomic>

namespace waveio {

class tauto_reset_event {
public:
  void set()
  {
    signalled_.store(1, std::memory_order_release);
    signalled_.notify_one();
  }

  // Blocks, without time limit, until the event is set, then clears it.
  void wait()
  {
    while (signalled_.exchange(0, std::memory_order_acquire) == 0) {
      signalled_.wait(0, std::memory_order_relaxed);
    }
  }

  // Clears the event and reports whether it was set.
  bool try_wait() { return signalled_.exchange(0, std::memory_order_acquire) != 0; }

private:
  std::atomic<int> signalled_{0};  // int: the futex-sized type waits directly
};

}  // namespace waveio
