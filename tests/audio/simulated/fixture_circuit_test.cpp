// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/simulated/fixture_circuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace {

using namespace waveio;
using lcomplex = std::complex<long double>;

constexpr long double pi = std::numbers::pi_v<long double>;
constexpr lcomplex j{0.0L, 1.0L};

double relative_error(std::complex<double> measured, lcomplex expected)
{
  const lcomplex difference = lcomplex(measured) - expected;
  return static_cast<double>(std::abs(difference) / std::abs(expected));
}

tfixture_config config_with(const char* network)
{
  tfixture_config config;
  config.dut_network = network;
  return config;
}

TEST(FixtureCircuit, EqualReferenceAndDeviceHalveTheDrive)
{
  const tfixture_circuit circuit(config_with("R=1k"));
  for (const double f_hz : {0.0, 100.0, 20000.0}) {
    EXPECT_EQ(circuit.divider_ratio(2, f_hz), std::complex<double>(0.5)) << f_hz;
  }
  EXPECT_EQ(circuit.divider_ratio(0, 1000.0), std::complex<double>(1000.0 / 1010.0));
  // Indices outside the table are clamped to it.
  EXPECT_EQ(circuit.divider_ratio(-3, 1000.0), circuit.divider_ratio(0, 1000.0));
  EXPECT_EQ(circuit.divider_ratio(9, 1000.0), circuit.divider_ratio(5, 1000.0));
}

// Zero over zero, defined as 0; and a capacitor is open at DC.
TEST(FixtureCircuit, UndefinedAndDcDividers)
{
  const struct {
    treference_state reference;
    tdevice_state device;
    double ratio;
  } cases[] = {
      {treference_state::open, tdevice_state::open, 0.0},
      {treference_state::shorted, tdevice_state::shorted, 0.0},
      {treference_state::shorted, tdevice_state::device_under_test, 1.0},
      {treference_state::fitted, tdevice_state::device_under_test, 1.0},
  };
  for (const auto& c : cases) {
    tfixture_config config = config_with("R=10+C=1u");
    config.reference_state = c.reference;
    config.device_state = c.device;
    EXPECT_EQ(tfixture_circuit(config).divider_ratio(3, 0.0), std::complex<double>(c.ratio))
        << static_cast<int>(c.reference) << " " << static_cast<int>(c.device);
  }
}

TEST(FixtureCircuit, KnownResistorWithParallelCapacitance)
{
  tfixture_config config;
  config.device_state = tdevice_state::known_resistor;
  config.known_resistance_ohm = 1000.0;
  EXPECT_EQ(tfixture_circuit(config).divider_ratio(2, 5000.0), std::complex<double>(0.5));

  config.known_capacitance_f = 1e-6 / (2.0 * std::numbers::pi);  // corner at 1 kHz
  const lcomplex zk = 1000.0L / (1.0L + j);
  EXPECT_LT(relative_error(tfixture_circuit(config).divider_ratio(2, 1000.0), zk / (1000.0L + zk)), 1e-14);

  config.known_resistance_ohm = std::numeric_limits<double>::infinity();  // a pure capacitor
  const lcomplex zc = 1.0L / (j * 2.0L * pi * 1000.0L * static_cast<long double>(config.known_capacitance_f));
  EXPECT_LT(relative_error(tfixture_circuit(config).divider_ratio(2, 1000.0), zc / (1000.0L + zc)), 1e-14);
  EXPECT_EQ(tfixture_circuit(config).divider_ratio(2, 0.0), std::complex<double>(1.0));
}

// Stray admittance, series residual and the reference parasitics, each
// reference with its own, against the circuit written out by hand.
TEST(FixtureCircuit, ParasiticsMatchTheCircuitFormula)
{
  tfixture_config config = config_with("R=220|C=47n");
  config.stray_capacitance_f = 12e-12;
  config.stray_conductance_s = 3e-9;
  config.residual_resistance_ohm = 0.04;
  config.residual_inductance_h = 25e-9;
  for (int r = 0; r < reference_count; ++r) {
    const auto i = static_cast<std::size_t>(r);
    config.ref_tolerance[i] = 0.002 * (r - 2);
    config.ref_parallel_capacitance_f[i] = (r + 1) * 1e-12;
    config.ref_series_inductance_h[i] = (6 - r) * 10e-9;
  }
  const tfixture_circuit circuit(config);
  for (int r = 0; r < reference_count; ++r) {
    const auto i = static_cast<std::size_t>(r);
    for (const long double f_hz : {100.0L, 1000.0L, 20000.0L}) {
      const lcomplex jw = j * 2.0L * pi * f_hz;
      const lcomplex z_dut = 1.0L / (1.0L / 220.0L + jw * 47e-9L);
      const lcomplex y_stray = 3e-9L + jw * 12e-12L;
      const lcomplex z_path = 1.0L / (y_stray + 1.0L / (0.04L + jw * 25e-9L + z_dut));
      const long double r_ohm = reference_resistances_ohm[i] * (1.0L + config.ref_tolerance[i]);
      const lcomplex z_ref =
          r_ohm / (1.0L + jw * r_ohm * static_cast<long double>(config.ref_parallel_capacitance_f[i])) +
          jw * static_cast<long double>(config.ref_series_inductance_h[i]);
      EXPECT_LT(
          relative_error(circuit.divider_ratio(r, static_cast<double>(f_hz)), z_path / (z_ref + z_path)),
          1e-13)
          << "reference " << r << " at " << static_cast<double>(f_hz) << " Hz";
    }
  }
}

