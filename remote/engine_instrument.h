// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The instrument over the engine's settings: each change is what the
// measurement page's handler makes of the same choice (the window
// overrides the `apply_…` hooks to make it through its controls). The
// state is read back from the engine each time, so a change by the
// operator shows too. A reading is ready once the engine's latest has
// settled under the settings in force; the automatic reference follows the
// engine's recommendation in it, and settles again.

#include "instrument.h"

#include "engine/sweeps/frequency_sweep.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace scpi {

class tengine_instrument : public tinstrument {
public:
  // `reference_switches`: whether the adapter follows the reference index
  // by itself (the simulated set-up); `cal_file` where :CORRection:SAVE
  // writes.
  tengine_instrument(bool reference_switches, std::string cal_file);

  tinstrument_state state() const override;
  void set_frequency_index(int index) override;
  void set_function(int function) override;
  void set_level_index(int index) override;
  void set_aperture(int ft_index, int avg_index) override;
  void set_ref_index(int index) override;
  std::string set_auto_ref(bool on) override;
  void reset() override;

  bool reading_ready() override;
  treading reading() const override;
  void request_settling() override;
  bool streaming() const override;

  std::string correct(tcorrection step, double rp_ohm, double cp_ff) override;
  void set_correction_state(tcorrection table, bool on) override;
  bool correction_state(tcorrection table) const override;
  void clear_corrections() override;
  std::string save_corrections() override;

  bool start_sweep(const std::vector<int>& freq_indices) override;
  bool sweep_running() override;
  bool sweep_active() const override { return sweep_.has_value(); }
  void cancel_sweep() override;
  std::vector<tsweep_point> sweep_result() const override { return sweep_result_; }

protected:
  // Whether the adapter follows the reference index by itself.
  virtual bool adapter_follows_reference() const { return reference_switches_; }
  virtual void apply_frequency(int index);
  virtual void apply_meas_mode(int mode);
  virtual void apply_level(int index);
  virtual void apply_aperture(int ft_index, int avg_index);
  virtual void apply_reference(int index);

private:
  void changed() { reference_follows_ = 0; }
  treading reading_of(const lcr::tsweep_row& row) const;

  bool reference_switches_;
  std::string cal_file_;
  bool auto_ref_ = false;
  int reference_follows_ = 0;  // automatic changes since the last change
  int function_ = 0;           // as last set; the operator's mode overrides it
  std::optional<lcr::tmeasurement_snapshot> ready_;  // the reading found settled
  std::optional<lcr::tfrequency_sweep> sweep_;
  std::chrono::steady_clock::time_point last_sweep_tick_;
  std::int64_t last_sweep_evaluation_ = -1;
  std::vector<tsweep_point> sweep_result_;
};

}  // namespace scpi
