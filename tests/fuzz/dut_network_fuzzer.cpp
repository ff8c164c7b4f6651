// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated set-up's device network on any text: a network it accepts
// has, at every test frequency, a finite impedance (or is exactly open) and
// gives the measuring adapter a finite divider ratio with every reference.

#include "audio/simulated/dut_network.h"
#include "audio/simulated/fixture_circuit.h"

#include <array>
#include <numbers>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::array<double, 8> test_frequencies_hz{100, 200, 500, 1000, 2000, 5000, 10000, 20000};

bool finite(std::complex<double> value)
{
  return std::isfinite(value.real()) && std::isfinite(value.imag());
}

[[noreturn]] void fail(const std::string& text, const char* what, double frequency_hz)
{
  std::fprintf(stderr, "device network fuzzer: '%s' at %g Hz: %s\n", text.c_str(), frequency_hz, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string text(reinterpret_cast<const char*>(data), size);
  waveio::tfixture_config config;
  config.dut_network = text;
  try {
    const waveio::tfixture_circuit circuit(config);
    const waveio::tdut_network network = waveio::parse_dut_network(text);
    for (const double frequency_hz : test_frequencies_hz) {
      const waveio::timpedance z = network.impedance(2.0 * std::numbers::pi * frequency_hz);
      if (!finite(z.numerator) || !finite(z.denominator)) fail(text, "a pair that is not finite", frequency_hz);
      if (!z.is_open() && !finite(z.value_ohm())) fail(text, "an impedance that is not finite", frequency_hz);
      for (int reference = 0; reference < waveio::reference_count; ++reference) {
        if (!finite(circuit.divider_ratio(reference, frequency_hz))) {
          fail(text, "a divider ratio that is not finite", frequency_hz);
        }
      }
    }
  } catch (const waveio::dut_error& error) {
    if (std::string(error.what()).rfind("position ", 0) != 0) fail(text, "an error without its position", 0.0);
  }
  return 0;
}
