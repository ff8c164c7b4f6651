// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The measurement cycle: for every recorded block, the engine takes the two
// input channels, writes one block of test tone ahead of the play position,
// collects the samples in rings and, every 2400 samples, evaluates the
// measurement: two single-bin transforms, the averaged channel ratio, the
// correction chain, the impedance, the plot history and the recommended
// reference resistor.
//
// process_recorded_blocks and everything it calls run on the streaming
// worker only; the worker is the only writer of the engine state
// (engine_state.h). The window reads results through the snapshot
// functions below, which copy under `publication_lock`.

#include "engine/core/complex_math.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/engine_state.h"
#include "engine/measurement/settling.h"
#include "engine/quantities/quantities.h"
#include "engine/signal/ratio_scatter.h"
#include "engine/signal/tone_analysis.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lcr {


// Window creation, after the settings file: asks for a rebuild, resets z_ref
// to nominal and makes the tone buffer one block of zeros.
void engine_init();
// Window, when a configuration test is selected.
void enter_test_mode();

// Worker: consumes every whole recorded block.
void process_recorded_blocks();
void make_measurement_tone();
// `window_start`: the input frame where the evaluation's window begins.
void evaluate_measurement(std::int64_t window_start = 0);
void check_signal_levels();
// Recommended reference resistance in ohm for the latest z_raw.
double recommend_ref_resistor();
// The same for a raw impedance magnitude m (ohm).
double recommended_resistor_for(double m);
// Relative error model of a divider measurement with converter resolution
// `bits` at amplitude `a`, calibration factor c, error floor, device |Z| m
// and reference r (ohm).
double relative_error_estimate(double a, double bits, double c, double floor, double m, double r);


// What the window and the command-line meter read, copied under the lock:
// one evaluation's results together.
struct tmeasurement_snapshot {
  tcomplex display_z;
  tcomplex ratio_corrected;
  double channel1_amplitude = 0.0;
  std::string ref_value_text;
  std::string ref_unit_text;
  double recommended_ref_ohm = 0.0;
  std::int64_t evaluation_count = 0;
  bool signal_seen = false;     // a real signal has been evaluated since start (engine_state.h)
  int latest_signal_state = 0;  // the level code of the latest evaluation alone
  // What a reading is made of: the averaged raw ratio (corrected anew with
  // the tables in force when it is read), the settings it was measured
  // under, and whether it has settled.
  tcomplex avg_ratio;
  tcomplex z;                   // as corrected by the evaluation itself
  int transform_length = 0;
  tmeasure_tag tag;
  bool settled = false;
  bool resettling_after_dropout = false;
  tratio_spread ratio_spread;   // from the scatter of the single evaluations
  tratio_spread noise_spread;   // from the noise beside the tone
  twindow_noise noise;          // beside the tone, mean over the averaged windows
  std::int64_t dropouts = 0;    // dropouts the stream has seen
  // With the multitone (tag.multitone): each test frequency's mean raw
  // ratio, its spread and the left input's amplitude in its bin. The
  // fields above then hold the point at the operator's frequency.
  std::array<tcomplex, freq_count> multitone_ratio{};
  std::array<tratio_spread, freq_count> multitone_spread{};
  std::array<tratio_spread, freq_count> multitone_noise_spread{};
  std::array<twindow_noise, freq_count> multitone_noise{};
  std::array<double, freq_count> multitone_amplitude{};
};
tmeasurement_snapshot measurement_snapshot();

// Streams (re)opened: their first windows hold silence and a tone on its
// way again, so no signal counts as seen until the next real one.
void forget_signal();

// Reads `signal_state` and resets it to 0 in one step.
int take_signal_state();

// Copies of the two displayed quantities' records (key and circuit, under
// the lock), named: for tables of the present mode.
std::pair<tlcr_strings, tlcr_strings> displayed_quantities();

// The mode whose two quantities are on display (0 when none matches).
int displayed_meas_mode();

// Window: sets the key and circuit of both displayed quantities for a mode
// (0 … 13), under the lock, and names them.
void set_meas_mode_quantities(int meas_mode);

}  // namespace lcr
