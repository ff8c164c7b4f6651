// SPDX-License-Identifier: GPL-3.0-or-later
#include "impedance_command.h"

#include "interrupt.h"
#include "json_writer.h"
#include "reading.h"
#include "sweep_command.h"

#include "engine/analyser/analyser_calibration_file.h"
#include "engine/analyser/analyser_export.h"
#include "engine/core/safe_file.h"
#include "engine/core/settings.h"
#include "engine/loudspeaker/curve_refinement.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/sweeps/multitone_response.h"

#include "audio/streaming.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <unistd.h>

namespace quarvel_cli {

namespace {

constexpr const char* no_curve_text = "keine Impedanzkurve: kein eingeschwungener Messwert des Analysators";
// Looks at the worker's periods about every 40 ms of stream time.
constexpr std::int64_t look_frames = 2 * waveio::block_frames;
constexpr std::int64_t most_waiting_frames = 30LL * waveio::in_rate;
// The first curve may move the reference once; a second move would chase
// noise.
constexpr int most_reference_moves = 2;

struct timpedance_request {
  lcr::tgrid_request grid;
  bool auto_ref = false;
  bool csv = false;
  bool refine = true;
  std::optional<double> input_vrms;  // a full-scale sine's RMS at the inputs
  std::optional<std::string> zma_file;
  std::optional<std::string> overlay_file;
};

double frequency_option(const argument_list& list, std::string_view option, double fallback)
{
  const auto text = list.value(option);
  if (!text) return fallback;
  const auto value = parse_si_number(*text);
  if (!value || !std::isfinite(*value) || *value <= 0.0) {
    throw usage_error(std::string(option) + ": a frequency in Hz such as 10, 2.5k or 20k");
  }
  return *value;
}

int density_option(const argument_list& list)
{
  const auto text = list.value("--ppo");
  if (!text) return 24;
  for (const int density : lcr::analyser_densities) {
    if (*text == std::to_string(density)) return density;
  }
  throw usage_error("--ppo: points per octave 6, 12, 24 or 48");
}

std::vector<lcr::tzma_point> read_overlay(const std::string& path)
{
  const lcr::tfile_text file = lcr::read_regular_text(path, lcr::zma_largest_text);
  if (file.error_number != 0) {
    throw usage_error("--overlay: " + path + ": " + std::string(std::strerror(file.error_number)));
  }
  if (file.too_large) throw usage_error("--overlay: " + path + ": larger than a curve can be (8 MB)");
  lcr::tzma_curve curve = lcr::parse_zma(file.text);
  if (!curve.ok()) throw usage_error("--overlay: " + path + ": " + curve.refusal);
  return std::move(curve.points);
}

// A curve that could not be written is not measured: neither a file that
// may not be replaced nor one in a folder that is missing or closed.
void refuse_unwritable(const std::string& path)
{
  const lcr::tfile_target target = lcr::replaceable_file_target(path);
  int error_number = target.error_number;
  if (error_number == 0 && !target.exists) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) error_number = errno;
  }
  if (error_number != 0) throw usage_error("--zma: " + path + ": " + std::string(std::strerror(error_number)));
}

std::string magnitude_text(double ohm)
{
  lcr::tlcr_strings record;
  record.quantity = "Z";
  lcr::format_quantity(1, record, ohm);
  return record.value_text + " " + record.unit_text;
}

