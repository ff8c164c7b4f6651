// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter_options.h"

#include "engine/core/settings.h"
#include "engine/quantities/auto_mode.h"
#include "engine/quantities/quantities.h"

#include <array>
#include <cmath>

namespace quarvel_cli {

namespace {

constexpr std::array<std::string_view, 6> ref_names{"10", "100", "1k", "10k", "100k", "1M"};
constexpr std::array<std::string_view, 8> freq_names{"100", "200", "500", "1k", "2k", "5k", "10k", "20k"};
constexpr std::array<std::string_view, 7> level_names{"0.01", "0.02", "0.05", "0.10", "0.20", "0.50", "1.00"};

template <std::size_t count>
std::string joined(const std::array<std::string_view, count>& names)
{
  std::string text;
  for (const std::string_view name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

template <std::size_t count>
int index_in(const std::array<std::string_view, count>& names, std::string_view text)
{
  for (std::size_t i = 0; i < count; ++i) {
    if (names[i] == text) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::vector<std::string_view> meter_value_options()
{
  return {"--in",      "--out", "--sim",     "--noise",     "--noise-seed", "--ref", "--freq", "--level", "--ft",
          "--avg",     "--mode", "--seconds", "--cal", "--nominal",    "--tolerance", "--csv"};
}

std::vector<std::string_view> meter_flags()
{
  return {"--realtime", "--watch", "--json", "--strict", "--realistic"};
}

int parse_ref_option(std::string_view text)
{
  const int index = index_in(ref_names, text);
  if (index < 0) throw usage_error("--ref: '" + std::string(text) + "' is not one of " + joined(ref_names));
  return index;
}

int parse_freq_option(std::string_view text)
{
  const int index = index_in(freq_names, text);
  if (index < 0) throw usage_error("--freq: '" + std::string(text) + "' is not one of " + joined(freq_names));
  return index;
}

double parse_level_option(std::string_view text)
{
  const auto number = parse_number(text);
  for (std::size_t i = 0; number && i < level_names.size(); ++i) {
    if (std::fabs(*number - *parse_number(level_names[i])) < 1e-9) return lcr::level_table[i];
  }
  throw usage_error("--level: '" + std::string(text) + "' is not one of " + joined(level_names));
}

int parse_factor_option(std::string_view option, std::string_view text)
{
  if (text == "1") return 1;
  if (text == "4") return 4;
  if (text == "16") return 16;
  throw usage_error(std::string(option) + ": '" + std::string(text) + "' is not one of 1, 4, 16");
}

int parse_mode_option(std::string_view text)
{
  const int mode = lcr::find_meas_mode(text);
  if (mode >= 0) return mode;
  std::string captions;
  for (const lcr::tmeas_mode& m : lcr::meas_modes) {
    if (!captions.empty()) captions += ", ";
    captions += m.caption;
  }
  throw usage_error("--mode: '" + std::string(text) + "' is not one of " + captions + ", auto");
}

std::string frequency_text(int freq_index)
{
  const int hz = lcr::test_frequencies[static_cast<std::size_t>(lcr::clamp_freq_index(freq_index))];
  return hz >= 1000 ? std::to_string(hz / 1000) + " kHz" : std::to_string(hz) + " Hz";
}

std::string reference_text(int ref_index)
{
  static constexpr std::array<std::string_view, 6> texts{"10 Ohm",  "100 Ohm",  "1 kOhm",
                                                         "10 kOhm", "100 kOhm", "1 MOhm"};
  return std::string(texts[static_cast<std::size_t>(lcr::clamp_ref_index(ref_index))]);
}

namespace {

// --nominal VALUE (with an SI prefix) and --tolerance PERCENT go together.
void parse_comparator_options(const argument_list& arguments, tmeter_options& options)
{
  const auto nominal = arguments.value("--nominal");
  const auto tolerance = arguments.value("--tolerance");
  options.strict = arguments.flag("--strict");
  if (!nominal && !tolerance) {
    if (options.strict) throw usage_error("--strict: needs --nominal and --tolerance");
    return;
  }
  if (!nominal || !tolerance) throw usage_error("--nominal and --tolerance go together (e.g. --nominal 4.7k --tolerance 1)");
  const auto value = parse_si_number(*nominal);
  if (!value || *value == 0.0) throw usage_error("--nominal: '" + *nominal + "' is not a nominal value other than 0");
  const auto percent = parse_number(*tolerance);
  if (!percent || *percent <= 0.0 || *percent >= 1000.0) {
    throw usage_error("--tolerance: '" + *tolerance + "' is not a tolerance in percent above 0");
  }
  options.nominal = *value;
  options.tolerance_percent = *percent;
}

}  // namespace

tmeter_options parse_meter_options(const argument_list& arguments, bool meas_mode_option)
{
  tmeter_options options;
  options.in_device = arguments.value("--in");
  options.out_device = arguments.value("--out");
  options.sim_dut = arguments.value("--sim");
  if (const auto text = arguments.value("--ref")) options.ref_index = parse_ref_option(*text);
  if (const auto text = arguments.value("--freq")) options.freq_index = parse_freq_option(*text);
  if (const auto text = arguments.value("--level")) options.tone_level = parse_level_option(*text);
  if (const auto text = arguments.value("--ft")) options.ft_factor = parse_factor_option("--ft", *text);
  if (const auto text = arguments.value("--avg")) options.avg_count = parse_factor_option("--avg", *text);
  if (meas_mode_option) {
    if (const auto text = arguments.value("--mode")) {
      options.auto_mode = *text == "auto";
      options.meas_mode = options.auto_mode ? lcr::meas_mode_of(lcr::tauto_pair::resistive) : parse_mode_option(*text);
    }
  }
  parse_comparator_options(arguments, options);
  options.csv_file = arguments.value("--csv");
  if (const auto text = arguments.value("--noise")) {
    const auto rms = parse_number(*text);
    if (!rms || *rms < 0.0 || *rms > 30000.0) {
      throw usage_error("--noise: '" + *text + "' is not an r.m.s. noise of 0 … 30000 sample units");
    }
    options.sim_noise_rms = *rms;
  }
  if (const auto text = arguments.value("--noise-seed")) {
    const auto seed = parse_number(*text);
    if (!seed || *seed < 0.0 || *seed > 9.0e15 || *seed != std::floor(*seed)) {
      throw usage_error("--noise-seed: '" + *text + "' is not a whole number of 0 or more");
    }
    options.sim_noise_seed = static_cast<std::uint64_t>(*seed);
  }
  options.sim_realistic = arguments.flag("--realistic");
  if (options.sim_realistic && !options.sim_dut) throw usage_error("--realistic: only with --sim");
  if (const auto text = arguments.value("--seconds")) {
    const auto seconds = parse_number(*text);
    if (!seconds || *seconds <= 0.0 || *seconds > 1e6) {
      throw usage_error("--seconds: '" + *text + "' is not a number of seconds above 0");
    }
    options.seconds = *seconds;
  }
  if (const auto text = arguments.value("--cal")) options.cal_file = *text;
  options.realtime = arguments.flag("--realtime");
  options.watch = arguments.flag("--watch");
  options.json = arguments.flag("--json");
  return options;
}

}  // namespace quarvel_cli
