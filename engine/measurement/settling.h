// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// When a reading can be trusted: every evaluation it averages analysed a
// window recorded wholly after the settings it claims had taken effect at
// the inputs, and no dropout touched it.
//
// Each change takes effect at a known place in the stream, in input frames:
// - a new tone (frequency, level, a test) with the first block written with
//   it, which the input records after the output's lead and the devices'
//   latency;
// - a new reference, channel order or sample offset, or a settling asked
//   for from outside (another part at the terminals), at the device's
//   record position now plus its latency;
// - a rebuild ("FT Faktor", "Mittelwert") with the next block read, since
//   the rings start over with zeros.
// The streaming layer adds where its output's first block arrived and where
// dropouts lie. A window that spans a dropout is left out altogether; one
// that starts before a change is evaluated but does not count as settled.
//
// tsettling is the worker's; the tag travels with the published results and
// the window's thread compares it with the settings in force.

#include <cstdint>
#include <optional>

namespace lcr {

// The settings an evaluation was made under.
struct tmeasure_tag {
  int freq_index = -1;
  int ref_index = -1;
  double tone_level = -1.0;
  int ft_factor = 0;   // as built: clamped to 1 … 16
  int avg_count = 0;   // as built
  int test_mode = 0;
  int sample_offset = 0;
  bool swap_channels = false;
  unsigned settle_generation = 0;
  bool multitone = false;  // the eight test frequencies at once
  unsigned analyser_generation = 0;  // the impedance analyser's publication in force

  friend bool operator==(const tmeasure_tag&, const tmeasure_tag&) = default;
};

// The settings in force now, as the next rebuild would build them. Any
// thread.
tmeasure_tag current_measure_tag();

// What the worker makes of one evaluation's window.
struct twindow_verdict {
  bool spans_dropout = false;  // leave the evaluation out
  bool settled = false;        // recorded wholly under the present settings
};

class tsettling {
public:
  // The rings and averagers were built afresh; the next block read starts
  // at `next_block_frame`.
  void rebuilt(std::int64_t next_block_frame);
  // A block was read and its tone written under `tag`.
  void block_made(const tmeasure_tag& tag);
  // An evaluation's window starts at `window_start` (input frames).
  twindow_verdict judge_window(std::int64_t window_start) const;
  // The evaluation was averaged in (with its window's verdict), or left out.
  void averaged(bool window_settled);
  void left_out();

  // Whether the newest `averaged_count` evaluations all count as settled.
  bool settled(int averaged_count) const { return run_ >= averaged_count; }
  // Evaluations in a row that count as settled.
  int settled_run() const { return run_; }
  // A dropout has been seen and the reading has not settled since.
  bool resettling_after_dropout() const { return after_dropout_; }
  // The reading has settled again after a dropout.
  void settled_again() { after_dropout_ = false; }

private:
  std::int64_t settled_from_ = 0;
  std::int64_t tone_arrival_before_latency_ = 0;  // where the newest tone arrives, but for the devices' latency
  int run_ = 0;
  bool after_dropout_ = false;
  std::optional<tmeasure_tag> last_;
};

}  // namespace lcr
