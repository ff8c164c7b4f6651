// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure_command.h"

#include "interrupt.h"
#include "json_writer.h"
#include "meter_session.h"
#include "reading.h"
#include "reading_log.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/deviation_estimate.h"
#include "engine/readings/settled_reading.h"

#include "audio/sound_devices.h"
#include "audio/streaming.h"

#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

namespace quarvel_cli {

namespace {

constexpr int exit_rejected = 4;

void print_reading(const treading& reading, const tmeter_session& session, const tmeter_options& options)
{
  std::cout << lcr::meas_modes[static_cast<std::size_t>(reading.meas_mode)].caption << "   "
            << frequency_text(options.freq_index) << "   Rref " << reference_text(options.ref_index) << "   "
            << session.input_name() << "\n"
            << reading.first.record.long_name << "\n  " << quantity_line(reading.first) << "\n  "
            << deviation_line(reading.first) << "\n"
            << reading.second.record.long_name << "\n  " << quantity_line(reading.second) << "\n  "
            << deviation_line(reading.second) << "\n"
            << "empf. Ref.Widerstand: " << reading.snapshot.ref_value_text << " " << reading.snapshot.ref_unit_text
            << "\nEingangspegel: " << lamp_text(reading.signal_state) << "\n";
  if (reading.comparison) std::cout << comparison_line(*reading.comparison) << "\n";
}

void print_watch_line(const treading& reading, bool json)
{
  if (json) {
    std::cout << reading_json(reading) << std::endl;
    return;
  }
  std::cout << quantity_line(reading.first) << "   " << quantity_line(reading.second)
            << "   empf. Ref.Widerstand: " << reading.snapshot.ref_value_text << " " << reading.snapshot.ref_unit_text
            << "   Eingangspegel: " << lamp_text(reading.signal_state);
  if (reading.comparison) std::cout << "   " << comparison_line(*reading.comparison);
  std::cout << std::endl;
}

// What one reading of the command shows: the pair "Auto" chooses for the
// device, and the comparator's verdict.
struct tmeasure_state {
  lcr::tauto_mode auto_state;
  int meas_mode = 0;
};

treading next_reading(tmeasure_state& state, const tmeter_options& options, const lcr::tmeasurement_snapshot& snapshot,
                      int signal_state)
{
  if (options.auto_mode) {
    const int mode = lcr::meas_mode_of(lcr::auto_mode_update(state.auto_state, lcr::auto_phase_deg(snapshot.z)));
    if (mode != state.meas_mode) {
      lcr::set_meas_mode_quantities(mode);
      state.meas_mode = mode;
    }
  }
  treading reading = take_reading(state.meas_mode, snapshot, signal_state);
  reading.auto_mode = options.auto_mode;
  if (options.nominal) {
    const tshown_quantity& sorted =
        lcr::compares_second_quantity(reading.first.record.quantity) ? reading.second : reading.first;
    reading.comparison =
        lcr::compare_to_nominal(sorted.value, sorted.covering, *options.nominal, options.tolerance_percent);
  }
  return reading;
}

// 4 when the part fails the comparator (or is marginal, with --strict).
int verdict_exit_code(const treading& reading, const tmeter_options& options)
{
  if (!reading.comparison) return 0;
  const lcr::tverdict verdict = reading.comparison->verdict;
  const bool failed = verdict == lcr::tverdict::fail || (options.strict && verdict == lcr::tverdict::marginal);
  return failed ? exit_rejected : 0;
}

void log_reading(std::optional<treading_log>& log, const treading& reading)
{
  if (log) log->append(reading_csv_line(reading, iso8601_now()));
}

// A settled reading comes within a few seconds of stream; this long
// without one, the stream does not settle (dropouts, no signal at all).
constexpr double longest_settling_s = 30.0;

int no_settled_reading(double seconds)
{
  std::cerr << "quarvel-cli: no settled reading in " << seconds
            << " s (a reading settles once the tone has come back and filled every averaged window; dropouts in "
               "the sound stream: "
            << waveio::dropout_count() << ")\n";
  return 1;
}

std::int64_t frames_of_seconds(double seconds)
{
  return static_cast<std::int64_t>(seconds * waveio::in_rate);
}

// Runs the stream on until the latest reading is a settled one of the
// present settings; nothing when none comes in time.
std::optional<lcr::tmeasurement_snapshot> run_until_settled(tmeter_session& session)
{
  const std::int64_t give_up = session.frames_processed() + frames_of_seconds(longest_settling_s);
  for (;;) {
    lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
    if (lcr::is_current_reading(snapshot)) return snapshot;
    if (session.frames_processed() >= give_up) return std::nullopt;
    session.run_until(session.frames_processed() + lcr::eval_stride);
  }
}

}  // namespace

int run_measure(std::span<const char* const> arguments)
{
  const argument_list list(arguments, meter_value_options(), meter_flags());
  const tmeter_options options = parse_meter_options(list);
  // A log that cannot be written is found out before any measuring.
  std::optional<treading_log> log;
  if (options.csv_file) log.emplace(*options.csv_file, reading_csv_header());
  tmeter_session session(options);
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";
  tmeasure_state state;
  state.meas_mode = options.meas_mode;

  if (options.watch) {
    catch_interrupts();
    const std::int64_t end = options.seconds ? frames_of_seconds(*options.seconds)
                                             : std::numeric_limits<std::int64_t>::max();
    // Only settled readings, each once: the log begins with the first.
    std::optional<treading> last;
    bool told_unsettled = false;
    const std::int64_t tell_unsettled_at = frames_of_seconds(longest_settling_s);
    session.run_until(end, [&] {
      const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
      const bool fresh = !last || snapshot.evaluation_count != last->snapshot.evaluation_count;
      if (lcr::is_current_reading(snapshot) && fresh) {
        int signal_state = lcr::take_signal_state();
        if (!last) signal_state = snapshot.latest_signal_state;  // the level while it settled does not count
        last = next_reading(state, options, snapshot, signal_state);
        print_watch_line(*last, options.json);
        log_reading(log, *last);
      } else if (!last && !told_unsettled && session.frames_processed() >= tell_unsettled_at) {
        told_unsettled = true;
        std::cerr << "quarvel-cli: no settled reading yet (dropouts in the sound stream: " << snapshot.dropouts
                  << ")\n";
      }
      return !interrupt_requested();
    });
    if (!last) return no_settled_reading(static_cast<double>(session.frames_processed()) / waveio::in_rate);
    return verdict_exit_code(*last, options);
  }

  // The first settled reading; then, the level while it settled forgotten,
  // on to the end (--seconds, else one averaging span more) and the settled
  // reading there.
  if (!run_until_settled(session)) return no_settled_reading(longest_settling_s);
  lcr::take_signal_state();
  const std::int64_t averaging_span = static_cast<std::int64_t>(options.avg_count) * options.ft_factor * lcr::eval_stride;
  session.run_until(options.seconds ? frames_of_seconds(*options.seconds) : session.frames_processed() + averaging_span);
  const std::optional<lcr::tmeasurement_snapshot> snapshot = run_until_settled(session);
  if (!snapshot) return no_settled_reading(longest_settling_s);
  const treading reading = next_reading(state, options, *snapshot, lcr::take_signal_state());
  if (options.json) {
    std::cout << reading_json(reading) << std::endl;
  } else {
    print_reading(reading, session, options);
  }
  log_reading(log, reading);
  return verdict_exit_code(reading, options);
}

int run_devices(std::span<const char* const> arguments)
{
  const argument_list list(arguments, {}, {"--json"});
  waveio::tsound_devices devices([] { return lcr::settings.ref_index.load(); }, true);
  waveio::set_backend(&devices.catalog());
  waveio::wavein_enum();
  const std::vector<std::string> inputs = waveio::listed_device_names();
  waveio::waveout_enum();
  const std::vector<std::string> outputs = waveio::listed_device_names();
  waveio::set_backend(nullptr);
  if (list.flag("--json")) {
    const auto names_json = [](const std::vector<std::string>& names) {
      std::string text = "[";
      for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ",") + json_string(names[i]);
      return text + "]";
    };
    std::cout << "{\"inputs\":" << names_json(inputs) << ",\"outputs\":" << names_json(outputs) << "}" << std::endl;
    return 0;
  }
  std::cout << "Eingänge:\n";
  for (std::size_t i = 0; i < inputs.size(); ++i) std::cout << "  " << i << "  " << inputs[i] << "\n";
  std::cout << "Ausgänge:\n";
  for (std::size_t i = 0; i < outputs.size(); ++i) std::cout << "  " << i << "  " << outputs[i] << "\n";
  return 0;
}

}  // namespace quarvel_cli
