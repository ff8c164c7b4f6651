// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five calibration steps: each takes the latest reading at the current
// frequency and reference resistor and fills its correction table entries.
// A reading that has not settled under the present settings (a tone still
// on its way, a dropout, a set-up just changed) is refused: nothing is
// stored from it.
//
// Called on the window's (or the command-line meter's) thread; the latest
// evaluation is copied and the entries are written under `publication_lock`.

#include "engine/core/complex_math.h"
#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"

#include <array>
#include <optional>

namespace lcr {

// What sits in the reference and device positions in each calibration mode.
enum class tcal_mode {
  crosstalk = 0,   // "O-G Kanalübersprechen": reference open, device shorted
  symmetry = 1,    // "G-O Kanalsymmetrie": reference shorted, device open
  open = 2,        // "R-O Parallelwiderstand": reference fitted, device open
  short_circuit = 3,  // "R-G Reihenwiderstand": reference fitted, device shorted
  reference = 4,   // "R-R Referenzwiderstand": reference fitted, known resistor
};

inline constexpr std::array<const char*, 5> cal_mode_names{
    "O-G Kanalübersprechen", "G-O Kanalsymmetrie", "R-O Parallelwiderstand", "R-G Reihenwiderstand",
    "R-R Referenzwiderstand"};

// Ratios measured in this run for the reference step; never saved.
struct tcal_capture_state {
  tfreq_row h_open{};   // corrected ratio of the last open step, per frequency
  tfreq_row h_known{};  // corrected ratio of the last reference step
  tper_frequency<tratio_spread> h_open_spread{};  // its statistical uncertainty
  double known_rp = 1000.0;  // ohm, the known resistor of the reference step
  double known_cp = 0.0;     // femtofarad across it; 0: a pure resistance
};

// The one instance; guarded by `publication_lock`.
extern tcal_capture_state cal_capture;

void reset_cal_capture();

// How a step ended.
enum class tcal_step_result {
  stored,
  not_settled,        // the latest reading has not settled under the present settings
  no_open_ratio,      // no open step at this frequency in this run (h_open re = 0)
  no_known_ratio,     // the known resistor's ratio has a zero real part
  degenerate,         // the known resistor cannot be told from open (zero divisor)
  bad_known_resistor, // known_rp not a positive finite resistance
  not_finite,         // the reading's values are not finite numbers: nothing stored
};

// How long a calibration sweep waits at a frequency for a settled reading
// before it stores nothing there: a reading settles within a few seconds
// unless the stream keeps dropping out.
inline constexpr double calibration_settle_seconds = 30.0;

// For the operator: "gespeichert", or why nothing was stored.
const char* cal_step_result_text(tcal_step_result result);

tcal_step_result cal_store_crosstalk();
tcal_step_result cal_store_symmetry();
tcal_step_result cal_store_open();
tcal_step_result cal_store_short();
tcal_step_result cal_store_reference();

// The step of a calibration mode 0 … 4.
tcal_step_result cal_store_step(tcal_mode mode);

// "Mittelwert" for a calibration in one pass with the multitone: each tone
// has a fifth of the single tone's amplitude, and sixteen times the
// averaging makes the entries as exact as the stepped sweep's, still in a
// quarter of its time.
inline constexpr int multitone_calibration_avg_count = 16;

// While it lives, the settings of that pass: the multitone on, "Mittelwert"
// multitone_calibration_avg_count. Its end brings back the single tone and
// the operator's "Mittelwert". On the thread that owns the settings.
class tmultitone_calibration_settings {
public:
  tmultitone_calibration_settings();
  ~tmultitone_calibration_settings();
  tmultitone_calibration_settings(const tmultitone_calibration_settings&) = delete;
  tmultitone_calibration_settings& operator=(const tmultitone_calibration_settings&) = delete;

private:
  int operator_avg_count_;
};

// The step at all eight frequencies from one reading of the multitone
// (settings.multitone): nothing when the latest reading is not a settled
// multitone reading of the settings in force or its scatter is not known
// yet at every frequency, else each frequency's result.
std::optional<std::array<tcal_step_result, freq_count>> cal_store_multitone_step(tcal_mode mode);

// The known resistor's impedance at a frequency: Rp in parallel with Cp
// (femtofarad); Cp = 0 is a pure resistance.
tcomplex known_impedance(double rp_ohm, double cp_ff, double frequency_hz);

// The reference step's solution from the known resistor's ratio a and the
// open ratio b: the reference impedance for which the corrected measurement
// of the known impedance zk is zk, together with the short carried over to
// it. The short z_short_old was measured against z_ref_old, and a measured
// impedance scales with the reference, so both are solved together:
// z_ref = zk·u / (1 − s·u) and z_short = s·z_ref, with u = 1/a − 1/b and
// s = z_short_old / z_ref_old. (With the short already measured against the
// true reference this is the familiar c·u, c = zk + z_short.) False where a
// divisor is zero or the result is zero or not finite.
bool reference_from_ratios(tcomplex a, tcomplex b, tcomplex zk, tcomplex z_short_old, tcomplex z_ref_old,
                           tcomplex& z_ref, tcomplex& z_short);

// What the reference step solves for from the known resistor's ratio a and
// the open ratio b: reference_from_ratios, and the open admittance that the
// open ratio then stands for.
struct treference_solution {
  bool solved = false;
  tcomplex z_ref;
  tcomplex z_short;
  tcomplex y_open;
};
treference_solution solve_reference(tcomplex a, tcomplex b, tcomplex zk, tcomplex z_short_old, tcomplex z_ref_old);

// A ratio with its statistical spread.
struct tspread_ratio {
  tcomplex value;
  tratio_spread spread;
};
// The spreads of the solution's entries from both ratios' spreads.
struct treference_spreads {
  tratio_spread z_ref;
  tratio_spread y_open;
  tratio_spread z_short;
};
treference_spreads reference_solution_spreads(tspread_ratio a, tspread_ratio b, tcomplex zk, tcomplex z_short_old,
                                              tcomplex z_ref_old);

}  // namespace lcr
