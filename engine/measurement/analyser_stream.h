// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The impedance analyser on the streaming worker: while a job is published,
// the worker plays its multisine instead of the meter's tone, collects both
// inputs in a ring one period long and, once a whole period has been
// recorded under the settings the job runs with, analyses it and hands the
// period's points to the consumer whole, under `publication_lock`. The
// meter's own evaluations rest meanwhile: its tone is not playing.
//
// A job is built on the consumer's thread (it allocates everything the
// worker needs) and published; the worker takes a raw pointer to it and
// acknowledges the publication's generation. A replaced job is kept until
// the worker has acknowledged a newer one, so the worker never frees nor
// allocates.

#include "engine/measurement/settling.h"
#include "engine/signal/analyser_grid.h"
#include "engine/signal/multisine.h"
#include "engine/signal/period_analysis.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace lcr {

// One analysed period as the consumer receives it.
struct tanalyser_period {
  std::int64_t index = 0;   // periods published for the job so far; 0: none yet
  // Counts the runs of periods the job has made: a new run begins after a
  // dropout, so that periods from either side are never averaged together.
  std::int64_t run = 0;
  tmeasure_tag tag;         // the settings the whole period was recorded under
  int signal_state = 0;     // the worst level code of the period's blocks
  std::vector<tpoint_window> points;
};

class tanalyser_job {
public:
  tanalyser_job(const tanalyser_grid& grid, const tmultisine_shape& shape = {});

  const tanalyser_grid& grid() const { return grid_; }
  const tmultisine& excitation() const { return sine_; }
  unsigned generation() const { return generation_; }

private:
  friend void publish_analyser_job(std::shared_ptr<tanalyser_job> job);
  friend bool take_analyser_period(const tanalyser_job& job, std::int64_t after, tanalyser_period& period);
  friend struct tanalyser_worker;

  tanalyser_grid grid_;
  tmultisine sine_;
  unsigned generation_ = 0;

  // The worker's, from publication on.
  tperiod_analysis analysis_;
  std::vector<double> ring_left_;
  std::vector<double> ring_right_;
  std::vector<double> period_left_;   // the ring in time order
  std::vector<double> period_right_;
  std::vector<tpoint_window> windows_;
  std::int64_t play_index_ = 0;
  std::int64_t recorded_ = 0;         // samples put into the rings
  std::int64_t last_window_start_ = -1;
  std::vector<int> block_states_;     // level codes of the blocks in the ring, by block
  bool run_broken_ = false;

  // Under publication_lock.
  tanalyser_period published_;
};

// Consumer: starts the analyser with `job` (nullptr stops it). The worker
// takes it with its next block.
void publish_analyser_job(std::shared_ptr<tanalyser_job> job);

// Consumer: copies the job's newest period into `period` when it is newer
// than `after` (an index); false when there is none.
bool take_analyser_period(const tanalyser_job& job, std::int64_t after, tanalyser_period& period);

// The generation of the publication in force (0: the analyser was never
// started). Any thread.
unsigned analyser_generation();

// Worker: the job published now, or none; acknowledges its generation.
tanalyser_job* take_published_analyser_job();
// Worker: one block of the job's excitation into the engine's tone buffer.
void make_analyser_tone(tanalyser_job& job, double level);
// Worker: the block just read (in waveio's input block), which began at
// input frame `block_start`, with its own level code; analyses and
// publishes a period once one has been recorded wholly under the block's
// settings.
void collect_analyser_block(tanalyser_job& job, std::int64_t block_start, bool delayed, int block_signal_state);

}  // namespace lcr
