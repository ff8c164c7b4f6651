// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated fixture's device: its thread, its clocks and the queues of
// both directions. Internal to quarvel_audio_sim; the device family of
// simulated_fixture.h is its public face, whose contract this follows.

#include "fixture_config.h"
#include "fixture_signal_path.h"
#include "audio/portaudio/header_queue.h"
#include "wake_signal.h"
#include "audio/wave_backend.h"

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace waveio {

// One direction's queue. The streaming side pushes; the device thread pops,
// or a reset or close while the device is kept out.
struct tfixture_direction {
  static constexpr std::size_t capacity = 512;

  bool push(twave_header& header)
  {
    if (!queue.push(&header)) return false;
    queued.fetch_add(1);
    return true;
  }
  twave_header* pop()
  {
    twave_header* header = queue.pop();
    if (header != nullptr) queued.fetch_sub(1);
    return header;
  }
  // Counted before the done bit is seen, so that the requeue which follows
  // finds it counted.
  void give_back(twave_header& header)
  {
    outstanding.fetch_add(1);
    header.flags.fetch_or(WHDR_DONE, std::memory_order_release);
  }
  void requeued()
  {
    int count = outstanding.load();
    while (count > 0 && !outstanding.compare_exchange_weak(count, count - 1)) {
    }
  }

  // Gives back a buffer the device holds on to, if any.
  void release_held()
  {
    if (twave_header* header = held.exchange(nullptr)) give_back(*header);
  }

  theader_queue queue{capacity};
  std::atomic<int> queued{0};                // may read one low while a push is under way
  std::atomic<int> outstanding{0};           // returned by the device, not yet queued again
  std::atomic<twave_header*> held{nullptr};  // output: played, not yet returned
  std::atomic<bool> open{false};
  std::atomic<bool> started{false};   // input: from start() to reset or close
  std::atomic<bool> draining{false};  // a reset or close keeps the device out
};

// Where a test may hold the device thread, to force an interleaving that
// the scheduler makes only rarely. Empty in the program.
struct tdevice_thread_seam {
  // In the thread's loop: the wake word read, the stop flag not yet tested.
  std::function<void()> before_stop_test;
  // In the destructor: the stop flag stored and the thread woken, before
  // the join.
  std::function<void()> stop_signalled;
};

class tsimulated_device {
 public:
  tsimulated_device(std::function<int()> reference_index, const tfixture_config& config,
                    tdevice_thread_seam seam = {});
  ~tsimulated_device();
  tsimulated_device(const tsimulated_device&) = delete;
  tsimulated_device& operator=(const tsimulated_device&) = delete;

  void set_configuration(const tfixture_config& config);
  tfixture_config configuration() const;

  // The input's latency for the reference now selected, under the model in
  // use or, until the device takes a model handed over, the longer of the
  // two. Any thread.
  double latency_seconds() const;

  // The card's mixer, 0 … 65535; taken at the next block.
  void set_mixer_volume(tmixer_target side, std::uint32_t value);
  std::uint32_t mixer_volume(tmixer_target side) const;

  // Faults at a block counted by blocks_recorded(); see simulated_fixture.h.
  void inject_fault(tfixture_fault fault, std::int64_t at_block, int length);
  std::int64_t blocks_recorded() const { return blocks_recorded_.load(); }

  int open_input(tauto_reset_event* event);
  int add_input_buffer(twave_header& header);
  int start_input();
  void stop_input(bool closing);
  int open_output();
  int write_output(twave_header& header);
  void stop_output(bool closing);

 private:
  using tclock_time = std::chrono::steady_clock::time_point;

  // After a step: a block was made (look again at once), or sleep until a
  // time, or until woken.
  struct tnext {
    bool at_once = false;
    std::optional<tclock_time> until;
  };

  void run();
  tnext virtual_step();
  tnext real_time_step();
  bool recording() const;
  bool real_time_active() const;
  void run_block();
  void nudge_consumer();
  void adopt_pending_model();
  void stall_if_due(std::int64_t block);
  twave_header* play_next_output(bool recording, std::int64_t block);
  twave_header* record_block(std::int64_t block);
  void return_buffers(twave_header* played, twave_header* recorded);
  bool consumer_behind() const;
  int reference_index() const;
  void raise_latencies(const tfixture_model& model);
  void set_latencies(const tfixture_model& model);
  void keep_device_out(tfixture_direction& direction);
  int drain(tfixture_direction& direction);

  const std::function<int()> reference_source_;
  const tdevice_thread_seam seam_;
  tsignal_path path_;  // device thread (construction and destruction aside)

  mutable std::mutex configure_mutex_;  // serialises set_configuration
  tfixture_config config_;              // guarded by configure_mutex_

  // The device thread only ever try_locks this one.
  std::mutex handover_mutex_;
  tfixture_model_ptr pending_;  // built, not yet taken by the device
  tfixture_model_ptr retired_;  // replaced on the device, destroyed by the configuring thread
  // Each reference's latency in seconds, written under handover_mutex_:
  // raised before a model is handed over, set to the model's when the device
  // takes it, so that a longer one is seen no later than the model works.
  std::array<std::atomic<double>, reference_count> latency_seconds_{};

  std::atomic<tclock> clock_;
  std::atomic<std::uint32_t> capture_volume_;
  std::atomic<std::uint32_t> playback_volume_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> busy_{false};  // the device thread is inside a block
  std::atomic<tauto_reset_event*> event_{nullptr};
  std::atomic<std::int64_t> blocks_recorded_{0};  // blocks made while recording; device thread writes
  std::atomic<std::int64_t> drop_input_at_{-1};
  std::atomic<std::int64_t> skip_output_at_{-1};
  std::atomic<std::int64_t> stall_at_{-1};
  std::atomic<int> stall_blocks_{0};
  tfixture_direction in_;
  tfixture_direction out_;
  twake_signal wake_;

  // Device thread only.
  std::array<std::int16_t, played_block_samples> played_{};
  trecorded_block recorded_;
  bool dropout_pending_ = false;  // the next recorded buffer goes back marked WHDR_DROPOUT
  bool scheduled_ = false;
  tclock_time origin_{};
  long long blocks_done_ = 0;  // since origin_
  tclock_time last_return_{};

  std::thread thread_;  // started by the constructor once everything above exists
};

}  // namespace waveio