TEST(FixtureCircuit, RecordedResponseDelaysAndSwaps)
{
  tfixture_config config = config_with("R=1k");
  const lcomplex one_sample = std::polar(1.0L, -2.0L * pi * 5000.0L / 48000.0L);
  config.delayed_channel = tdelayed_channel::left;
  tchannel_response response = tfixture_circuit(config).recorded_response(2, 5000.0);
  EXPECT_LT(relative_error(response.left, 0.75L * one_sample), 1e-15);
  EXPECT_EQ(response.right, 0.375);

  config.delayed_channel = tdelayed_channel::right;
  config.swap_channels = true;
  response = tfixture_circuit(config).recorded_response(2, 5000.0);
  EXPECT_EQ(response.right, 0.75);
  EXPECT_LT(relative_error(response.left, 0.375L * one_sample), 1e-15);
}

// All six references at once give what each alone gives, bit for bit: the
// fixture's filters are designed from the one, meters compare with the other.
TEST(FixtureCircuit, AllReferencesAtOnceMatchEachAlone)
{
  tfixture_config imperfect = config_with("(R=100+L=10m)|C=1u");
  imperfect.stray_capacitance_f = 8e-12;
  imperfect.ref_parallel_capacitance_f.fill(2e-12);
  imperfect.right_phase_lag_deg = 0.5;
  imperfect.crosstalk = 1e-5;
  tfixture_config two_to_one = imperfect;
  two_to_one.wiring = twiring::test_fixture_2;
  for (const tfixture_config& config : {imperfect, two_to_one}) {
    const tfixture_circuit circuit(config);
    for (const double f_hz : {0.0, 13.0, 1001.0, 24000.0}) {
      const auto responses = circuit.input_responses(f_hz);
      for (int r = 0; r < reference_count; ++r) {
        EXPECT_EQ(responses[static_cast<std::size_t>(r)].left, circuit.input_response(r, f_hz).left);
        EXPECT_EQ(responses[static_cast<std::size_t>(r)].right, circuit.input_response(r, f_hz).right)
            << static_cast<int>(config.wiring) << ", " << f_hz << " Hz, reference " << r;
      }
    }
  }
}

TEST(FixtureCircuit, MalformedNetworkIsRejected)
{
  EXPECT_THROW(tfixture_circuit(config_with("R=1k+")), dut_error);
}

}  // namespace

namespace {

// The phase lag holds at every test frequency and fades to nothing at DC and
// Nyquist, where a sampled channel's response is real.
TEST(FixtureCircuit, PhaseLagCoversTheAudioBandOnly)
{
  for (const double f : {100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
    EXPECT_EQ(waveio::audio_band_weight(f), 1.0) << f;
  }
  EXPECT_EQ(waveio::audio_band_weight(0.0), 0.0);
  EXPECT_NEAR(waveio::audio_band_weight(24000.0), 0.0, 1e-15);
  EXPECT_NEAR(waveio::audio_band_weight(50.0), 0.5, 1e-12);
  EXPECT_NEAR(waveio::audio_band_weight(22000.0), 0.5, 1e-12);
  waveio::tfixture_config config;
  config.right_phase_lag_deg = 0.5;
  const waveio::tfixture_circuit circuit(config);
  EXPECT_NEAR(std::arg(circuit.input_response(2, 1000.0).right) * 180.0 / std::numbers::pi,
              std::arg(circuit.divider_ratio(2, 1000.0)) * 180.0 / std::numbers::pi - 0.5, 1e-12);
  EXPECT_NEAR(std::arg(circuit.input_response(2, 0.0).right), 0.0, 1e-15);
}

}  // namespace
