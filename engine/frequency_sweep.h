#pragma once

// A frequency sweep: the device measured at all eight test frequencies.
// At each: switch the tone, wait until it has settled in every averaged
// evaluation, take the averaged, corrected impedance and the two quantities
// of the present mode with their deviations. The reference resistor stays
// as chosen, or with "Auto R ref" becomes at each frequency the one the
// engine recommends there (switching and settling again). Afterwards the
// operator's frequency and reference are back.
//
// Stepped by the caller's ticks (the window's display tick, the command
// line's loop) on the thread that owns the settings; waiting is counted in
// stream time, so it holds on the simulated set-up's virtual clock too.

#include "circuit_fit.h"
#include "complex_math.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lcr {

struct tsweep_row {
  int freq_index = 0;
  double frequency_hz = 0.0;
  tcomplex z;                    // ohm
  double z_deviation = 0.0;      // of |Z|, ohm
  double first_value = 0.0;      // the present mode's two quantities
  double first_deviation = 0.0;
  double second_value = 0.0;
  double second_deviation = 0.0;
  int ref_index = 0;             // the reference used
  int signal_state = 0;          // the level code of the reading's evaluation
};

// Stream time since a change against the time that the tone and every
// averaged evaluation need to settle after it.
class tsettling_wait {
public:
  tsettling_wait() { restart(); }
  void restart();
  bool settled() const;

private:
  std::int64_t from_evaluations_ = 0;
  double seconds_ = 0.0;
};

// The "R ref" item that the engine recommends for the latest evaluation,
// or −1 before there is one.
int recommended_ref_index();

// The averaged, corrected impedance of the latest evaluation and the
// present mode's two quantities with their deviations, at the present
// frequency and reference.
tsweep_row present_reading();

class tfrequency_sweep {
public:
  explicit tfrequency_sweep(bool auto_ref);

  // One tick: false once the sweep is done.
  bool tick();

  bool done() const { return done_; }
  // 0 … 100, by frequencies finished.
  int progress_percent() const;
  const std::vector<tsweep_row>& rows() const { return rows_; }

private:
  void switch_to(int freq_index);
  void take_reading();
  void finish();

  bool auto_ref_;
  int operator_freq_index_;
  int operator_ref_index_;
  int freq_index_ = 0;
  int reference_changes_ = 0;      // at this frequency
  tsettling_wait settling_;
  std::vector<tsweep_row> rows_;
  bool done_ = false;
};

// The rows that the equivalent circuit is fitted to: not those read with a
// weak or silent input or a clipped one, whose impedance means nothing.
std::vector<tfit_point> sweep_fit_points(const std::vector<tsweep_row>& rows);

// The rows as CSV for programs, the two quantities named by their symbols.
std::string sweep_csv_text(const std::vector<tsweep_row>& rows, std::string_view first_symbol,
                           std::string_view second_symbol);

}  // namespace lcr
