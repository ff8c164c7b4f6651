// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_instrument.h"

#include "benchtop_functions.h"
#include "engine/corrections/calibration_file.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"

#include "audio/streaming.h"

#include <mutex>
#include <utility>

namespace scpi {

namespace {

// As many automatic reference changes per change of the operator as the
// sweep allows: a device on the border of two references settles in one.
constexpr int most_reference_follows = 3;

// The window's display tick, which the sweep's limit per frequency counts.
constexpr std::chrono::milliseconds sweep_tick_interval{100};

// The item of a table that holds `value`, else `otherwise`.
template <typename Table, typename Value>
int item_index(const Table& table, Value value, int otherwise)
{
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i] == value) return static_cast<int>(i);
  }
  return otherwise;
}


}  // namespace

tengine_instrument::tengine_instrument(bool reference_switches, std::string cal_file)
    : reference_switches_(reference_switches), cal_file_(std::move(cal_file))
{
}

tinstrument_state tengine_instrument::state() const
{
  tinstrument_state state;
  state.freq_index = lcr::settings.freq_index.load();
  state.ref_index = lcr::settings.ref_index.load();
  state.level_index = item_index(lcr::level_table, lcr::settings.tone_level.load(), state.level_index);
  state.ft_index = item_index(lcr::ft_factor_items, lcr::settings.ft_factor.load(), state.ft_index);
  state.avg_index = item_index(lcr::avg_count_items, lcr::settings.avg_count.load(), state.avg_index);
  state.meas_mode = lcr::displayed_meas_mode();
  // A mode the operator chose in the window since stands for its function.
  state.function = benchtop_function(function_).window_mode == state.meas_mode ? function_
                                                                               : function_of_mode(state.meas_mode);
  state.auto_ref = auto_ref_;
  return state;
}

void tengine_instrument::set_frequency_index(int index)
{
  apply_frequency(index);
  changed();
}

void tengine_instrument::set_function(int function)
{
  function_ = function;
  apply_meas_mode(benchtop_function(function).window_mode);
}

void tengine_instrument::set_level_index(int index)
{
  apply_level(index);
  changed();
}

void tengine_instrument::set_aperture(int ft_index, int avg_index)
{
  apply_aperture(ft_index, avg_index);
  changed();
}

void tengine_instrument::set_ref_index(int index)
{
  auto_ref_ = false;
  apply_reference(index);
  changed();
}

std::string tengine_instrument::set_auto_ref(bool on)
{
  if (on && !adapter_follows_reference()) {
    return "only the simulated set-up changes its reference by itself; fit the recommended resistor and set "
           ":RREFerence";
  }
  auto_ref_ = on;
  reference_follows_ = 0;
  changed();
  return {};
}

void tengine_instrument::reset()
{
  const tinstrument_state defaults;
  set_frequency_index(defaults.freq_index);
  set_function(defaults.function);
  set_level_index(defaults.level_index);
  set_aperture(defaults.ft_index, defaults.avg_index);
  set_ref_index(defaults.ref_index);
}

void tengine_instrument::apply_frequency(int index)
{
  lcr::settings.freq_index = index;
}

void tengine_instrument::apply_meas_mode(int mode)
{
  lcr::set_meas_mode_quantities(mode);
}

void tengine_instrument::apply_level(int index)
{
  lcr::settings.tone_level = lcr::level_table[static_cast<std::size_t>(index)];
}

void tengine_instrument::apply_aperture(int ft_index, int avg_index)
{
  lcr::settings.ft_factor = lcr::ft_factor_items[static_cast<std::size_t>(ft_index)];
  lcr::settings.request_transform_rebuild = true;
  lcr::settings.avg_count = lcr::avg_count_items[static_cast<std::size_t>(avg_index)];
  lcr::settings.request_average_rebuild = true;
}

void tengine_instrument::apply_reference(int index)
{
  lcr::settings.ref_index = index;
}

bool tengine_instrument::reading_ready()
{
  ready_.reset();
  if (sweep_) return false;
  const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
  if (!lcr::is_current_reading(snapshot)) return false;
  if (auto_ref_ && reference_follows_ < most_reference_follows) {
    const int recommended = lcr::recommended_ref_index(snapshot);
    if (recommended >= 0 && recommended != lcr::settings.ref_index.load()) {
      apply_reference(recommended);
      ++reference_follows_;
      return false;
    }
  }
  ready_ = snapshot;
  return true;
}

