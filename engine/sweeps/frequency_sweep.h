// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A frequency sweep: the device measured at all eight test frequencies,
// or at a list of them in any order (repeats allowed). At each: switch the tone, wait for a reading that has settled under it
// (every averaged evaluation recorded after the new tone reached the input,
// none spanning a dropout), take its corrected impedance and the two
// quantities of the present mode with their deviations. The reference
// resistor stays as chosen, or with "Auto R ref" becomes at each frequency
// the one the engine recommends there (switching and settling again).
// Afterwards the operator's frequency and reference are back.
//
// Stepped by the caller's ticks (the window's display tick, the command
// line's loop) on the thread that owns the settings; it never waits. A
// frequency that gives no settled reading within `most_ticks_per_point`
// ticks ends the sweep as failed, with the rows it has.

#include "engine/core/complex_math.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"
#include "engine/sweeps/circuit_fit.h"

#include <optional>
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
  int recommended_ref_index = -1;  // the one the engine recommends for this point
  int signal_state = 0;          // the level code of the reading's evaluation
  // Statistical uncertainties (k = 2; NaN while unknown) beside the worst
  // cases, and what the point is trusted with in a fit or a comparison.
  double z_uncertainty = 0.0;
  tuncertainty_gap z_uncertainty_gap = tuncertainty_gap::none;  // why it is unknown
  double z_covering = 0.0;
  bool z_covering_bound = true;  // z_covering is the worst case
  double first_uncertainty = 0.0;
  double second_uncertainty = 0.0;
  // The phase of Z beside |Z|, with its figures, whatever the mode.
  double phase_deviation = 0.0;
  double phase_uncertainty = 0.0;
  tcomplex divider_ratio;        // H after crosstalk and symmetry correction
};

// Whether a divider ratio leaves a reading doubtful: the device's voltage
// or the reference's is below 5 % of the drive, where the noise of either
// input weighs twenty times or more (another "R ref" divides better).
bool divider_ratio_doubtful(tcomplex ratio);

// The "R ref" item of a resistance, or −1 for none of the six.
int ref_index_of(double resistance_ohm);

// The "R ref" item that the engine recommends in a reading, or −1 before
// there is one.
int recommended_ref_index(const tmeasurement_snapshot& snapshot);

// A quantity as the engine computes it: its key and whether it is of the
// parallel equivalent.
struct tquantity_choice {
  quantity_key key = quantity_key::Z;
  bool parallel = false;
};
struct tquantity_pair {
  tquantity_choice first;
  tquantity_choice second;
};

// The pair that the display shows now.
tquantity_pair displayed_quantity_pair();

// A reading's corrected impedance and two quantities (those on display, or
// the pair given) with their deviations, at the frequency and reference it
// was made with.
// Without `quantity_deviations` the two quantities' deviations and
// uncertainties are left NaN (unknown), which saves two of the four
// deviation searches: for a live display that shows |Z| and the phase.
tsweep_row reading_row(const tmeasurement_snapshot& snapshot);
// A row of any reading's basis (its frequency, impedance and figures; the
// caller adds where it was measured).
tsweep_row basis_row(const treading_basis& basis, const tquantity_pair& quantities, bool quantity_deviations = true);
tsweep_row reading_row(const tmeasurement_snapshot& snapshot, const tquantity_pair& quantities,
                       bool quantity_deviations = true);

// Every test frequency once, rising.
std::vector<int> all_frequency_indices();

// The eight points of a multitone reading, rising in frequency: each row as
// the stepped sweep's row at that frequency would be made.
std::vector<tsweep_row> multitone_rows(const tmeasurement_snapshot& snapshot, const tquantity_pair& quantities,
                                       bool quantity_deviations = true);

class tfrequency_sweep {
public:
  // A settled reading comes within a second or two; 30 s of display ticks
  // without one means the stream does not settle.
  static constexpr int most_ticks_per_point = 300;

  // `quantities`: what the rows hold besides the impedance (the pair on
  // display when the sweep starts, by default).
  explicit tfrequency_sweep(bool auto_ref, std::vector<int> freq_indices = all_frequency_indices(),
                            const std::optional<tquantity_pair>& quantities = std::nullopt);

  // One tick: false once the sweep is done.
  bool tick();
  // Ends the sweep where it is, the operator's settings back.
  void cancel();

  bool done() const { return done_; }
  // Done without a settled reading at a frequency; the rows hold the
  // frequencies before it.
  bool failed() const { return failed_; }
  // "kein eingeschwungener Messwert bei 500 Hz" for a failed sweep.
  std::string failure_text() const;
  // 0 … 100, by points finished.
  int progress_percent() const;
  const std::vector<tsweep_row>& rows() const { return rows_; }

private:
  void switch_to(std::size_t point);
  void finish();
  int freq_index() const { return freq_indices_[point_]; }

  bool auto_ref_;
  std::vector<int> freq_indices_;
  tquantity_pair quantities_;
  int operator_freq_index_;
  int operator_ref_index_;
  std::size_t point_ = 0;
  int reference_changes_ = 0;      // at this frequency
  int waiting_ticks_ = 0;          // since the last change
  std::vector<tsweep_row> rows_;
  bool done_ = false;
  bool failed_ = false;
};

// The rows that the equivalent circuit is fitted to: not those read with a
// weak or silent input or a clipped one, whose impedance means nothing, nor
// those whose uncertainty reaches the value itself.
std::vector<tfit_point> sweep_fit_points(const std::vector<tsweep_row>& rows);

// The rows as CSV for programs, the two quantities named by their symbols.
std::string sweep_csv_text(const std::vector<tsweep_row>& rows, std::string_view first_symbol,
                           std::string_view second_symbol);

}  // namespace lcr