std::string number_text(double value, int decimals)
{
  if (!std::isfinite(value)) return "-";
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

// Whole hertz, but for the fine points around a resonance.
std::string frequency_text(double frequency_hz)
{
  return number_text(frequency_hz, frequency_hz == std::round(frequency_hz) ? 0 : 2);
}

double phase_of(lcr::tcomplex z)
{
  return std::atan2(z.im, z.re) * 180.0 / lcr::pi;
}

// Where the curve was measured again on finer bins, and how.
struct trefined_stretch {
  double from_hz = 0.0;
  double to_hz = 0.0;
  double bin_hz = 0.0;
  std::size_t points = 0;
  double device_rms_full_scale = 0.0;
};

// The level across the device: a share of full scale, and in volts where
// the card's input level at full scale was given.
struct tdevice_level {
  double full_scale_share = 0.0;
  std::optional<double> rms_v;
};

std::string level_line(const tdevice_level& level)
{
  const std::string share = number_text(100.0 * level.full_scale_share, 1) + " % der Vollaussteuerung";
  if (!level.rms_v) return "Pegel am Prüfling: " + share + " (in Volt mit --input-vrms)";
  return "Pegel am Prüfling: " + number_text(*level.rms_v, 3) + " V eff. (" + share + ")";
}

void print_table(const std::vector<lcr::tanalyser_row>& rows, const std::vector<lcr::tzma_point>& overlay,
                 const tdevice_level& level)
{
  std::cout << "Impedanzkurve   R ref " << reference_text(rows.empty() ? 0 : rows.front().row.ref_index) << "\n";
  std::cout << std::left << std::setw(12) << "Frequenz" << std::setw(16) << "|Z|" << std::setw(17) << "± |Z|"
            << std::setw(10) << "phi" << std::setw(10) << "± phi";
  if (!overlay.empty()) std::cout << std::setw(16) << "Vergleich |Z|" << std::setw(12) << "Vergl. phi";
  std::cout << "Hinweis\n";
  for (const lcr::tanalyser_row& entry : rows) {
    const lcr::tsweep_row& row = entry.row;
    std::cout << std::setw(12) << (frequency_text(row.frequency_hz) + " Hz") << std::setw(16)
              << magnitude_text(lcr::c_abs(row.z)) << std::setw(16) << magnitude_text(row.z_deviation)
              << std::setw(10) << (number_text(phase_of(row.z), 2) + "°") << std::setw(10)
              << (number_text(row.phase_deviation, 2) + "°");
    if (!overlay.empty()) {
      const auto other = lcr::zma_point_at(overlay, row.frequency_hz);
      std::cout << std::setw(16) << (other ? magnitude_text(other->magnitude_ohm) : "-") << std::setw(12)
                << (other ? number_text(other->phase_deg, 2) + "°" : "-");
    }
    std::string note = entry.calibrated ? "" : "unkalibriert";
    if (entry.doubtful) note += std::string(note.empty() ? "" : ", ") + "Teilerverhältnis ungünstig";
    if (row.signal_state != 0) note += std::string(note.empty() ? "" : ", ") + lamp_text(row.signal_state);
    std::cout << note << "\n";
  }
  std::cout << level_line(level) << "\n";
}

std::string curve_json(const std::vector<lcr::tanalyser_row>& rows, const lcr::tgrid_request& grid, bool auto_ref,
                       int periods, const std::vector<lcr::tzma_point>& overlay, const tdevice_level& level,
                       const std::optional<trefined_stretch>& refined = std::nullopt)
{
  const auto [first, second] = lcr::displayed_quantities();
  std::string array = "[";
  for (const lcr::tanalyser_row& entry : rows) {
    tjson_object object = sweep_row_json(entry.row, first, second);
    object.add("phase_deg", phase_of(entry.row.z))
        .add("phase_deviation_deg", entry.row.phase_deviation)
        .add("phase_uncertainty_deg", entry.row.phase_uncertainty)
        .add("calibrated", entry.calibrated)
        .add("doubtful", entry.doubtful);
    array += (array.size() > 1 ? "," : "") + object.text();
  }
  tjson_object result;
  result.add("from_hz", grid.from_hz)
      .add("to_hz", grid.to_hz)
      .add("points_per_octave", grid.points_per_octave)
      .add("auto_ref", auto_ref)
      .add("periods", periods)
      .add("level", lcr::settings.tone_level.load() / 10000.0)
      .add("dropouts", static_cast<double>(waveio::dropout_count()))
      .add("device_rms_full_scale", level.full_scale_share);
  if (level.rms_v) {
    result.add("device_rms_v", *level.rms_v);
  } else {
    result.add_null("device_rms_v");
  }
  if (refined) {
    tjson_object stretch;
    stretch.add("from_hz", refined->from_hz)
        .add("to_hz", refined->to_hz)
        .add("bin_hz", refined->bin_hz)
        .add("points", static_cast<int>(refined->points))
        .add("device_rms_full_scale", refined->device_rms_full_scale);
    result.add("refined", stretch);
  } else {
    result.add_null("refined");
  }
  std::string text = result.text();
  text.insert(text.size() - 1, ",\"rows\":" + array + "]");
  if (!overlay.empty()) {
    std::string points = "[";
    for (const lcr::tzma_point& point : overlay) {
      tjson_object object;
      object.add("frequency_hz", point.frequency_hz).add("z_abs", point.magnitude_ohm).add("phase_deg", point.phase_deg);
      points += (points.size() > 1 ? "," : "") + object.text();
    }
    text.insert(text.size() - 1, ",\"overlay\":" + points + "]");
  }
  return text;
}

std::vector<lcr::tsweep_row> plain_rows(const std::vector<lcr::tanalyser_row>& rows)
{
  std::vector<lcr::tsweep_row> plain;
  plain.reserve(rows.size());
  for (const lcr::tanalyser_row& row : rows) plain.push_back(row.row);
  return plain;
}

void write_zma(const std::string& path, const std::vector<lcr::tanalyser_row>& rows)
{
  const std::string text = lcr::analyser_zma_text(
      rows, {"Quarvel impedance curve", "R ref " + reference_text(rows.empty() ? 0 : rows.front().row.ref_index) +
                                            ", Pegel " + number_text(lcr::settings.tone_level.load() / 10000.0, 2),
             "Hz Ohm Grad"});
  const int error_number = lcr::replace_regular_file(
      path, [&](int descriptor) { return lcr::write_all(descriptor, text.data(), text.size()); });
  if (error_number != 0) throw std::runtime_error(path + ": " + std::strerror(error_number));
}

tdevice_level level_of(double full_scale_share, const timpedance_request& request)
{
  tdevice_level level{full_scale_share, std::nullopt};
  // Nothing across the device is no voltage to judge a driver by.
  if (request.input_vrms && full_scale_share > 0.0) level.rms_v = full_scale_share * *request.input_vrms;
  return level;
}

timpedance_request parse_request(const argument_list& list)
{
  timpedance_request request;
  request.grid = parse_grid_options(list);
  request.auto_ref = list.flag("--auto-ref");
  request.csv = list.flag("--csv");
  request.refine = !list.flag("--no-refine");
  if (const auto text = list.value("--input-vrms")) {
    const auto value = parse_si_number(*text);
    if (!value || !std::isfinite(*value) || *value <= 0.0) {
      throw usage_error("--input-vrms: the RMS voltage of a full-scale sine at the inputs, such as 1.5");
    }
    request.input_vrms = *value;
  }
  request.zma_file = list.value("--zma");
  request.overlay_file = list.value("--overlay");
  if (request.auto_ref && list.value("--ref")) throw usage_error("--auto-ref: the reference is chosen; leave out --ref");
  if (request.csv && list.flag("--json")) throw usage_error("--csv: either --json or --csv");
  return request;
}

}  // namespace

