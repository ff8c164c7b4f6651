// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixture_circuit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace waveio {

namespace {

int clamped_reference(int reference_index)
{
  return std::clamp(reference_index, 0, reference_count - 1);
}

double angular(double frequency_hz)
{
  return 2.0 * std::numbers::pi * frequency_hz;
}

std::complex<double> measuring_adapter_ratio(const timpedance& reference, const timpedance& path)
{
  const std::complex<double> numerator = path.numerator * reference.denominator;
  const std::complex<double> denominator = reference.numerator * path.denominator + numerator;
  // Zero over zero: reference and path both shorted, or both open. The node
  // then carries no defined voltage, and a shorted node or an open reference
  // reads 0, so 0 it is.
  if (denominator == 0.0) return 0.0;
  return numerator / denominator;
}

}  // namespace

tfixture_circuit::tfixture_circuit(const tfixture_config& config)
    : config_(config), dut_(parse_dut_network(config.dut_network))
{
}

timpedance tfixture_circuit::reference_impedance(int reference_index, double angular_frequency_rad_s) const
{
  switch (config_.reference_state) {
    case treference_state::open:
      return timpedance::open();
    case treference_state::shorted:
      return timpedance::short_circuit();
    case treference_state::fitted:
      break;
  }
  const auto index = static_cast<std::size_t>(clamped_reference(reference_index));
  const double omega = angular_frequency_rad_s;
  const double resistance_ohm = reference_resistances_ohm[index] * (1.0 + config_.ref_tolerance[index]);
  const timpedance shunted =
      parallel(timpedance::of_ohm(resistance_ohm),
               timpedance::of_siemens({0.0, omega * config_.ref_parallel_capacitance_f[index]}));
  return series(shunted, timpedance::of_ohm({0.0, omega * config_.ref_series_inductance_h[index]}));
}

timpedance tfixture_circuit::device_impedance(double angular_frequency_rad_s) const
{
  switch (config_.device_state) {
    case tdevice_state::device_under_test:
      return dut_.impedance(angular_frequency_rad_s);
    case tdevice_state::open:
      return timpedance::open();
    case tdevice_state::shorted:
      return timpedance::short_circuit();
    case tdevice_state::known_resistor:
      break;
  }
  const timpedance resistor = std::isinf(config_.known_resistance_ohm)
                                  ? timpedance::open()
                                  : timpedance::of_ohm(config_.known_resistance_ohm);
  return parallel(resistor,
                  timpedance::of_siemens({0.0, angular_frequency_rad_s * config_.known_capacitance_f}));
}

timpedance tfixture_circuit::device_path_impedance(double angular_frequency_rad_s) const
{
  const double omega = angular_frequency_rad_s;
  const timpedance residual =
      timpedance::of_ohm({config_.residual_resistance_ohm, omega * config_.residual_inductance_h});
  const timpedance stray =
      timpedance::of_siemens({config_.stray_conductance_s, omega * config_.stray_capacitance_f});
  return parallel(stray, series(residual, device_impedance(omega)));
}

std::complex<double> tfixture_circuit::divider_ratio(int reference_index, double frequency_hz) const
{
  switch (config_.wiring) {
    case twiring::test_fixture_1:
      return 1.0;
    case twiring::test_fixture_2:
      return 0.5;
    case twiring::open_inputs:
      return 0.0;
    case twiring::measuring_adapter:
      break;
  }
  const double omega = angular(frequency_hz);
  return measuring_adapter_ratio(reference_impedance(reference_index, omega), device_path_impedance(omega));
}

tchannel_response tfixture_circuit::input_response(int reference_index, double frequency_hz) const
{
  return through_card(divider_ratio(reference_index, frequency_hz), frequency_hz);
}

std::array<tchannel_response, reference_count> tfixture_circuit::input_responses(double frequency_hz) const
{
  std::array<tchannel_response, reference_count> responses;
  if (config_.wiring != twiring::measuring_adapter) {
    responses.fill(through_card(divider_ratio(0, frequency_hz), frequency_hz));
    return responses;
  }
  const double omega = angular(frequency_hz);
  const timpedance path = device_path_impedance(omega);
  for (int r = 0; r < reference_count; ++r) {
    const std::complex<double> divider = measuring_adapter_ratio(reference_impedance(r, omega), path);
    responses[static_cast<std::size_t>(r)] = through_card(divider, frequency_hz);
  }
  return responses;
}

tchannel_response tfixture_circuit::through_card(std::complex<double> divider, double frequency_hz) const
{
  const double left = config_.wiring == twiring::open_inputs ? 0.0 : config_.left_gain;
  const std::complex<double> mismatch = std::polar(
      config_.right_relative_gain,
      -config_.right_phase_lag_deg * audio_band_weight(frequency_hz) * std::numbers::pi / 180.0);
  const std::complex<double> right = config_.right_gain * mismatch * divider + config_.crosstalk * left;
  return {left, right};
}

double smooth_step(double x)
{
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double rising = std::exp(-1.0 / x);
  const double falling = std::exp(-1.0 / (1.0 - x));
  return rising / (rising + falling);
}

double audio_band_weight(double frequency_hz)
{
  constexpr double band_low_hz = 100.0;
  constexpr double band_high_hz = 20000.0;
  constexpr double nyquist_hz = fixture_sample_rate_hz / 2.0;
  const double f = std::fabs(frequency_hz);
  if (f < band_low_hz) return smooth_step(f / band_low_hz);
  if (f <= band_high_hz) return 1.0;
  return 1.0 - smooth_step((f - band_high_hz) / (nyquist_hz - band_high_hz));
}

tchannel_response tfixture_circuit::recorded_response(int reference_index, double frequency_hz) const
{
  tchannel_response response = input_response(reference_index, frequency_hz);
  const std::complex<double> one_sample = std::polar(1.0, -angular(frequency_hz) / fixture_sample_rate_hz);
  if (config_.delayed_channel == tdelayed_channel::left) response.left *= one_sample;
  if (config_.delayed_channel == tdelayed_channel::right) response.right *= one_sample;
  if (config_.swap_channels) std::swap(response.left, response.right);
  return response;
}

}  // namespace waveio
