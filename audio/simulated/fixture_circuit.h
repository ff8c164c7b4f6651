// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The circuit model of the simulated fixture: for a configuration, the
// analytical transfer from the drive to each recorded channel.
//
// Built on the configuring thread (parsing the device network); afterwards
// immutable, so any thread may evaluate it.

#include "dut_network.h"
#include "fixture_config.h"

#include <array>
#include <complex>

namespace waveio {

inline constexpr double fixture_sample_rate_hz = 48000.0;

// Phasors of the two input channels per unit drive phasor.
struct tchannel_response {
  std::complex<double> left;
  std::complex<double> right;
};

// 0 up to x = 0, 1 from x = 1, and between a step smooth to all orders
// (built of exp(−1/x)): a response faded by it rings for far shorter than
// one faded by a raised cosine, whose ringing falls only as t⁻³.
double smooth_step(double x);

// How much of the right channel's phase lag applies at a frequency: all of it
// across the audio band (100 Hz … 20 kHz, every test frequency), fading to
// none at DC and at the Nyquist frequency (smooth_step), where a sampled
// channel is real. A lag constant up to those edges would make the channel
// ring for the whole filter length after every change of tone, which no
// real card does.
double audio_band_weight(double frequency_hz);

class tfixture_circuit {
 public:
  // Throws dut_error if the device network text is malformed.
  explicit tfixture_circuit(const tfixture_config& config);

  // Reference indices are clamped to 0 … reference_count − 1.
  timpedance reference_impedance(int reference_index, double angular_frequency_rad_s) const;
  timpedance device_path_impedance(double angular_frequency_rad_s) const;

  // Voltage at the right input's terminal over the drive, as wired: for the
  // measuring adapter Zpath / (Zref + Zpath).
  std::complex<double> divider_ratio(int reference_index, double frequency_hz) const;

  // At the card's two inputs, gains, mismatch and crosstalk included, before
  // the one-sample delay and the channel swap.
  tchannel_response input_response(int reference_index, double frequency_hz) const;
  // The same for every reference at once, the device path evaluated once:
  // element r equals input_response(r, frequency_hz) bit for bit.
  std::array<tchannel_response, reference_count> input_responses(double frequency_hz) const;

  // As recorded: with the delay and the swap, what a meter sees (but for the
  // converters' delay of the signal path, the same on both channels).
  tchannel_response recorded_response(int reference_index, double frequency_hz) const;

 private:
  timpedance device_impedance(double angular_frequency_rad_s) const;
  tchannel_response through_card(std::complex<double> divider, double frequency_hz) const;

  tfixture_config config_;
  tdut_network dut_;
};

}  // namespace waveio
