// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings of the simulated measuring fixture: how it is wired, the
// circuit on the measuring adapter, the sound card's imperfections and the
// clock it runs by.
//
// The left output drives the reference impedance in series with the device
// path to ground; the left input records the drive, the right input the node
// between reference and device path. The right output is not connected.

#include <array>
#include <cstdint>
#include <string>

namespace waveio {

inline constexpr int reference_count = 6;

// The simulated card's mixer volumes (0 … 65535) at which it records and
// plays at the gains of its configuration: the capture volume a quarter
// below full scale, so that turning it up records up to a third louder
// (as a card's input gain can), the playback volume at full scale.
inline constexpr std::uint32_t simulated_capture_unity = 49152;
inline constexpr std::uint32_t simulated_playback_unity = 65535;
inline constexpr std::array<double, reference_count> reference_resistances_ohm{10.0,    100.0,    1000.0,
                                                                               10000.0, 100000.0, 1000000.0};

enum class twiring {
  measuring_adapter,  // the divider of reference and device path
  test_fixture_1,     // both inputs straight from the left output
  test_fixture_2,     // left input straight, right input through an exact 2:1 divider
  open_inputs,        // nothing connected: both inputs record noise only
};

enum class treference_state { fitted, open, shorted };
enum class tdevice_state { device_under_test, open, shorted, known_resistor };

// The input channel that records one sample late.
enum class tdelayed_channel { none, left, right };

enum class tclock {
  real_time,     // a block every 1280 frames of wall-clock time, like a sound card
  virtual_time,  // as fast as the consumer takes the blocks, none lost
};

// Faults of a card that tests inject at a chosen block (see
// tsimulated_fixture::inject_fault).
enum class tfixture_fault {
  drop_input_block,   // the block is made but not recorded: its frames are lost
  skip_output_block,  // the queued output block is not played: silence instead
  stall_clock,        // for `length` blocks before it the card neither plays nor records
};

struct tfixture_config {
  twiring wiring = twiring::measuring_adapter;
  treference_state reference_state = treference_state::fitted;
  tdevice_state device_state = tdevice_state::device_under_test;
  std::string dut_network = "R=1k";      // see dut_network.h
  double known_resistance_ohm = 1000.0;  // Rp of the known resistor; may be +∞
  double known_capacitance_f = 0.0;      // Cp across Rp; 0: a pure resistor

  // Device path: the stray admittance across the device terminals, in
  // parallel with (series residual + device).
  double stray_capacitance_f = 0.0;
  double stray_conductance_s = 0.0;
  double residual_resistance_ohm = 0.0;
  double residual_inductance_h = 0.0;

  // Each reference resistor by index: R = R_nom × (1 + tolerance), the
  // parallel capacitance across R, and an inductance in series with both.
  std::array<double, reference_count> ref_tolerance{};
  std::array<double, reference_count> ref_parallel_capacitance_f{};
  std::array<double, reference_count> ref_series_inductance_h{};

  // Sound card. Each input records gain × its signal; the right channel is
  // further scaled and lags by a phase constant over frequency, and picks up
  // crosstalk × the left input's signal (1e-5: −100 dB).
  double left_gain = 0.75;
  double right_gain = 0.75;
  double right_relative_gain = 1.0;
  double right_phase_lag_deg = 0.0;
  double crosstalk = 0.0;
  tdelayed_channel delayed_channel = tdelayed_channel::none;
  bool swap_channels = false;
  double noise_rms = 0.0;  // white Gaussian noise, sample units, each channel
  std::uint64_t noise_seed = 1;

  tclock clock = tclock::real_time;

  friend bool operator==(const tfixture_config&, const tfixture_config&) = default;
};

}  // namespace waveio
