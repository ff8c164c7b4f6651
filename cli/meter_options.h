// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options every meter subcommand shares: devices, the simulated
// fixture, the option groups of the measurement page, the calibration file
// and the output form. Defaults are the window's design defaults.

#include "arguments.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel_cli {

struct tmeter_options {
  std::optional<std::string> in_device;   // index or name substring
  std::optional<std::string> out_device;
  std::optional<std::string> sim_dut;     // device network on the simulated fixture
  double sim_noise_rms = 0.0;             // the fixture's input noise, sample units
  std::uint64_t sim_noise_seed = 1;       // its generator's seed: repeated runs of other noise
  bool sim_realistic = false;             // the fixture with a real adapter's imperfections
  int ref_index = 0;                      // "R ref" 10 Ω
  int freq_index = 3;                     // "Frequenz" 1 kHz
  double tone_level = 1000.0;             // "Pegel" 0.10
  int ft_factor = 1;
  int avg_count = 1;
  int meas_mode = 0;                      // "Z/phi"
  bool auto_mode = false;                 // --mode auto: the pair that fits the device
  std::optional<double> nominal;          // comparator: the first quantity's nominal value
  double tolerance_percent = 0.0;
  bool strict = false;                    // a marginal reading fails too
  std::optional<std::string> csv_file;    // the reading log
  std::optional<double> seconds;
  std::string cal_file = "Quarvel.cal";
  bool realtime = false;
  bool watch = false;
  bool json = false;

  bool simulated() const { return sim_dut.has_value(); }
};

// The option names that take a value, and the flags.
std::vector<std::string_view> meter_value_options();
std::vector<std::string_view> meter_flags();

// `meas_mode_option`: whether --mode names a measurement mode (calibrate
// uses --mode for its calibration mode).
tmeter_options parse_meter_options(const argument_list& arguments, bool meas_mode_option = true);

// Option texts of the tables, as the command line accepts them.
int parse_ref_option(std::string_view text);        // "10" … "1M" → 0 … 5
int parse_freq_option(std::string_view text);       // "100" … "20k" → 0 … 7
double parse_level_option(std::string_view text);   // "0.01" … "1.00" → tone_level
int parse_factor_option(std::string_view option, std::string_view text);  // "1", "4", "16"
int parse_mode_option(std::string_view text);       // a mode button's caption

// Texts for the operator.
std::string frequency_text(int freq_index);
std::string reference_text(int ref_index);

}  // namespace quarvel_cli