lcr::tanalyser_grid analyser_grid_of(const argument_list& list)
{
  const lcr::tgrid_result grid = lcr::analyser_grid(parse_grid_options(list));
  if (!grid.grid) throw usage_error("--from/--to/--ppo: " + grid.refusal);
  return *grid.grid;
}

lcr::tgrid_request parse_grid_options(const argument_list& list)
{
  return {frequency_option(list, "--from", 10.0), frequency_option(list, "--to", 20000.0), density_option(list)};
}

std::vector<std::string_view> grid_value_options()
{
  return {"--from", "--to", "--ppo"};
}

std::string run_analyser_curves(tmeter_session& session, lcr::tanalyser_measurement& measurement,
                                const lcr::tanalyser_calibration& calibration, bool auto_ref, std::int64_t end_frame,
                                const std::function<bool(const std::vector<lcr::tanalyser_row>&)>& take_curve)
{
  const lcr::tquantity_pair quantities = lcr::displayed_quantity_pair();
  std::int64_t waiting_since = session.frames_processed();
  int reference_moves = 0;
  bool reference_chosen = !auto_ref;
  bool any = false;
  while (session.frames_processed() < end_frame) {
    session.run_until(std::min(end_frame, session.frames_processed() + look_frames));
    if (!measurement.poll() || !measurement.current()) {
      if (session.frames_processed() - waiting_since > most_waiting_frames) return any ? "" : no_curve_text;
      continue;
    }
    waiting_since = session.frames_processed();
    const std::vector<lcr::tanalyser_row> rows = analyser_rows(measurement, calibration, quantities, false);
    if (!reference_chosen) {
      const int best = lcr::curve_reference(plain_rows(rows));
      if (best != lcr::settings.ref_index.load() && reference_moves < most_reference_moves) {
        ++reference_moves;
        lcr::settings.ref_index = best;
        continue;  // the next current curve is of the new reference
      }
      reference_chosen = true;
    }
    if (measurement.periods() < std::max(1, lcr::settings.avg_count.load())) continue;
    any = true;
    if (!take_curve(rows)) return "";
  }
  return any ? "" : no_curve_text;
}

