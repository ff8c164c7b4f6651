// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_stream.h"

#include "engine/core/settings.h"
#include "engine/measurement/engine_state.h"

#include "audio/streaming.h"

#include <algorithm>
#include <iterator>
#include <mutex>

namespace lcr {

namespace {

std::size_t period_length(const tanalyser_grid& grid)
{
  return static_cast<std::size_t>(grid.period);
}

// Jobs the worker can no longer be using: it uses only the one whose
// publication it acknowledged. Taken out under publication_lock and freed
// by the caller after it, so the worker never waits on a free.
std::vector<std::shared_ptr<tanalyser_job>> take_releasable_jobs_locked()
{
  std::vector<std::shared_ptr<tanalyser_job>> releasable;
  const auto kept = std::stable_partition(
      engine.analyser_retired.begin(), engine.analyser_retired.end(),
      [](const std::shared_ptr<tanalyser_job>& job) { return job->generation() == engine.analyser_acknowledged; });
  std::move(kept, engine.analyser_retired.end(), std::back_inserter(releasable));
  engine.analyser_retired.erase(kept, engine.analyser_retired.end());
  return releasable;
}

}  // namespace

struct tanalyser_worker {
  static void restart(tanalyser_job& job)
  {
    job.play_index_ = 0;
    job.recorded_ = 0;
    job.last_window_start_ = -1;
    std::fill(job.block_states_.begin(), job.block_states_.end(), signal_ok);
    job.run_broken_ = false;
  }

  static void play(tanalyser_job& job, double level)
  {
    const double amplitude = tone_amplitude(level);
    const std::vector<double>& samples = job.sine_.samples;
    const auto period = static_cast<std::int64_t>(samples.size());
    for (double& sample : engine.tone_buffer) {
      // The same dither as the single tone's decorrelates the rounding.
      sample = samples[static_cast<std::size_t>(job.play_index_)] * amplitude + (engine.dither_source.next() - 0.5);
      job.play_index_ = (job.play_index_ + 1) % period;
    }
  }

  static void record(tanalyser_job& job)
  {
    const std::size_t period = period_length(job.grid_);
    auto write = static_cast<std::size_t>(job.recorded_ % static_cast<std::int64_t>(period));
    for (std::size_t i = 0; i < waveio::block_frames; ++i) {
      job.ring_left_[write] = waveio::stream.inblock_left[i];
      job.ring_right_[write] = waveio::stream.inblock_right[i];
      write = write + 1 == period ? 0 : write + 1;
    }
    job.recorded_ += waveio::block_frames;
  }

  // The newest period in time order, from the oldest sample in the ring.
  static void unroll(tanalyser_job& job)
  {
    const std::size_t period = period_length(job.grid_);
    const auto oldest = static_cast<std::ptrdiff_t>(job.recorded_ % static_cast<std::int64_t>(period));
    std::rotate_copy(job.ring_left_.begin(), job.ring_left_.begin() + oldest, job.ring_left_.end(),
                     job.period_left_.begin());
    std::rotate_copy(job.ring_right_.begin(), job.ring_right_.begin() + oldest, job.ring_right_.end(),
                     job.period_right_.begin());
  }

  static void analyse_and_publish(tanalyser_job& job, std::int64_t window_start)
  {
    unroll(job);
    job.analysis_.analyse(job.period_left_, job.period_right_, job.windows_);
    const std::lock_guard lock(publication_lock);
    tanalyser_period& published = job.published_;
    std::copy(job.windows_.begin(), job.windows_.end(), published.points.begin());
    ++published.index;
    if (job.run_broken_) ++published.run;
    published.tag = engine.block_tag;
    published.signal_state = *std::max_element(job.block_states_.begin(), job.block_states_.end());
    job.run_broken_ = false;
    job.last_window_start_ = window_start;
  }

  static void collect(tanalyser_job& job, std::int64_t block_start, bool delayed, int block_signal_state)
  {
    const auto block = static_cast<std::size_t>(job.recorded_ / waveio::block_frames) % job.block_states_.size();
    job.block_states_[block] = block_signal_state;
    record(job);
    const auto period = static_cast<std::int64_t>(period_length(job.grid_));
    if (job.recorded_ < period) return;
    // The window holds the newest period; a delayed channel's begins one
    // sample earlier.
    const std::int64_t window_start = block_start + waveio::block_frames - period - (delayed ? 1 : 0);
    const twindow_verdict verdict = engine.settling.judge_window(window_start);
    if (verdict.spans_dropout) {
      job.run_broken_ = true;
      job.last_window_start_ = -1;
      return;
    }
    if (!verdict.settled) return;
    // Whole periods one after another: each period's noise is its own.
    if (job.last_window_start_ >= 0 && window_start < job.last_window_start_ + period) return;
    analyse_and_publish(job, window_start);
  }
};

tanalyser_job::tanalyser_job(const tanalyser_grid& grid, const tmultisine_shape& shape)
    : grid_(grid), sine_(make_multisine(grid, shape)), analysis_(grid), ring_left_(period_length(grid)),
      ring_right_(period_length(grid)), period_left_(period_length(grid)), period_right_(period_length(grid)),
      windows_(grid.size()),
      // Every block a period's window touches, and no older one.
      block_states_(static_cast<std::size_t>((grid.period + waveio::block_frames - 1) / waveio::block_frames + 1))
{
  published_.points.resize(grid.size());
}

void publish_analyser_job(std::shared_ptr<tanalyser_job> job)
{
  std::vector<std::shared_ptr<tanalyser_job>> released;  // freed after the lock
  const std::lock_guard lock(publication_lock);
  const unsigned generation = ++engine.analyser_publications;
  if (job) job->generation_ = generation;
  if (engine.analyser_job) engine.analyser_retired.push_back(std::move(engine.analyser_job));
  engine.analyser_job = std::move(job);
  settings.analyser_generation = generation;
  released = take_releasable_jobs_locked();
}

bool take_analyser_period(const tanalyser_job& job, std::int64_t after, tanalyser_period& period)
{
  std::vector<std::shared_ptr<tanalyser_job>> released;  // freed after the lock
  const std::lock_guard lock(publication_lock);
  released = take_releasable_jobs_locked();
  if (job.published_.index <= after) return false;
  period = job.published_;
  return true;
}

unsigned analyser_generation()
{
  return settings.analyser_generation.load();
}

tanalyser_job* take_published_analyser_job()
{
  if (settings.analyser_generation.load() == engine.analyser_acknowledged) return engine.analyser_in_use;
  const std::lock_guard lock(publication_lock);
  tanalyser_job* job = engine.analyser_job.get();
  if (job != engine.analyser_in_use && job != nullptr) tanalyser_worker::restart(*job);
  engine.analyser_in_use = job;
  engine.analyser_acknowledged = settings.analyser_generation.load();
  return job;
}

void make_analyser_tone(tanalyser_job& job, double level)
{
  tanalyser_worker::play(job, level);
}

void collect_analyser_block(tanalyser_job& job, std::int64_t block_start, bool delayed, int block_signal_state)
{
  tanalyser_worker::collect(job, block_start, delayed, block_signal_state);
}

}  // namespace lcr
