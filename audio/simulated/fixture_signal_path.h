// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated fixture's signal path: from the block the card plays to the
// two channels it records.
//
// Both inputs come three blocks late, the converters' delay of this card
// (fixture_converter_delay_frames): the same on both channels, so that
// their ratio is untouched. The left input records left gain × the drive of
// three blocks before. The right input's response to the drive (gain,
// mismatch, divider and crosstalk; see fixture_circuit.h) is sampled every
// 0.25 Hz, 0 … 24 kHz, with that delay, and turned into a real FIR of
// 192000 taps, the analyser's longest period (four seconds). A steady
// signal made of multiples of 0.25 Hz up to 0.45 × 48 kHz (every test
// frequency, every analyser bin, the fine ones around a resonance too) thus
// comes out scaled by exactly the circuit's response at each of them, to
// rounding. The FIR is applied by partitioned overlap-save convolution in
// two levels: its first ten blocks of taps in partitions of one block,
// against the spectra of the last ten drive blocks; the rest in 14
// partitions of ten blocks, against the spectra of the last 14 ten-block
// chunks, once per chunk. Then come the one-sample delay, the channel swap,
// the noise and, last, the 16-bit quantiser.
//
// Above 0.45 × 48 kHz, which the program never excites, the response fades
// smoothly into its real value at the Nyquist frequency. A circuit's
// response is not real there (a capacitor's is not), and a filter exact up
// to the Nyquist frequency would need drive from before its impulse, taking
// it from its last taps, four seconds late. Faded, it rings before its impulse
// for well under the converters' delay, and after it for as long as the
// circuit does. How long each reference's filter remembers the drive is
// measured when a model is built (fixture_latency_seconds).
//
// The delay also leaves room for the ringing before the impulse of the
// right input's phase lag, which fades in over 0 … 100 Hz: a lag constant
// in the audio band cannot be causal, and a block was too short a lead for
// its ringing to fade below what a recording shows, so that it would wrap
// round to the filter's end and count as four seconds' memory.
//
// A model holds everything a configuration fixes, for all six references at
// once: it is built on the configuring thread (FFT planning, filter design)
// and handed whole to the thread that runs the path.

#include "dut_network.h"  // dut_error
#include "fixture_config.h"
#include "audio/streaming.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace waveio {

inline constexpr int played_block_samples = 2 * block_frames;  // interleaved stereo
// The right channel's filter length, and the longest it remembers the drive.
inline constexpr int fixture_filter_taps = 4 * 48000;
inline constexpr double fixture_filter_memory_seconds = fixture_filter_taps / 48000.0;
// The converters' delay, both inputs alike: whole blocks, so that a
// recorded block is made of a block played before it, and longer than the
// filter rings before its impulse.
inline constexpr int fixture_converter_delay_frames = 3 * block_frames;
// The least latency a model reports, however soon its filters forget: the
// converters' delay and the block the filter's first taps reach into.
inline constexpr double fixture_least_latency_seconds = (fixture_converter_delay_frames + block_frames) / 48000.0;

// The two recorded channels of one block, before quantisation, in sample units.
struct trecorded_block {
  std::array<double, block_frames> left{};
  std::array<double, block_frames> right{};
};

class tfixture_model;
struct tfixture_model_deleter {
  void operator()(const tfixture_model* model) const;
};
using tfixture_model_ptr = std::unique_ptr<const tfixture_model, tfixture_model_deleter>;

// Builds the model of a configuration; for the configuring thread. Throws
// dut_error if the device network text is malformed.
tfixture_model_ptr make_fixture_model(const tfixture_config& config);

// How long after a change of drive the right channel holds what the
// reference's filter gives for the drive since the change alone, to within
// 1e-6 of its largest gain per unit of drive (see the .cpp): its memory,
// converters' delay included, rounded up to whole blocks, at least
// fixture_least_latency_seconds, at most fixture_filter_memory_seconds. The
// reference index is clamped to 0 … 5; without one, the longest of all six.
// Any thread.
double fixture_latency_seconds(const tfixture_model& model, int reference_index);
double fixture_latency_seconds(const tfixture_model& model);

// Owned by one thread at a time. Construction and destruction allocate;
// exchange_model and process do not.
class tsignal_path {
 public:
  explicit tsignal_path(tfixture_model_ptr model);
  explicit tsignal_path(const tfixture_config& config);
  ~tsignal_path();
  tsignal_path(const tsignal_path&) = delete;
  tsignal_path& operator=(const tsignal_path&) = delete;

  // Installs a model from the next block on and returns the one it replaces.
  // The drive history carries over. The noise generator restarts only when
  // the new model's seed differs from the one in use.
  tfixture_model_ptr exchange_model(tfixture_model_ptr model);
  // The model in use, until the next exchange.
  const tfixture_model& model() const;

  // One block: `played` is the output block as played, interleaved, left
  // first; the reference index is clamped to 0 … 5. The card's mixer scales
  // the drive by `playback_gain` and both recorded channels by
  // `capture_gain`, before the channel delay, the swap and the noise.
  void process(std::span<const std::int16_t, played_block_samples> played, int reference_index,
               trecorded_block& recorded, double capture_gain = 1.0, double playback_gain = 1.0);

 private:
  struct tstate;
  std::unique_ptr<tstate> state_;
};

// The card's converter: round to nearest (ties to even), clip to
// −32768 … 32767.
std::int16_t quantise_sample(double value);

// Interleaves and quantises a recorded block.
void quantise_block(const trecorded_block& recorded,
                    std::span<std::int16_t, played_block_samples> interleaved);

}  // namespace waveio