namespace {

std::string resonance_text(double fs_hz)
{
  return "Resonanz bei " + number_text(fs_hz, 1) + " Hz";
}

// Measures a resonance the curve shows on too few points again on finer
// bins and puts the fine points in place of the coarse ones there; says on
// standard error that it did, or why it could not (the coarse curve then
// stands as measured).
std::optional<trefined_stretch> refine_resonance(tmeter_session& session,
                                                 const lcr::tanalyser_calibration& calibration, int periods,
                                                 std::vector<lcr::tanalyser_row>& rows)
{
  const std::optional<lcr::tresonance_refinement> refinement =
      lcr::resonance_refinement(lcr::driver_curve_of_rows(rows));
  if (!refinement) return std::nullopt;
  const lcr::tanalyser_grid& grid = refinement->grid;
  std::vector<lcr::tanalyser_row> fine;
  double device_rms = 0.0;
  {
    lcr::tanalyser_measurement measurement(grid, periods);
    const std::string failure = run_analyser_curves(
        session, measurement, calibration, false, std::numeric_limits<std::int64_t>::max(),
        [](const std::vector<lcr::tanalyser_row>&) { return false; });
    if (!failure.empty()) {
      std::cerr << "quarvel-cli: " << resonance_text(refinement->resonance.fs_hz)
                << " nicht fein nachgemessen: " << failure << "\n";
      return std::nullopt;
    }
    fine = analyser_rows(measurement, calibration, lcr::displayed_quantity_pair(), true);
    device_rms = lcr::device_rms_full_scale(measurement);
  }
  rows = lcr::refined_rows(rows, fine);
  const trefined_stretch stretch{grid.frequency_hz(0), grid.frequency_hz(grid.size() - 1), refinement->step_hz,
                                 grid.size(), device_rms};
  // Where the fine points put it, no longer the coarse curve's guess.
  std::cerr << "quarvel-cli: " << resonance_text(lcr::resonance_hz(rows, refinement->resonance.fs_hz))
            << " fein nachgemessen: "
            << stretch.points << " Punkte von " << number_text(stretch.from_hz, 2) << " bis "
            << number_text(stretch.to_hz, 2) << " Hz im Abstand " << number_text(stretch.bin_hz, 2)
            << " Hz (vorher " << refinement->resonance.points_within << " in der -3-dB-Breite)\n";
  return stretch;
}

}  // namespace

