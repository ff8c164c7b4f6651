// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_command.h"

#include "interrupt.h"
#include "json_writer.h"
#include "meter_options.h"
#include "meter_session.h"
#include "reading.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantities.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/settled_reading.h"
#include "engine/sweeps/circuit_fit.h"
#include "engine/sweeps/frequency_sweep.h"
#include "engine/sweeps/multitone_response.h"

#include "audio/streaming.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <limits>
#include <mutex>
#include <vector>

namespace quarvel_cli {

namespace {

constexpr std::int64_t tick_frames = waveio::in_rate / 10;  // the display tick's 100 ms

std::string shown(lcr::tlcr_strings record, double value)
{
  lcr::format_quantity(1, record, value);
  return record.value_text + " " + record.unit_text;
}

void print_table(const std::vector<lcr::tsweep_row>& rows, const lcr::tcircuit_fit& fit, int meas_mode)
{
  const auto [first, second] = lcr::displayed_quantities();
  lcr::tlcr_strings magnitude;
  magnitude.quantity = "Z";
  lcr::tlcr_strings phase;
  phase.quantity = "phi_Z";
  std::cout << "Frequenzgang   " << lcr::meas_modes[static_cast<std::size_t>(meas_mode)].caption << "\n";
  std::cout << std::left << std::setw(10) << "Frequenz" << std::setw(11) << "Rref" << std::setw(17) << "|Z|"
            << std::setw(14) << "phi" << std::setw(18) << first.symbol << std::setw(18) << second.symbol
            << std::setw(12) << "empf. Rref" << "Eingangspegel\n";
  for (const lcr::tsweep_row& row : rows) {
    std::cout << std::setw(10) << frequency_text(row.freq_index) << std::setw(11) << reference_text(row.ref_index)
              << std::setw(17) << shown(magnitude, lcr::c_abs(row.z))
              << std::setw(14) << shown(phase, lcr::atan_deg(row.z.re, row.z.im)) << std::setw(18)
              << shown(first, row.first_value) << std::setw(18) << shown(second, row.second_value)
              << std::setw(12) << (row.recommended_ref_index < 0 ? "-" : reference_text(row.recommended_ref_index))
              << lamp_text(row.signal_state) << "\n";
  }
  std::cout << "Ersatzschaltung: " << lcr::circuit_fit_text(fit) << "\n";
}

tjson_object fit_json(const lcr::tcircuit_fit& fit)
{
  tjson_object object;
  object.add("model", lcr::circuit_model_name(fit.model)).add("valid", fit.valid);
  if (!fit.valid) return object;
  if (lcr::has_resistance(fit.model)) object.add("r_ohm", fit.r_ohm).add("r_deviation_ohm", fit.r_deviation);
  if (lcr::has_inductance(fit.model)) object.add("l_h", fit.l_h).add("l_deviation_h", fit.l_deviation);
  if (lcr::has_capacitance(fit.model)) object.add("c_f", fit.c_f).add("c_deviation_f", fit.c_deviation);
  if (fit.resonance_hz > 0.0) object.add("resonance_hz", fit.resonance_hz);
  object.add("describes_curve", fit.describes_curve);
  return object;
}

struct tsweep_kind {
  int meas_mode = 0;
  bool auto_ref = false;
  bool multitone = false;
};

}  // namespace

tjson_object sweep_row_json(const lcr::tsweep_row& row, const lcr::tlcr_strings& first,
                            const lcr::tlcr_strings& second)
{
  tjson_object z;
  z.add("re", row.z.re).add("im", row.z.im);
  tjson_object first_value;
  first_value.add("symbol", first.symbol)
      .add("value", row.first_value)
      .add("deviation", row.first_deviation)
      .add("uncertainty", row.first_uncertainty);
  tjson_object second_value;
  second_value.add("symbol", second.symbol)
      .add("value", row.second_value)
      .add("deviation", row.second_deviation)
      .add("uncertainty", row.second_uncertainty);
  tjson_object object;
  object.add("frequency_hz", row.frequency_hz)
      .add("ref_ohm", lcr::ref_resistors[static_cast<std::size_t>(row.ref_index)])
      .add("recommended_ref_ohm", row.recommended_ref_index < 0
                                      ? 0.0
                                      : lcr::ref_resistors[static_cast<std::size_t>(row.recommended_ref_index)])
      .add("z", z)
      .add("z_deviation", row.z_deviation)
      .add("z_uncertainty", row.z_uncertainty);
  if (row.z_uncertainty_gap != lcr::tuncertainty_gap::none) {
    object.add("uncertainty_unknown", lcr::uncertainty_gap_key(row.z_uncertainty_gap));
  }
  object.add("first", first_value)
      .add("second", second_value)
      .add("signal_state", row.signal_state);
  return object;
}

namespace {

std::string sweep_json(const std::vector<lcr::tsweep_row>& rows, const lcr::tcircuit_fit& fit, const tsweep_kind& kind)
{
  const auto [first, second] = lcr::displayed_quantities();
  std::string array = "[";
  for (const lcr::tsweep_row& row : rows) {
    array += (array.size() > 1 ? "," : "") + sweep_row_json(row, first, second).text();
  }
  tjson_object result;
  result.add("mode", lcr::meas_modes[static_cast<std::size_t>(kind.meas_mode)].caption)
      .add("auto_ref", kind.auto_ref)
      .add("multitone", kind.multitone)
      .add("dropouts", static_cast<double>(waveio::dropout_count()))
      .add("fit", fit_json(fit));
  std::string text = result.text();
  text.insert(text.size() - 1, ",\"rows\":" + array + "]");
  return text;
}

void print_csv(const std::vector<lcr::tsweep_row>& rows)
{
  const auto [first, second] = lcr::displayed_quantities();
  std::cout << lcr::sweep_csv_text(rows, first.symbol, second.symbol);
}

}  // namespace

tsweep_outcome run_frequency_sweep(tmeter_session& session, bool auto_ref)
{
  lcr::tfrequency_sweep sweep(auto_ref);
  while (sweep.tick()) session.run_until(session.frames_processed() + tick_frames);
  return {sweep.rows(), sweep.failure_text()};
}

bool run_multitone_response(tmeter_session& session, bool auto_ref, std::int64_t end_frame,
                            const std::function<bool(const std::vector<lcr::tsweep_row>&, std::int64_t)>& take_curve)
{
  // Ten looks per 50 ms evaluation, so a curve is taken as soon as it is
  // published; 30 s of stream time without one is a failure.
  constexpr std::int64_t step_frames = tick_frames / 10;
  constexpr int most_waiting_steps = 30 * waveio::in_rate / step_frames;
  lcr::tmultitone_response response(auto_ref, std::nullopt, most_waiting_steps);
  while (response.running() && session.frames_processed() < end_frame) {
    session.run_until(std::min(end_frame, session.frames_processed() + step_frames));
    if (response.tick() && !take_curve(response.rows(), response.curve_evaluation())) return true;
  }
  return !response.failed();
}

tsweep_outcome run_multitone_sweep(tmeter_session& session, bool auto_ref)
{
  tsweep_outcome outcome;
  const bool measured = run_multitone_response(session, auto_ref, std::numeric_limits<std::int64_t>::max(),
                                               [&outcome](const std::vector<lcr::tsweep_row>& rows, std::int64_t) {
                                                 outcome.rows = rows;
                                                 return false;
                                               });
  if (!measured) outcome.failure = lcr::multitone_failure_text;
  return outcome;
}

namespace {

// --watch: a curve per line as JSON, each fresh settled evaluation's, until
// interrupted or --seconds of stream time have passed.
int watch_multitone(tmeter_session& session, const tmeter_options& options, bool auto_ref)
{
  catch_interrupts();
  const std::int64_t end_frame = options.seconds
                                     ? static_cast<std::int64_t>(*options.seconds * waveio::in_rate)
                                     : std::numeric_limits<std::int64_t>::max();
  const tsweep_kind kind{options.meas_mode, auto_ref, true};
  std::int64_t curves = 0;
  const bool measured = run_multitone_response(
      session, auto_ref, end_frame, [&](const std::vector<lcr::tsweep_row>& rows, std::int64_t evaluation) {
        ++curves;
        std::string line = sweep_json(rows, lcr::best_circuit_fit(lcr::sweep_fit_points(rows)), kind);
        line.insert(1, "\"evaluation\":" + std::to_string(evaluation) + ",");
        std::cout << line << std::endl;
        return !interrupt_requested();
      });
  if (!measured || curves == 0) {
    std::cerr << "quarvel-cli: " << lcr::multitone_failure_text << " (dropouts in the sound stream: "
              << waveio::dropout_count() << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace

int run_sweep(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = meter_value_options();
  std::erase(value_options, "--csv");  // here a flag: the table as CSV
  std::vector<std::string_view> flags = meter_flags();
  flags.insert(flags.end(), {"--auto-ref", "--csv", "--multitone"});
  const argument_list list(arguments, value_options, flags);
  const tmeter_options options = parse_meter_options(list);
  if (options.auto_mode) throw usage_error("--mode: a sweep shows one mode's quantities; 'auto' is for measure");
  const bool auto_ref = list.flag("--auto-ref");
  const bool multitone = list.flag("--multitone");
  if (options.watch && !multitone) throw usage_error("--watch: a continuous stream of curves needs --multitone");
  if (options.watch && list.flag("--csv")) throw usage_error("--watch: the curves stream as JSON lines, not CSV");
  // The multitone from the stream's first block: the first curve then need
  // not wait for the single tone already queued ahead of the output.
  lcr::settings.multitone = multitone;
  tmeter_session session(options);
  // Only the simulated set-up changes its reference resistor by itself; on
  // a real adapter the readings would be computed with a resistor that is
  // not fitted.
  if (auto_ref && !session.on_fixture()) {
    throw usage_error("--auto-ref: only the simulated set-up changes its reference by itself; "
                      "fit the resistor that the meter recommends and give it with --ref");
  }
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";

  if (options.watch) return watch_multitone(session, options, auto_ref);
  const tsweep_outcome outcome =
      multitone ? run_multitone_sweep(session, auto_ref) : run_frequency_sweep(session, auto_ref);
  const std::vector<lcr::tsweep_row>& rows = outcome.rows;
  const std::vector<lcr::tfit_point> points = lcr::sweep_fit_points(rows);
  const lcr::tcircuit_fit fit = lcr::best_circuit_fit(points);
  if (options.json) {
    std::cout << sweep_json(rows, fit, {options.meas_mode, auto_ref, multitone}) << std::endl;
  } else if (list.flag("--csv")) {
    print_csv(rows);
  } else {
    print_table(rows, fit, options.meas_mode);
  }
  // What was measured is shown; a sweep that did not reach every frequency
  // is no success.
  if (!outcome.failure.empty()) {
    std::cerr << "quarvel-cli: " << outcome.failure << " (dropouts in the sound stream: " << waveio::dropout_count()
              << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace quarvel_cli
