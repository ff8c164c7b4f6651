// SPDX-License-Identifier: GPL-3.0-or-later
#include "loudspeaker_command.h"

#include "arguments.h"
#include "json_writer.h"

#include "engine/core/csv_text.h"
#include "engine/core/safe_file.h"
#include "engine/loudspeaker/driver_parameters.h"
#include "engine/loudspeaker/parameter_table.h"
#include "engine/quantities/quantity_texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace quarvel_cli {

namespace {

struct tsecond_request {
  lcr::tsecond_method method = lcr::tsecond_method::added_mass;
  std::string amount_text;
  std::string file;
};

struct tcommand_line {
  std::string free_file;
  std::optional<tsecond_request> second;
  std::vector<const char*> options;  // the rest, for argument_list
};

// FREE and the two values of --added-mass and --box, which argument_list
// (one value per option) cannot take; everything else stays for it.
tcommand_line split_command_line(std::span<const char* const> arguments)
{
  tcommand_line line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--added-mass" || argument == "--box") {
      if (line.second) throw usage_error("--added-mass or --box: one second curve");
      if (i + 2 >= arguments.size()) {
        throw usage_error(std::string(argument) + (argument == "--box" ? " LITRES BOXED" : " GRAMS LOADED") +
                          ": the amount and the curve's file");
      }
      line.second = tsecond_request{
          argument == "--box" ? lcr::tsecond_method::closed_box : lcr::tsecond_method::added_mass,
          arguments[i + 1], arguments[i + 2]};
      i += 2;
    } else if (argument.starts_with("-")) {
      line.options.push_back(arguments[i]);
      const bool takes_value =
          argument == "--sd" || argument == "--diameter" || argument == "--re" || argument == "--temperature";
      if (takes_value && i + 1 < arguments.size()) line.options.push_back(arguments[++i]);
    } else if (line.free_file.empty()) {
      line.free_file = argument;
    } else {
      throw usage_error("'" + std::string(argument) +
                        "': one free-air curve; a second follows --added-mass or --box");
    }
  }
  if (line.free_file.empty())
    throw usage_error("loudspeaker needs the free-air curve (a file of impedance --json or .zma)");
  return line;
}

// Half a unit of the last digit of a number as written ("12.50" → 0.005).
double last_digit_half(std::string_view text)
{
  const std::size_t exponent_at = text.find_first_of("eE");
  const std::string_view mantissa = text.substr(0, exponent_at);
  int exponent = 0;
  if (exponent_at != std::string_view::npos) {
    const std::string_view digits = text.substr(exponent_at + 1);
    std::from_chars(digits.data() + (digits.starts_with("+") ? 1 : 0), digits.data() + digits.size(),
                    exponent);
  }
  const std::size_t point = mantissa.find('.');
  const int decimals = point == std::string_view::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  return 0.5 * std::pow(10.0, exponent - decimals);
}

lcr::tsecond_curve second_curve(const tsecond_request& request, lcr::tdriver_curve curve)
{
  const bool mass = request.method == lcr::tsecond_method::added_mass;
  // grams and litres to kg and m³
  return {request.method, std::move(curve),
          entered_value(mass ? "--added-mass" : "--box", request.amount_text, 1e-3)};
}

bool looks_like_json(const std::string& path, const std::string& text)
{
  if (path.ends_with(".json")) return true;
  if (path.ends_with(".zma")) return false;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && text[first] == '{';
}

lcr::tdriver_curve read_curve(const std::string& path)
{
  const lcr::tfile_text file = lcr::read_regular_text(path, lcr::zma_largest_text);
  if (file.error_number != 0) throw std::runtime_error(path + ": " + std::strerror(file.error_number));
  if (file.too_large) throw std::runtime_error(path + ": larger than a curve can be (8 MB)");
  lcr::tdriver_curve curve;
  if (looks_like_json(path, file.text)) {
    curve = lcr::parse_curve_json(file.text);
  } else {
    lcr::tzma_curve zma = lcr::parse_zma(file.text);
    curve = zma.ok() ? lcr::driver_curve_of(zma.points) : lcr::tdriver_curve{{}, zma.refusal, std::nullopt};
  }
  if (!curve.ok()) throw std::runtime_error(path + ": " + curve.refusal);
  return curve;
}

