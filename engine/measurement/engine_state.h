// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's working state: what the streaming worker computes with and
// the latest evaluation's results it publishes. The measurement cycle and
// the set-up tests both work on it; neither needs the other for that.
//
// The worker is the only writer of the state below but where a field says
// otherwise; the window reads results through the snapshot functions of the
// measurement cycle, which copy under `publication_lock`.

#include "engine/core/complex_math.h"
#include "engine/core/settings.h"
#include "engine/measurement/settling.h"
#include "engine/quantities/quantities.h"
#include "engine/signal/noise_floor.h"
#include "engine/signal/ratio_scatter.h"
#include "engine/signal/tone_analysis.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace lcr {

class tanalyser_job;

inline constexpr int eval_stride = 2400;         // samples between evaluations
inline constexpr int plot_history_length = 1000;

// `signal_state` codes, in rising severity of what they report.
inline constexpr int signal_ok = 0;              // both inputs 30 … 29767 peak
inline constexpr int signal_left_weak = 1;       // left below 30
inline constexpr int signal_right_weak = 2;      // right below 30
inline constexpr int signal_near_full_scale = 3; // a peak beyond ±29767
inline constexpr int signal_clipped = 4;         // a peak at full scale

// The dither's uniform source in [0, 1): xorshift64*, cheap enough to run
// for every output sample.
class tdither_source {
public:
  double next()
  {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<double>((state_ * 0x2545F4914F6CDD1DULL) >> 11) * 0x1.0p-53;
  }

private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// One test frequency of the multitone: averaged like the single tone, with
// its own scatter. Worker only; `averaged`, `amplitude` and `spread` are
// published with each evaluation.
struct tmultitone_bin {
  tavg avg_re;
  tavg avg_im;
  tratio_scatter scatter;
  tnoise_average noise;      // beside the tone, per window
  tcomplex single;           // this evaluation's ratio
  tcomplex averaged;         // the mean ratio
  double amplitude = 0.0;    // the left input's amplitude in this bin, sample units
  twindow_noise noise_mean;  // over the averaged windows
  tratio_spread spread;      // of the mean, once settled
  tratio_spread noise_spread;  // of the mean from the noise beside the tone, once settled
};

struct tengine_state {
  // Working objects (worker only).
  tdft dft_ch1;
  tdft dft_ch2;
  tbuff ring_ch1;
  tbuff ring_ch2;
  tavg avg_re;
  tavg avg_im;
  tnoise_average noise;       // beside the tone, per window
  std::array<tnoise_bins, freq_count> noise_bins{};  // per test frequency, for dft_ch1.n
  tdata tone_buffer;
  double tone_phase = 0.0;    // cycles, 0 ≤ phase < 1
  tdither_source dither_source;
  std::array<double, freq_count> multitone_phase{};  // cycles, one per test frequency
  std::array<tmultitone_bin, freq_count> multitone;
  tlcr_strings ref_quantity_work;  // the worker formats here, then publishes
  tsettling settling;
  tmeasure_tag block_tag;      // the settings the latest block was made under
  tratio_scatter scatter;      // single ratios since the reading last settled
  int built_ft_factor = 1;     // as the last rebuild built the transforms
  int built_avg_count = 0;     // and the averagers

  // Results of the latest evaluation: written by the worker under
  // `publication_lock`; the worker may read them without it.
  tcomplex avg_ratio;
  tcomplex ratio_xtalk;
  tcomplex ratio_corrected;
  tcomplex z_raw;             // ohm
  tcomplex y_raw;             // siemens
  tcomplex z_open_corrected;  // ohm
  tcomplex display_z;         // ohm; follows only while display_running
  tcomplex z;                 // ohm; the latest evaluation's, also while the display stands
  double channel1_amplitude = 0.0;  // sample units
  tmeasure_tag tag;           // the settings the latest evaluation was made under
  bool settled = false;       // every evaluation averaged into it counts as settled
  bool resettling_after_dropout = false;
  tratio_spread ratio_spread; // of the averaged ratio, from the scatter of the single ones
  tratio_spread noise_spread; // of the averaged ratio, from the noise beside the tone
  twindow_noise noise_mean;   // beside the tone, mean over the averaged windows
  int signal_state = signal_ok;     // accumulated until the window resets it
  int latest_signal_state = signal_ok;  // of the latest evaluation alone
  std::array<std::vector<double>, 2> plot_history;  // empty until the plot sizes it
  std::vector<std::uint8_t> plot_settled;  // beside it: whether each value had settled
  int plot_write_index = 0;
  std::int64_t evaluation_count = 0;  // measurement evaluations averaged since start
  // An evaluation of a real signal has been made: a window recorded wholly
  // after the tone reached the input, the left input not silent. Until
  // then the display stays empty and the time course unwritten: what the
  // first windows hold (silence, a tone on its way) is no reading.
  bool signal_seen = false;
  std::int64_t left_out_count = 0;    // evaluations left out: their window spanned a dropout
  double recommended_ref_ohm = 0.0;   // published with ref_quantity's texts
  // The multitone's eight points of the latest evaluation (with `tag`).
  std::array<tcomplex, freq_count> multitone_ratio{};
  std::array<tratio_spread, freq_count> multitone_spread{};
  std::array<tratio_spread, freq_count> multitone_noise_spread{};
  std::array<twindow_noise, freq_count> multitone_noise{};
  std::array<double, freq_count> multitone_amplitude{};
  int published_transform_length = 0; // dft_ch1.n of the latest evaluation

  // The displayed quantities and the recommendation's record. The window
  // writes quantity/circuit of the first two under `publication_lock`;
  // ref_quantity's texts are published by the worker under the same lock.
  tlcr_strings first_quantity;
  tlcr_strings second_quantity;
  tlcr_strings ref_quantity;

  // The impedance analyser (analyser_stream.h). The published job and the
  // replaced ones are the consumer's, under `publication_lock`; the worker
  // writes the generation it acknowledged under the lock and keeps a plain
  // pointer to the job it runs.
  std::shared_ptr<tanalyser_job> analyser_job;
  std::vector<std::shared_ptr<tanalyser_job>> analyser_retired;
  unsigned analyser_publications = 0;
  unsigned analyser_acknowledged = 0;
  tanalyser_job* analyser_in_use = nullptr;
};

// The one instance.
extern tengine_state engine;

// Program-start state of the engine (a test's fresh state). Not while the
// worker runs.
void reset_engine_state();

// The tone's amplitude in sample units for a `tone_level` (65535 / 20000 per
// unit: "Pegel" "1.00" is 32767.5).
constexpr double tone_amplitude(double level)
{
  return level * 65535.0 / 20000.0;
}

}  // namespace lcr