treading tengine_instrument::reading_of(const lcr::tsweep_row& row) const
{
  const tbenchtop_function& function = benchtop_function(state().function);
  const auto in_unit = [&](bool second, double value) { return function_value(function, second, value); };
  treading reading{in_unit(false, row.first_value), in_unit(true, row.second_value),
                   in_unit(false, row.first_deviation), in_unit(true, row.second_deviation), row.signal_state};
  reading.first_uncertainty = in_unit(false, row.first_uncertainty);
  reading.second_uncertainty = in_unit(true, row.second_uncertainty);
  return reading;
}

treading tengine_instrument::reading() const
{
  const lcr::tmeasurement_snapshot snapshot = ready_ ? *ready_ : lcr::measurement_snapshot();
  treading reading = reading_of(lcr::reading_row(snapshot, benchtop_function(state().function).quantities));
  reading.unsettled = !ready_;
  return reading;
}

void tengine_instrument::request_settling()
{
  ready_.reset();
  lcr::request_settling();
}

bool tengine_instrument::streaming() const
{
  return waveio::stream.input_running.load() && waveio::stream.output_running.load();
}

std::string tengine_instrument::correct(tcorrection step, double rp_ohm, double cp_ff)
{
  lcr::tcal_step_result result = lcr::tcal_step_result::stored;
  switch (step) {
    case tcorrection::open: result = lcr::cal_store_open(); break;
    case tcorrection::short_circuit: result = lcr::cal_store_short(); break;
    case tcorrection::load:
      {
        const std::lock_guard lock(lcr::publication_lock);
        lcr::cal_capture.known_rp = rp_ohm;
        lcr::cal_capture.known_cp = cp_ff;
      }
      result = lcr::cal_store_reference();
      break;
  }
  if (result != lcr::tcal_step_result::stored) return lcr::cal_step_result_text(result);
  set_correction_state(step, true);
  return {};
}

namespace {

bool& state_of(lcr::tcorrection_states& states, tcorrection table)
{
  switch (table) {
    case tcorrection::open: return states.open;
    case tcorrection::short_circuit: return states.short_circuit;
    case tcorrection::load: break;
  }
  return states.load;
}

}  // namespace

void tengine_instrument::set_correction_state(tcorrection table, bool on)
{
  const std::lock_guard lock(lcr::publication_lock);
  state_of(lcr::correction_states, table) = on;
}

bool tengine_instrument::correction_state(tcorrection table) const
{
  const std::lock_guard lock(lcr::publication_lock);
  lcr::tcorrection_states states = lcr::correction_states;
  return state_of(states, table);
}

void tengine_instrument::clear_corrections()
{
  lcr::reset_calibration_tables();
}

std::string tengine_instrument::save_corrections()
{
  const lcr::tfile_result saved = lcr::cal_save_with_backup(cal_file_, lcr::calibration_backup_path(cal_file_));
  return saved.ok ? std::string() : saved.text();
}

bool tengine_instrument::start_sweep(const std::vector<int>& freq_indices)
{
  if (sweep_) return false;
  sweep_.emplace(auto_ref_ && adapter_follows_reference(), freq_indices, benchtop_function(state().function).quantities);
  return true;
}

void tengine_instrument::cancel_sweep()
{
  if (!sweep_) return;
  sweep_->cancel();
  sweep_.reset();
  changed();
}

bool tengine_instrument::sweep_running()
{
  if (!sweep_) return false;
  // The sweep counts its patience in ticks, however often a client asks: one
  // per new evaluation, or per display tick while none comes.
  const auto now = std::chrono::steady_clock::now();
  const std::int64_t evaluations = lcr::measurement_snapshot().evaluation_count;
  if (evaluations == last_sweep_evaluation_ && now - last_sweep_tick_ < sweep_tick_interval) return true;
  last_sweep_tick_ = now;
  last_sweep_evaluation_ = evaluations;
  if (sweep_->tick()) return true;
  sweep_result_.clear();
  for (const lcr::tsweep_row& row : sweep_->rows()) sweep_result_.push_back({row.frequency_hz, reading_of(row)});
  sweep_.reset();
  // The sweep puts the operator's frequency and reference back: settle on them.
  changed();
  return false;
}

}  // namespace scpi
