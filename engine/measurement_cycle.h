#pragma once

// The measurement cycle: for every recorded block, the engine takes the two
// input channels, writes one block of test tone ahead of the play position,
// collects the samples in rings and, every 2400 samples, evaluates the
// measurement: two single-bin transforms, the averaged channel ratio, the
// correction chain, the impedance, the plot history and the recommended
// reference resistor.
//
// process_recorded_blocks and everything it calls run on the streaming
// worker only; the worker is the only writer of the engine state below.
// The window reads results through the snapshot functions, which copy under
// `publication_lock`.

#include "complex_math.h"
#include "corrections.h"
#include "quantities.h"
#include "ratio_scatter.h"
#include "settling.h"
#include "tone_analysis.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lcr {

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

struct tengine_state {
  // Working objects (worker only).
  tdft dft_ch1;
  tdft dft_ch2;
  tbuff ring_ch1;
  tbuff ring_ch2;
  tavg avg_re;
  tavg avg_im;
  tdata tone_buffer;
  double tone_phase = 0.0;    // cycles, 0 ≤ phase < 1
  tdither_source dither_source;
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
  int signal_state = signal_ok;     // accumulated until the window resets it
  int latest_signal_state = signal_ok;  // of the latest evaluation alone
  std::array<std::vector<double>, 2> plot_history;  // empty until the plot sizes it
  std::vector<std::uint8_t> plot_settled;  // beside it: whether each value had settled
  int plot_write_index = 0;
  std::int64_t evaluation_count = 0;  // measurement evaluations averaged since start
  std::int64_t left_out_count = 0;    // evaluations left out: their window spanned a dropout
  double recommended_ref_ohm = 0.0;   // published with ref_quantity's texts
  int published_transform_length = 0; // dft_ch1.n of the latest evaluation

  // The displayed quantities and the recommendation's record. The window
  // writes quantity/circuit of the first two under `publication_lock`;
  // ref_quantity's texts are published by the worker under the same lock.
  tlcr_strings first_quantity;
  tlcr_strings second_quantity;
  tlcr_strings ref_quantity;
};

// The one instance.
extern tengine_state engine;

// Program-start state of the engine (a test's fresh state). Not while the
// worker runs.
void reset_engine_state();

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

// The tone's amplitude in sample units for a `tone_level` (65535 / 20000 per
// unit: "Pegel" "1.00" is 32767.5).
constexpr double tone_amplitude(double level)
{
  return level * 65535.0 / 20000.0;
}

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
  tratio_spread ratio_spread;
  std::int64_t dropouts = 0;    // dropouts the stream has seen
};
tmeasurement_snapshot measurement_snapshot();

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