std::optional<lcr::tentered> cone_area(const argument_list& list)
{
  const auto area = list.value("--sd");
  const auto diameter = list.value("--diameter");
  if (area && diameter) throw usage_error("--sd or --diameter: the cone's area once");
  if (area) return entered_value("--sd", *area, 1e-4);
  if (!diameter) return std::nullopt;
  const lcr::tentered d = entered_value("--diameter", *diameter, 1e-2);
  return lcr::tentered{lcr::pi * d.value * d.value / 4.0, lcr::pi * d.value / 2.0 * d.tolerance};
}

double temperature_of(const argument_list& list)
{
  const auto text = list.value("--temperature");
  if (!text) return 20.0;
  const auto value = parse_number(*text);
  if (!value)
    throw usage_error("--temperature: '" + *text + "' is not a temperature in °C such as 20 or 23.5");
  return *value;
}

tjson_object measured_json(const lcr::tparameter_row& shown)
{
  tjson_object object;
  object.add("value", shown.measured.value * shown.key_factor).add("u", shown.measured.u * shown.key_factor);
  return object;
}

tjson_object fit_json(const lcr::tdriver_fit& fit)
{
  tjson_object object;
  object.add("coil", fit.model.coil == lcr::tcoil_model::lossy ? "Le||R2" : "Le")
      .add("weighted", fit.weighted)
      .add("points", static_cast<int>(fit.points_used))
      .add("points_uncalibrated", static_cast<int>(fit.points_uncalibrated))
      .add("chi_square", fit.chi_square)
      .add("freedom", fit.freedom)
      .add("variance_scale", fit.variance_scale)
      .add("describes_curve", fit.describes_curve);
  return object;
}

tjson_object classic_json(const lcr::tclassic_parameters& classic)
{
  tjson_object object;
  object.add("fs_hz", classic.fs_hz)
      .add("z_max_ohm", classic.z_max_ohm)
      .add("r0", classic.r0)
      .add("f1_hz", classic.f1_hz)
      .add("f2_hz", classic.f2_hz)
      .add("qms", classic.qms)
      .add("qes", classic.qes)
      .add("qts", classic.qts);
  return object;
}

std::string report_json(const lcr::tdriver_report& report, double temperature_c)
{
  tjson_object object;
  for (const lcr::tparameter_row& shown : lcr::parameter_rows(report.parameters)) object.add(shown.key, measured_json(shown));
  object.add("fit", fit_json(report.free_fit));
  if (report.second_fit) object.add("second_fit", fit_json(*report.second_fit));
  if (report.parameters.mechanical) {
    tjson_object air;
    air.add("temperature_c", temperature_c)
        .add("density_kg_per_m3", report.air.density_kg_per_m3)
        .add("sound_speed_m_per_s", report.air.sound_speed_m_per_s);
    object.add("air", air);
  }
  object.add("classic", classic_json(report.free_fit.classic));
  tjson_object drive;
  const auto add_level = [&drive](const char* key, const std::optional<double>& rms_v) {
    if (rms_v) {
      drive.add(key, *rms_v);
    } else {
      drive.add_null(key);
    }
  };
  add_level("free_rms_v", report.free_drive.rms_v);
  if (report.second_drive) add_level("second_rms_v", report.second_drive->rms_v);
  object.add("drive", drive);
  std::string text = object.text();
  std::string warnings = "[";
  for (const std::string& warning : lcr::drive_warnings(report.free_drive, report.second_drive)) {
    warnings += (warnings.size() > 1 ? "," : "") + json_string(warning);
  }
  text.insert(text.size() - 1, ",\"warnings\":" + warnings + "]");
  return text;
}