int run_impedance(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = meter_value_options();
  std::erase(value_options, "--csv");  // here a flag: the curve as CSV
  const std::vector<std::string_view> grid_options = grid_value_options();
  value_options.insert(value_options.end(), grid_options.begin(), grid_options.end());
  value_options.insert(value_options.end(), {"--zma", "--overlay", "--input-vrms"});
  std::vector<std::string_view> flags = meter_flags();
  flags.insert(flags.end(), {"--auto-ref", "--csv", "--no-refine"});
  const argument_list list(arguments, value_options, flags);
  tmeter_options options = parse_meter_options(list);
  if (options.auto_mode) throw usage_error("--mode: a curve shows one mode's quantities; 'auto' is for measure");
  // A curve spreads the drive over hundreds of sines: full level unless asked.
  if (!list.value("--level")) options.tone_level = 10000.0;
  const timpedance_request request = parse_request(list);
  const lcr::tanalyser_grid grid = analyser_grid_of(list);
  const std::vector<lcr::tzma_point> overlay =
      request.overlay_file ? read_overlay(*request.overlay_file) : std::vector<lcr::tzma_point>{};
  if (request.zma_file) refuse_unwritable(*request.zma_file);

  tmeter_session session(options);
  if (request.auto_ref && !session.on_fixture()) {
    throw usage_error("--auto-ref: only the simulated set-up changes its reference by itself; "
                      "fit the resistor that the meter recommends and give it with --ref");
  }
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";
  lcr::tanalyser_calibration calibration;
  const std::string calibration_path = lcr::analyser_calibration_path(options.cal_file);
  if (const lcr::tfile_result loaded = lcr::load_analyser_calibration(calibration_path, calibration); !loaded.ok) {
    std::cerr << "quarvel-cli: " << loaded.text() << " (the curve is measured uncalibrated)\n";
  }

  const int periods = std::max(1, options.avg_count);
  if (options.watch) catch_interrupts();
  const std::int64_t end_frame = options.watch && options.seconds
                                     ? static_cast<std::int64_t>(*options.seconds * waveio::in_rate)
                                     : std::numeric_limits<std::int64_t>::max();
  std::vector<lcr::tanalyser_row> last;
  double device_rms = 0.0;
  {
    lcr::tanalyser_measurement measurement(grid, periods);
    const std::string failure = run_analyser_curves(
        session, measurement, calibration, request.auto_ref, end_frame,
        [&](const std::vector<lcr::tanalyser_row>& rows) {
          if (!options.watch) return false;
          const double share = lcr::device_rms_full_scale(measurement);
          std::cout << curve_json(rows, request.grid, request.auto_ref, periods, {}, level_of(share, request))
                    << std::endl;
          return !interrupt_requested();
        });
    if (!failure.empty()) {
      std::cerr << "quarvel-cli: " << failure << " (dropouts in the sound stream: " << waveio::dropout_count()
                << ")\n";
      return 1;
    }
    if (options.watch) return 0;
    // The figures of the two quantities for the table and the files.
    last = analyser_rows(measurement, calibration, lcr::displayed_quantity_pair(), true);
    device_rms = lcr::device_rms_full_scale(measurement);
  }  // the excitation stops before a closer look starts its own
  std::optional<trefined_stretch> refined;
  if (request.refine) refined = refine_resonance(session, calibration, periods, last);
  // The closer look drives the resonance harder: the higher of the two counts.
  const tdevice_level level = level_of(std::max(device_rms, refined ? refined->device_rms_full_scale : 0.0), request);
  if (request.zma_file) write_zma(*request.zma_file, last);
  if (options.json) {
    std::cout << curve_json(last, request.grid, request.auto_ref, periods, overlay, level, refined) << std::endl;
  } else if (request.csv) {
    std::cout << lcr::analyser_csv_text(last);
  } else {
    print_table(last, overlay, level);
  }
  return 0;
}

}  // namespace quarvel_cli
