// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A single-producer, single-consumer queue of buffer descriptors without
// locks: the streaming side queues buffers, a device's audio callback takes
// them in the same order. Neither side blocks or allocates after
// construction. The producer (or consumer) may move to another thread only
// with a happens-before edge between the two, such as a stream being
// started or stopped.

#include "audio/wave_backend.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace waveio {

class theader_queue {
public:
  explicit theader_queue(std::size_t capacity) : slots_(capacity + 1) {}

  // False when the queue is full.
  bool push(twave_header* header)
  {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t next = advance(tail);
    if (next == head_.load(std::memory_order_acquire)) return false;
    slots_[tail] = header;
    tail_.store(next, std::memory_order_release);
    return true;
  }

  // nullptr when the queue is empty.
  twave_header* pop()
  {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    twave_header* const header = slots_[head];
    head_.store(advance(head), std::memory_order_release);
    return header;
  }

private:
  std::size_t advance(std::size_t index) const { return index + 1 == slots_.size() ? 0 : index + 1; }

  std::vector<twave_header*> slots_;
  std::atomic<std::size_t> head_{0};
  std::atomic<std::size_t> tail_{0};
};

}  // namespace waveio
