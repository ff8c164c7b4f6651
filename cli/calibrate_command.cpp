// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibrate_command.h"

#include "calibration_sweep.h"
#include "impedance_command.h"
#include "json_writer.h"
#include "meter_session.h"

#include "engine/analyser/analyser_calibration_file.h"
#include "engine/analyser/analyser_calibration_steps.h"
#include "engine/calibration/calibration_steps.h"
#include "engine/core/safe_file.h"
#include "engine/core/settings.h"
#include "engine/corrections/calibration_file.h"
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <iostream>
#include <stdexcept>
#include <string>

namespace quarvel_cli {

namespace {

// What the operator must connect for a calibration mode.
const char* connection_hint(lcr::tcal_mode mode)
{
  switch (mode) {
    case lcr::tcal_mode::crosstalk: return "Referenzwiderstand offen, Messklemmen kurzgeschlossen";
    case lcr::tcal_mode::symmetry: return "Referenzwiderstand kurzgeschlossen, Messklemmen offen";
    case lcr::tcal_mode::open: return "Referenzwiderstand bestückt, Messklemmen offen";
    case lcr::tcal_mode::short_circuit: return "Referenzwiderstand bestückt, Messklemmen kurzgeschlossen";
    case lcr::tcal_mode::reference: return "Referenzwiderstand bestückt, bekannter Widerstand an den Messklemmen";
  }
  return "";
}

void wait_for_operator(lcr::tcal_mode mode)
{
  std::cerr << "Bitte anschließen: " << connection_hint(mode) << " - weiter mit Enter" << std::endl;
  std::string line;
  std::getline(std::cin, line);
}

double positive_number_option(const argument_list& list, std::string_view option, double fallback)
{
  const auto text = list.value(option);
  if (!text) return fallback;
  const auto value = parse_si_number(*text);
  if (!value || *value < 0.0) {
    throw usage_error(std::string(option) + ": '" + *text + "' is not a number of 0 or more");
  }
  return *value;
}

std::vector<std::string_view> with(std::vector<std::string_view> names, std::initializer_list<std::string_view> more)
{
  names.insert(names.end(), more);
  return names;
}

const char* grade_text(int code)
{
  switch (code) {
    case lcr::test_good: return "grün";
    case lcr::test_doubtful: return "gelb";
    case lcr::test_bad: return "rot";
    default: return "nicht gemessen";
  }
}

// A sweep whose result could not be saved is not started.
void refuse_unsaveable(const std::string& cal_file)
{
  const lcr::tfile_target target = lcr::replaceable_file_target(cal_file);
  if (target.error_number == 0) return;
  const lcr::tfile_result refused{false, "E/A-Fehler " + std::to_string(target.error_number), cal_file};
  throw std::runtime_error(refused.text());  // exit 1
}

// "2" or a sequence such as "2,3,4": the known-resistor step needs the open
// ratios of the same run, so a resistor's modes 2, 3 and 4 go in one call.
std::vector<lcr::tcal_mode> parse_cal_modes(const std::optional<std::string>& text)
{
  const usage_error error("--mode: calibrate needs calibration modes 0 … 4, one or a list such as 2,3,4");
  if (!text || text->empty()) throw error;
  std::vector<lcr::tcal_mode> modes;
  std::string_view rest = *text;
  for (;;) {
    const auto comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    if (item.size() != 1 || item[0] < '0' || item[0] > '4') throw error;  // also "" around a comma
    modes.push_back(static_cast<lcr::tcal_mode>(item[0] - '0'));
    if (comma == std::string_view::npos) return modes;
    rest.remove_prefix(comma + 1);
  }
}

std::string sweep_json(lcr::tcal_mode mode, const std::vector<lcr::tcal_step_result>& results)
{
  std::string steps = "[";
  for (std::size_t f = 0; f < results.size(); ++f) {
    tjson_object step;
    step.add("frequency_hz", lcr::test_frequencies[f]).add("result", lcr::cal_step_result_text(results[f]));
    steps += (f == 0 ? "" : ",") + step.text();
  }
  tjson_object object;
  object.add("mode", static_cast<int>(mode)).add("mode_name", lcr::cal_mode_names[static_cast<std::size_t>(mode)]);
  std::string text = object.text();
  text.insert(text.size() - 1, ",\"steps\":" + steps + "]");
  return text;
}

void print_sweep(lcr::tcal_mode mode, const std::vector<lcr::tcal_step_result>& results)
{
  std::cout << lcr::cal_mode_names[static_cast<std::size_t>(mode)] << "   Rref "
            << reference_text(lcr::settings.ref_index.load()) << "\n";
  for (std::size_t f = 0; f < results.size(); ++f) {
    std::cout << "  " << frequency_text(static_cast<int>(f)) << ": " << lcr::cal_step_result_text(results[f]) << "\n";
  }
}

// The analyser's periods averaged for a calibration: sixteen make each
// point's entry as exact as a reading it will correct, at 1 s each.
constexpr int impedance_calibration_periods = 16;

int run_impedance_calibration(const argument_list& list, const std::vector<lcr::tcal_mode>& modes,
                              const tmeter_options& options, const lcr::tknown_part& known)
{
  const lcr::tanalyser_grid grid = analyser_grid_of(list);
  const std::string path = lcr::analyser_calibration_path(options.cal_file);
  lcr::tanalyser_calibration calibration;
  // A file that cannot be read is not replaced by a calibration that lacks
  // what it held.
  if (const lcr::tfile_result loaded = lcr::load_analyser_calibration(path, calibration); !loaded.ok) {
    throw std::runtime_error(loaded.text());
  }
  if (list.flag("--save")) refuse_unsaveable(path);
  tmeter_session session(options);
  const int periods = list.value("--avg") ? std::max(1, options.avg_count) : impedance_calibration_periods;
  lcr::settings.avg_count = periods;
  lcr::tanalyser_step_capture capture;
  std::string steps_json;
  bool complete = true;
  for (const lcr::tcal_mode mode : modes) {
    if (session.simulated()) {
      place_fixture_for_calibration(mode, session.fixture(), known.rp_ohm, known.cp_ff);
    } else {
      wait_for_operator(mode);
    }
    // A new measurement for each step: nothing of the previous part is averaged in.
    lcr::tanalyser_measurement measurement(grid, periods);
    const std::string failure = run_analyser_curves(session, measurement, calibration, false,
                                                    std::numeric_limits<std::int64_t>::max(),
                                                    [](const std::vector<lcr::tanalyser_row>&) { return false; });
    const lcr::tanalyser_step_outcome outcome =
        failure.empty() ? lcr::analyser_store_step(mode, measurement, calibration, capture, known)
                        : lcr::tanalyser_step_outcome{0, failure};
    complete = complete && outcome.ok();
    const char* name = lcr::cal_mode_names[static_cast<std::size_t>(mode)];
    const std::string result = outcome.ok() ? std::to_string(outcome.stored) + " Punkte gespeichert" : outcome.refusal;
    if (options.json) {
      tjson_object step;
      step.add("mode", static_cast<int>(mode)).add("mode_name", name).add("points", outcome.stored).add("result", result);
      steps_json += (steps_json.empty() ? "" : ",") + step.text();
    } else {
      std::cout << name << "   Rref " << reference_text(lcr::settings.ref_index.load()) << ": " << result << "\n";
    }
  }
  lcr::tfile_result saved;
  if (!complete) {
    saved = {false, "nicht gespeichert: nicht jeder Schritt gespeichert", path};
  } else if (list.flag("--save")) {
    saved = lcr::save_analyser_calibration(path, calibration);
  }
  if (options.json) {
    tjson_object object;
    object.add("ref_ohm", lcr::current_ref_resistor_ohm())
        .add("points", static_cast<int>(grid.size()))
        .add("saved", list.flag("--save") && saved.ok)
        .add("save_message", saved.text());
    std::string text = object.text();
    text.insert(text.size() - 1, ",\"steps\":[" + steps_json + "]");
    std::cout << text << std::endl;
  } else if (list.flag("--save") && complete) {
    std::cout << (saved.ok ? "gespeichert in " + path : saved.text()) << "\n";
  }
  if (!saved.ok) {
    std::cerr << "quarvel-cli: " << saved.text() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int run_calibrate(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = with(meter_value_options(), {"--rp", "--cp"});
  const std::vector<std::string_view> grid_options = grid_value_options();
  value_options.insert(value_options.end(), grid_options.begin(), grid_options.end());
  const argument_list list(arguments, value_options, with(meter_flags(), {"--save", "--multitone", "--impedance"}));
  const std::vector<lcr::tcal_mode> modes = parse_cal_modes(list.value("--mode"));
  const tmeter_options options = parse_meter_options(list, /*meas_mode_option=*/false);
  const double rp_ohm = positive_number_option(list, "--rp", 1000.0);
  const double cp_ff = positive_number_option(list, "--cp", 200.0);
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::cal_capture.known_rp = rp_ohm;
    lcr::cal_capture.known_cp = cp_ff;
  }

  if (list.flag("--impedance")) {
    if (list.flag("--multitone")) throw usage_error("--impedance: the analyser takes every point in one pass already");
    tmeter_options analyser_options = options;
    if (!list.value("--level")) analyser_options.tone_level = 10000.0;
    return run_impedance_calibration(list, modes, analyser_options, {rp_ohm, cp_ff});
  }
  if (list.flag("--save")) refuse_unsaveable(options.cal_file);

  tmeter_session session(options);
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";
  std::string sweeps_json;
  bool unsettled = false;  // a frequency gave no settled reading
  bool incomplete = false; // a step stored nothing at some frequency
  for (const lcr::tcal_mode mode : modes) {
    if (session.simulated()) {
      place_fixture_for_calibration(mode, session.fixture(), rp_ohm, cp_ff);
    } else {
      wait_for_operator(mode);
    }
    const std::vector<lcr::tcal_step_result> results = list.flag("--multitone")
                                                           ? calibration_multitone(session, mode)
                                                           : calibration_sweep(session, mode, options.freq_index);
    for (const lcr::tcal_step_result result : results) {
      unsettled |= result == lcr::tcal_step_result::not_settled;
      incomplete |= result != lcr::tcal_step_result::stored;
    }
    if (options.json) {
      sweeps_json += (sweeps_json.empty() ? "" : ",") + sweep_json(mode, results);
    } else {
      print_sweep(mode, results);
    }
  }

  lcr::tfile_result saved;
  if (unsettled) {
    // A calibration with holes is not worth the file the operator has.
    saved = {false, "nicht gespeichert: kein eingeschwungener Messwert bei jeder Frequenz", options.cal_file};
  } else if (incomplete) {
    saved = {false, "nicht gespeichert: nicht bei jeder Frequenz gespeichert", options.cal_file};
  } else if (list.flag("--save")) {
    // "Speichern": the previous file becomes the backup, then the new one is written.
    saved = lcr::cal_save_with_backup(options.cal_file, lcr::calibration_backup_path(options.cal_file));
  }
  if (options.json) {
    tjson_object object;
    object.add("ref_ohm", lcr::current_ref_resistor_ohm())
        .add("saved", list.flag("--save") && saved.ok)
        .add("save_message", saved.text());
    std::string text = object.text();
    text.insert(text.size() - 1, ",\"sweeps\":[" + sweeps_json + "]");
    std::cout << text << std::endl;
  } else if (list.flag("--save") && !unsettled && !incomplete) {
    std::cout << (saved.ok ? "gespeichert in " + options.cal_file : saved.text()) << "\n";
  }
  if (!saved.ok) {
    std::cerr << "quarvel-cli: " << saved.text() << "\n";
    return 1;
  }
  return 0;
}

int run_selftest(std::span<const char* const> arguments)
{
  const argument_list list(arguments, with(meter_value_options(), {"--test"}), meter_flags());
  const auto test_text = list.value("--test");
  const auto test_number = test_text ? parse_number(*test_text) : std::nullopt;
  if (!test_number || *test_number < 1 || *test_number > 4 || *test_number != std::floor(*test_number)) {
    throw usage_error("--test: selftest needs a test 1, 2, 3 or 4");
  }
  const int test = static_cast<int>(*test_number);
  const tmeter_options options = parse_meter_options(list);
  tmeter_session session(options);
  if (session.simulated()) {
    waveio::tfixture_config config = session.fixture().configuration();
    config.wiring = test == 3   ? waveio::twiring::test_fixture_2
                    : test == 4 ? waveio::twiring::open_inputs
                                : waveio::twiring::test_fixture_1;
    session.fixture().set_configuration(config);
  }
  lcr::enter_test_mode();
  lcr::settings.test_mode = test;
  // Test 4 smooths over 100 evaluations (5 s): give it six time constants.
  const double seconds = options.seconds.value_or(test == 4 ? 31.0 : 2.0);
  session.run_until(session.frames_processed() + static_cast<std::int64_t>(seconds * waveio::in_rate));
  const lcr::tconfig_test_results results = lcr::config_test_results();

  tjson_object object;
  object.add("test", test);
  std::string text;
  switch (test) {
    case 1:
      object.add("result", results.test1_result).add("grade", grade_text(results.test1_result));
      text = std::string("Test 1: Aussteuerung: ") + grade_text(results.test1_result);
      break;
    case 2:
      object.add("amplitude_result", results.test2_amplitude_result)
          .add("amplitude_grade", grade_text(results.test2_amplitude_result))
          .add("phase_result", results.test2_phase_result)
          .add("phase_grade", grade_text(results.test2_phase_result));
      text = std::string("Test 2: Amplitudenverlauf: ") + grade_text(results.test2_amplitude_result) +
             "\nTest 2: Phasenverlauf: " + grade_text(results.test2_phase_result);
      break;
    case 3:
      object.add("result", results.test3_result).add("grade", grade_text(results.test3_result));
      text = std::string("Test 3: Stereo + Kanalzurordnung: ") + grade_text(results.test3_result);
      break;
    default:
      object.add("bits_best", results.test4_bits_best).add("bits_worst", results.test4_bits_worst);
      text = "Test 4: eff. Auflösung [Bit] max, min: " +
             lcr::format_fixed(results.test4_bits_best, 1, 1, lcr::decimal_separator()) + " " +
             lcr::format_fixed(results.test4_bits_worst, 1, 1, lcr::decimal_separator());
      break;
  }
  std::cout << (options.json ? object.text() : text) << std::endl;
  return 0;
}

}  // namespace quarvel_cli
