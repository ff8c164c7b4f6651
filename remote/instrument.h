// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the remote commands act on: the meter as the operator sets it. The
// command-line meter drives the engine's settings directly; the window
// drives its own controls, so that a remote change looks as if the
// operator had made it. Called on the thread that owns the settings.

#include <string>
#include <vector>

namespace scpi {

struct tinstrument_state {
  int freq_index = 3;   // "Frequenz" item
  int meas_mode = 0;    // "Messung" button
  int function = 0;     // the benchtop function, shown as `meas_mode`
  int level_index = 3;  // "Pegel" item
  int ft_index = 0;     // "FT Faktor" item
  int avg_index = 0;    // "Mittelwert" item
  int ref_index = 0;    // "R ref" item
  bool auto_ref = false;  // the reference follows the recommendation
};

// The two values of the present function, in its order and units, with
// their worst-case deviations and the level code of the evaluation (0
// normal … 4 clipped), and their statistical uncertainties (k = 2; NaN
// while unknown).
struct treading {
  double first = 0.0;
  double second = 0.0;
  double first_deviation = 0.0;
  double second_deviation = 0.0;
  int signal_state = 0;
  double first_uncertainty = 0.0;
  double second_uncertainty = 0.0;
  bool unsettled = false;  // not a settled reading of the present settings
};

struct tsweep_point {
  double frequency_hz = 0.0;
  treading reading;
};

enum class tcorrection { open, short_circuit, load };

class tinstrument {
public:
  virtual ~tinstrument() = default;

  virtual tinstrument_state state() const = 0;
  virtual void set_frequency_index(int index) = 0;
  // A benchtop function; the window shows its mode.
  virtual void set_function(int function) = 0;
  virtual void set_level_index(int index) = 0;
  virtual void set_aperture(int ft_index, int avg_index) = 0;
  // A chosen reference ends the automatic one.
  virtual void set_ref_index(int index) = 0;
  // "" when done, else why not (only the simulated set-up changes its
  // reference by itself).
  virtual std::string set_auto_ref(bool on) = 0;
  // The design defaults, as at a start without a settings file.
  virtual void reset() = 0;

  // Whether a reading of the present settings has settled (and, with the
  // automatic reference, the reference has followed). Polled; never waits.
  virtual bool reading_ready() = 0;
  // The reading that reading_ready found settled (or the latest, marked
  // unsettled, when none has been found).
  virtual treading reading() const = 0;
  // The part at the terminals has just been changed: only a reading
  // recorded afterwards counts (a correction measures anew).
  virtual void request_settling() = 0;
  // Whether the input still delivers; a reading that cannot come is an
  // error, not a wait for ever.
  virtual bool streaming() const = 0;

  // A calibration step at the present frequency: "" when stored (and its
  // table switched on), else why not (for the operator).
  virtual std::string correct(tcorrection step, double rp_ohm, double cp_ff) = 0;
  // Each stored table on or off, kept either way.
  virtual void set_correction_state(tcorrection table, bool on) = 0;
  virtual bool correction_state(tcorrection table) const = 0;
  // The uncalibrated state, in memory only.
  virtual void clear_corrections() = 0;
  // "" when the calibration file was saved, else the message.
  virtual std::string save_corrections() = 0;

  // A sweep over test frequencies (indices, in the order given), stepped
  // by `sweep_running`; the points hold the present function's values.
  virtual bool start_sweep(const std::vector<int>& freq_indices) = 0;  // false while one runs
  virtual bool sweep_running() = 0;
  // Ends a running sweep without its result: its starter has gone.
  virtual void cancel_sweep() = 0;
  // Whether a sweep runs, whoever started it; does not step it.
  virtual bool sweep_active() const = 0;
  virtual std::vector<tsweep_point> sweep_result() const = 0;
};

}  // namespace scpi
