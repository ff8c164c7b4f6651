// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated measuring fixture as a sound device family: one input and
// one output device, both "Simulierter Messaufbau", wired to the virtual
// divider of fixture_config.h. Lets the meter run without hardware.
//
// Format: stereo, 16 bit, 48000 Hz; buffers of 1280 frames. Input and output
// share one clock and advance in lock-step: the output block played in a
// step (silence if none is queued) reaches the recording through the
// converters one block later (fixture_signal_path.h): a recorded block holds
// the drive up to the block played in the step before. Recording starts
// with the input's start(); the output plays only while the input records,
// except that an output opened alone plays through its queue in real time.
//
// Clocks (tfixture_config::clock):
// - real time: a block every 1280 frames of wall-clock time; a block with no
//   input buffer queued is lost, as on a sound card;
// - virtual time: the next block is made as soon as every buffer returned
//   so far, recorded and played, has been queued again, so none is lost and
//   the stream runs as fast as its consumer. A played buffer comes back when
//   the recorded buffer of its block is queued again. Buffers not queued
//   again within 20 ms get the input's event set again, for a worker that
//   woke before it was ready to take them.
//
// Threads: the fixture runs its own device thread. The device operations
// belong to the streaming layer's threads, as in wave_backend.h; add_buffer
// and write never block. The device thread never blocks on, nor allocates in,
// anything those operations hold. Handles must be closed or destroyed before
// the fixture.

#include "dut_network.h"  // dut_error
#include "fixture_config.h"
#include "audio/wave_backend.h"

#include <functional>
#include <memory>
#include <string>

namespace waveio {

inline constexpr const char* simulated_fixture_name = "Simulierter Messaufbau";

class tsimulated_device;

class tsimulated_fixture final : public twave_backend {
 public:
  // Returns the selected reference index (0 … 5; clamped). Called on the
  // device thread once per block and wherever the input's latency is read
  // (any thread), so it must neither block nor allocate.
  using treference_source = std::function<int()>;

  // Throws dut_error if the configuration's device network is malformed.
  explicit tsimulated_fixture(treference_source reference_index, const tfixture_config& config = {});
  ~tsimulated_fixture() override;  // stops and joins the device thread
  tsimulated_fixture(const tsimulated_fixture&) = delete;
  tsimulated_fixture& operator=(const tsimulated_fixture&) = delete;

  // Any thread but the device thread, at any time, also while streaming: the
  // device takes the new configuration at its next block without waiting.
  // Throws dut_error on a malformed device network; the old one stays.
  void set_configuration(const tfixture_config& config);
  tfixture_config configuration() const;

  // The simulated card's mixer volumes (0 … 65535; see fixture_config.h),
  // which its devices' mixers set; any thread, taken at the next block.
  void set_mixer_volume(tmixer_target side, std::uint32_t value);
  std::uint32_t mixer_volume(tmixer_target side) const;

  // Injects a fault at a block counted by blocks_recorded(), one of each
  // kind pending at a time: the block (or, for a stall, the blocks before
  // it) goes wrong as on a real card, and the next buffer recorded comes
  // back marked WHDR_DROPOUT, as a real card's overflow or underrun is
  // reported. A real-time device also marks a stall of its own thread and
  // every block it had no buffer for. Any thread.
  void inject_fault(tfixture_fault fault, std::int64_t at_block, int length = 1);
  // Blocks made while the input records, since the fixture was created.
  std::int64_t blocks_recorded() const;

  int in_device_count() override { return 1; }
  int out_device_count() override { return 1; }
  std::string in_device_name(int id) override;
  std::string out_device_name(int id) override;
  int open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
              tauto_reset_event* event) override;
  int open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format) override;

 private:
  std::unique_ptr<tsimulated_device> device_;
};

}  // namespace waveio