std::string report_csv(const lcr::tdriver_report& report)
{
  std::string text = lcr::csv_line({"parameter", "value", "u"});
  for (const lcr::tparameter_row& shown : lcr::parameter_rows(report.parameters)) {
    text += lcr::csv_line({shown.key, lcr::csv_number(shown.measured.value * shown.key_factor),
                           lcr::csv_number(shown.measured.u * shown.key_factor)});
  }
  const lcr::tclassic_parameters& c = report.free_fit.classic;
  for (const auto& [key, value] : {std::pair{"classic_fs_hz", c.fs_hz},
                                   {"classic_z_max_ohm", c.z_max_ohm},
                                   {"classic_f1_hz", c.f1_hz},
                                   {"classic_f2_hz", c.f2_hz},
                                   {"classic_qms", c.qms},
                                   {"classic_qes", c.qes},
                                   {"classic_qts", c.qts}}) {
    text += lcr::csv_line({key, lcr::csv_number(value), ""});
  }
  return text;
}

std::string number_text(double value, int decimals)
{
  return std::isfinite(value) ? lcr::format_fixed(value, decimals, 0, lcr::decimal_separator()) : "-";
}

std::string fit_text(const lcr::tdriver_fit& fit)
{
  const double reduced = fit.chi_square / fit.freedom;
  std::string text = std::to_string(fit.points_used) + " Punkte, Schwingspule " +
                     (fit.model.coil == lcr::tcoil_model::lossy ? "Le ∥ R2" : "Le");
  // Unweighted, each residual is a share of its |Z|.
  if (!fit.weighted) {
    return text + ", Rest im Mittel " + number_text(100.0 * std::sqrt(reduced), 4) +
           " % von |Z|; ohne Unsicherheiten der Punkte: ± allein aus dem Rest der Anpassung";
  }
  text += ", χ²/ν = " + number_text(reduced, 2);
  if (fit.points_uncalibrated > 0) {
    text += "; " + std::to_string(fit.points_uncalibrated) +
            " Punkte unkalibriert: systematische Abweichungen des Aufbaus fehlen in den ±";
  }
  if (!fit.describes_curve)
    text += "; das Modell beschreibt die Kurve nur näherungsweise, ± um √(χ²/ν) erweitert";
  return text;
}

// The text filled with blanks to `width` characters (not bytes: "±", "η0").
std::string padded(std::string text, std::size_t width)
{
  const auto characters = static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  if (characters < width) text.append(width - characters, ' ');
  return text;
}

std::string level_text(const std::optional<double>& rms_v)
{
  return rms_v ? number_text(*rms_v, 3) + " V eff." : "unbekannt";
}

void print_table(const lcr::tdriver_report& report, double temperature_c)
{
  std::cout << "Kleinsignalparameter (± mit k = 2)\n"
            << "Anpassung frei: " << fit_text(report.free_fit) << "\n";
  if (report.second_fit) std::cout << "Anpassung zweite Kurve: " << fit_text(*report.second_fit) << "\n";
  std::cout << "Pegel am Lautsprecher: frei " << level_text(report.free_drive.rms_v);
  if (report.second_drive) std::cout << ", zweite Kurve " << level_text(report.second_drive->rms_v);
  if (!report.free_drive.rms_v || (report.second_drive && !report.second_drive->rms_v)) {
    std::cout << " (in Volt aus impedance --input-vrms --json)";
  }
  std::cout << "\n";
  for (const std::string& warning : lcr::drive_warnings(report.free_drive, report.second_drive)) {
    std::cout << "Warnung: " << warning << "\n";
  }
  if (report.parameters.mechanical) {
    std::cout << "Luft bei " << number_text(temperature_c, 1)
              << " °C: ρ = " << number_text(report.air.density_kg_per_m3, 4)
              << " kg/m³, c = " << number_text(report.air.sound_speed_m_per_s, 1)
              << " m/s; SPL im Halbraum\n";
  }
  std::cout << "\n" << padded("Parameter", 14) << padded("Wert", 14) << padded("±", 12) << "Einheit\n";
  for (const lcr::tparameter_row& shown : lcr::parameter_rows(report.parameters)) {
    const double value = shown.measured.value * shown.factor;
    const double u = shown.measured.u * shown.factor;
    const int decimals = lcr::plus_minus_decimals(value, u);
    std::cout << padded(shown.name, 14) << padded(number_text(value, decimals), 14)
              << padded(number_text(u, decimals), 12) << shown.unit << "\n";
  }
  const lcr::tclassic_parameters& c = report.free_fit.classic;
  std::cout << "\nklassisch (−3-dB-Punkte bei √(Re·Zmax)): fs = " << number_text(c.fs_hz, 2)
            << " Hz, Zmax = " << number_text(c.z_max_ohm, 2) << " Ohm, f1 = " << number_text(c.f1_hz, 2)
            << " Hz, f2 = " << number_text(c.f2_hz, 2) << " Hz, Qms = " << number_text(c.qms, 3)
            << ", Qes = " << number_text(c.qes, 3) << ", Qts = " << number_text(c.qts, 3) << "\n";
}

}  // namespace

lcr::tentered entered_value(std::string_view option, std::string_view text, double unit_factor)
{
  std::size_t split = text.find("±");
  std::size_t skip = std::strlen("±");
  if (split == std::string_view::npos) {
    split = text.find("+-");
    skip = 2;
  }
  const std::string_view value_text = text.substr(0, split);
  const std::optional<double> value = parse_number(value_text);
  const std::optional<double> tolerance = split == std::string_view::npos
                                              ? std::optional(last_digit_half(value_text))
                                              : parse_number(text.substr(split + skip));
  if (!value || !tolerance || *tolerance < 0.0) {
    throw usage_error(std::string(option) + ": '" + std::string(text) +
                      "' is not a value such as 12.5, or 12.5±0.1 (12.5+-0.1) with its tolerance");
  }
  return {*value * unit_factor, *tolerance * unit_factor};
}

int run_loudspeaker(std::span<const char* const> arguments)
{
  const tcommand_line line = split_command_line(arguments);
  const argument_list list(line.options, {"--sd", "--diameter", "--re", "--temperature"},
                           {"--json", "--csv"});
  if (list.flag("--json") && list.flag("--csv")) throw usage_error("--csv: either --json or --csv");
  lcr::tdriver_entries entries;
  entries.sd_m2 = cone_area(list);
  if (const auto re = list.value("--re")) entries.re_ohm = entered_value("--re", *re, 1.0);
  entries.temperature_c = temperature_of(list);
  if (line.second && !entries.sd_m2)
    throw usage_error("--sd CM2 (or --diameter CM): a second curve needs the cone's area");
  lcr::set_decimal_separator(lcr::locale_decimal_separator());

  const lcr::tdriver_curve free_curve = read_curve(line.free_file);
  std::optional<lcr::tsecond_curve> second;
  if (line.second) second = second_curve(*line.second, read_curve(line.second->file));
  const lcr::tdriver_report report = lcr::measure_driver(free_curve, second, entries);
  if (!report.ok()) {
    std::cerr << "quarvel-cli: " << report.refusal << "\n";
    return 1;
  }
  if (list.flag("--json")) {
    std::cout << report_json(report, entries.temperature_c) << std::endl;
  } else if (list.flag("--csv")) {
    std::cout << report_csv(report);
    for (const std::string& warning : lcr::drive_warnings(report.free_drive, report.second_drive)) {
      std::cerr << "quarvel-cli: Warnung: " << warning << "\n";
    }
  } else {
    print_table(report, entries.temperature_c);
  }
  return 0;
}

}  // namespace quarvel_cli
