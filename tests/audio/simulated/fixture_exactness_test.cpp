// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated fixture's recorded channels against the circuit's analytical
// transfer function, written out here from the circuit itself.

#include "audio/simulated/fixture_circuit.h"
#include "audio/simulated/fixture_signal_path.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <complex>
#include <functional>
#include <iomanip>
#include <numbers>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace waveio;
using lcomplex = std::complex<long double>;

constexpr int rate_hz = 48000;
constexpr int window = 4800;  // whole periods of every multiple of 10 Hz
constexpr std::array<int, 8> test_frequencies_hz{100, 200, 500, 1000, 2000, 5000, 10000, 20000};
constexpr long double pi = std::numbers::pi_v<long double>;
constexpr lcomplex j{0.0L, 1.0L};

// e^{-j2πm/48000}: the single-bin transform's rotations, formed in long double.
const std::vector<lcomplex>& rotations()
{
  static const std::vector<lcomplex> table = [] {
    std::vector<lcomplex> t(rate_hz);
    for (int m = 0; m < rate_hz; ++m)
      t[static_cast<std::size_t>(m)] = std::polar(1.0L, -2.0L * pi * m / rate_hz);
    return t;
  }();
  return table;
}

struct tbins {
  lcomplex left;
  lcomplex right;
};

// Plays a steady tone of about full scale on the left output (and an
// unrelated one on the right output, which the fixture must ignore) and
// transforms `window_frames` recorded samples of each channel at the tone's
// frequency, from `settle_frames` after the tone began: by default once it
// fills the whole filter.
tbins tone_bins(tsignal_path& path, int reference_index, int frequency_hz, int window_frames = window,
                int settle_frames = fixture_filter_taps)
{
  std::array<std::int16_t, played_block_samples> played{};
  trecorded_block recorded;
  tbins bins;
  const int first_in_window = settle_frames;
  const int blocks = (settle_frames + window_frames + block_frames - 1) / block_frames;
  const lcomplex phase_offset = std::polar(1.0L, 0.3L);
  for (int block = 0; block < blocks; ++block) {
    const int start = block * block_frames;
    for (int i = 0; i < block_frames; ++i) {
      // The tone's phase from the rotation table: long double sines of large
      // angles would cost most of the test's time.
      const long long n = start + i;
      const lcomplex tone =
          std::conj(rotations()[static_cast<std::size_t>(frequency_hz * n % rate_hz)]) * phase_offset;
      const double unrelated =
          2.0 * std::numbers::pi * static_cast<double>(37 * frequency_hz * n % 480000) / 480000.0;
      played[static_cast<std::size_t>(2 * i)] =
          static_cast<std::int16_t>(std::lround(30000.0L * tone.real()));
      played[static_cast<std::size_t>(2 * i + 1)] =
          static_cast<std::int16_t>(std::lround(9000.0 * std::sin(unrelated)));
    }
    path.process(played, reference_index, recorded);
    for (int i = 0; i < block_frames; ++i) {
      const int n = start + i;
      if (n < first_in_window || n >= first_in_window + window_frames) continue;
      const lcomplex rotation =
          rotations()[static_cast<std::size_t>(static_cast<long long>(frequency_hz) * n % rate_hz)];
      bins.left += static_cast<long double>(recorded.left[static_cast<std::size_t>(i)]) * rotation;
      bins.right += static_cast<long double>(recorded.right[static_cast<std::size_t>(i)]) * rotation;
    }
  }
  return bins;
}

// The fixture as a circuit, and the card's imperfections.
struct tcircuit {
  std::function<lcomplex(long double omega)> z_dut;
  long double stray_capacitance_f = 0.0L;
  long double stray_conductance_s = 0.0L;
  long double residual_resistance_ohm = 0.0L;
  long double residual_inductance_h = 0.0L;
  long double ref_tolerance = 0.0L;  // for every reference
  long double ref_parallel_capacitance_f = 0.0L;
  long double ref_series_inductance_h = 0.0L;
  long double left_gain = 0.75L;
  long double right_gain = 0.75L;
  long double right_relative_gain = 1.0L;
  long double right_phase_lag_deg = 0.0L;
  long double crosstalk = 0.0L;

  // Right over left at the card's inputs.
  lcomplex ratio(int reference_index, long double frequency_hz) const
  {
    const long double omega = 2.0L * pi * frequency_hz;
    const lcomplex jw = j * omega;
    const long double r_ohm =
        static_cast<long double>(reference_resistances_ohm[static_cast<std::size_t>(reference_index)]) *
        (1.0L + ref_tolerance);
    const lcomplex z_ref =
        r_ohm / (1.0L + jw * r_ohm * ref_parallel_capacitance_f) + jw * ref_series_inductance_h;
    const lcomplex z_path =
        1.0L / (stray_conductance_s + jw * stray_capacitance_f +
                1.0L / (residual_resistance_ohm + jw * residual_inductance_h + z_dut(omega)));
    const lcomplex h = z_path / (z_ref + z_path);
    // The lag fades below 100 Hz and above 20 kHz (audio_band_weight).
    const long double lag_deg = right_phase_lag_deg * audio_band_weight(static_cast<double>(frequency_hz));
    const lcomplex mismatch = std::polar(right_relative_gain, -lag_deg * pi / 180.0L);
    return (right_gain * mismatch * h + crosstalk * left_gain) / left_gain;
  }

  void apply_to(tfixture_config& config) const
  {
    config.stray_capacitance_f = static_cast<double>(stray_capacitance_f);
    config.stray_conductance_s = static_cast<double>(stray_conductance_s);
    config.residual_resistance_ohm = static_cast<double>(residual_resistance_ohm);
    config.residual_inductance_h = static_cast<double>(residual_inductance_h);
    config.ref_tolerance.fill(static_cast<double>(ref_tolerance));
    config.ref_parallel_capacitance_f.fill(static_cast<double>(ref_parallel_capacitance_f));
    config.ref_series_inductance_h.fill(static_cast<double>(ref_series_inductance_h));
    config.left_gain = static_cast<double>(left_gain);
    config.right_gain = static_cast<double>(right_gain);
    config.right_relative_gain = static_cast<double>(right_relative_gain);
    config.right_phase_lag_deg = static_cast<double>(right_phase_lag_deg);
    config.crosstalk = static_cast<double>(crosstalk);
  }
};

struct tdevice_case {
  const char* network;
  std::function<lcomplex(long double omega)> z_dut;
};

void PrintTo(const tdevice_case& device, std::ostream* out)
{
  *out << device.network;
}

std::string scientific(double value)
{
  std::ostringstream text;
  text << std::scientific << std::setprecision(2) << value;
  return text.str();
}

lcomplex resistor(long double r_ohm, long double)
{
  return r_ohm;
}
lcomplex capacitor(long double c_f, long double omega)
{
  return 1.0L / (j * omega * c_f);
}
lcomplex inductor(long double l_h, long double omega)
{
  return j * omega * l_h;
}
lcomplex in_parallel(lcomplex a, lcomplex b)
{
  return a * b / (a + b);
}

// Devices whose impedance spans about 1 Ω … 10 MΩ over the test frequencies.
const tdevice_case device_cases[] = {
    {"R=1", [](long double w) { return resistor(1.0L, w); }},
    {"R=4.7k", [](long double w) { return resistor(4700.0L, w); }},
    {"R=10M", [](long double w) { return resistor(1e7L, w); }},
    {"C=100n", [](long double w) { return capacitor(100e-9L, w); }},
    {"C=1n", [](long double w) { return capacitor(1e-9L, w); }},
    {"L=10m", [](long double w) { return inductor(10e-3L, w); }},
    {"L=1", [](long double w) { return inductor(1.0L, w); }},
    {"R=1k|C=100n", [](long double w) { return in_parallel(resistor(1000.0L, w), capacitor(100e-9L, w)); }},
    {"R=10+L=1m", [](long double w) { return resistor(10.0L, w) + inductor(1e-3L, w); }},
    {"R=1M|C=100p", [](long double w) { return in_parallel(resistor(1e6L, w), capacitor(100e-12L, w)); }},
    {"(R=100+L=10m)|C=1u",
     [](long double w) {
       return in_parallel(resistor(100.0L, w) + inductor(10e-3L, w), capacitor(1e-6L, w));
     }},
    {"R=2.2|L=100u", [](long double w) { return in_parallel(resistor(2.2L, w), inductor(100e-6L, w)); }},
};

tcircuit imperfect_circuit()
{
  tcircuit circuit;
  circuit.stray_capacitance_f = 8e-12L;
  circuit.stray_conductance_s = 1e-9L;
  circuit.residual_resistance_ohm = 0.02L;
  circuit.residual_inductance_h = 15e-9L;
  circuit.ref_tolerance = 0.001L;
  circuit.ref_parallel_capacitance_f = 2e-12L;
  circuit.ref_series_inductance_h = 30e-9L;
  circuit.left_gain = 0.72L;
  circuit.right_gain = 0.78L;
  circuit.right_relative_gain = 1.02L;
  circuit.right_phase_lag_deg = 0.5L;
  circuit.crosstalk = 1e-5L;
  return circuit;
}

// Worst relative error of right/left over every reference and frequency.
double worst_ratio_error(const tcircuit& circuit, const tfixture_config& config,
                         const std::function<lcomplex(lcomplex left, lcomplex right)>& ratio_of = {},
                         const std::function<lcomplex(long double f_hz)>& extra = {},
                         std::span<const int> frequencies_hz = test_frequencies_hz,
                         int window_frames = window)
{
  // One path throughout: each tone runs long enough to flush the one before.
  tsignal_path path(config);
  double worst = 0.0;
  for (int r = 0; r < reference_count; ++r) {
    for (const int f_hz : frequencies_hz) {
      const tbins bins = tone_bins(path, r, f_hz, window_frames);
      const lcomplex measured = ratio_of ? ratio_of(bins.left, bins.right) : bins.right / bins.left;
      lcomplex expected = circuit.ratio(r, f_hz);
      if (extra) expected *= extra(f_hz);
      const double error = static_cast<double>(std::abs(measured - expected) / std::abs(expected));
      EXPECT_LT(error, 1e-9) << config.dut_network << ", reference " << r << ", " << f_hz << " Hz: measured "
                             << std::complex<double>(measured) << ", expected "
                             << std::complex<double>(expected);
      worst = std::max(worst, error);
    }
  }
  return worst;
}

class FixtureExactness : public ::testing::TestWithParam<tdevice_case> {};

TEST_P(FixtureExactness, IdealCircuit)
{
  tcircuit circuit;
  circuit.z_dut = GetParam().z_dut;
  tfixture_config config;
  config.dut_network = GetParam().network;
  RecordProperty("worst_relative_error", scientific(worst_ratio_error(circuit, config)));
}

TEST_P(FixtureExactness, WithParasiticsMismatchAndCrosstalk)
{
  tcircuit circuit = imperfect_circuit();
  circuit.z_dut = GetParam().z_dut;
  tfixture_config config;
  config.dut_network = GetParam().network;
  circuit.apply_to(config);
  RecordProperty("worst_relative_error", scientific(worst_ratio_error(circuit, config)));
}

INSTANTIATE_TEST_SUITE_P(Devices, FixtureExactness, ::testing::ValuesIn(device_cases),
                         [](const ::testing::TestParamInfo<tdevice_case>& info) {
                           std::string name = info.param.network;
                           for (char& c : name) {
                             if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
                           }
                           return name;
                         });

lcomplex one_sample_delay(long double f_hz)
{
  return std::polar(1.0L, -2.0L * pi * f_hz / rate_hz);
}

TEST(FixtureExactnessDelay, DelayedRightChannelLagsOneSample)
{
  tcircuit circuit = imperfect_circuit();
  circuit.z_dut = device_cases[7].z_dut;
  tfixture_config config;
  config.dut_network = device_cases[7].network;
  circuit.apply_to(config);
  config.delayed_channel = tdelayed_channel::right;
  worst_ratio_error(circuit, config, {}, one_sample_delay);
}

TEST(FixtureExactnessDelay, DelayedLeftChannelLeadsTheRatioOneSample)
{
  tcircuit circuit;
  circuit.z_dut = device_cases[9].z_dut;
  tfixture_config config;
  config.dut_network = device_cases[9].network;
  config.delayed_channel = tdelayed_channel::left;
  worst_ratio_error(circuit, config, {}, [](long double f_hz) { return 1.0L / one_sample_delay(f_hz); });
}

TEST(FixtureExactnessDelay, SwappedChannelsCarryTheRatioTheOtherWay)
{
  tcircuit circuit = imperfect_circuit();
  circuit.z_dut = device_cases[10].z_dut;
  tfixture_config config;
  config.dut_network = device_cases[10].network;
  circuit.apply_to(config);
  config.swap_channels = true;
  worst_ratio_error(circuit, config, [](lcomplex left, lcomplex right) { return left / right; });
}

// Between the test frequencies, on 1 Hz bins up to the analyser's highest
// (0.45 × 48 kHz), read over one second: a loudspeaker's resonance (43.8 Hz,
// a few Hz wide) and a lossy capacitor, on an ideal and an imperfect set-up.
TEST(FixtureExactnessFineGrid, EveryBinBetweenTheTestFrequencies)
{
  constexpr std::array<int, 5> frequencies_hz{13, 37, 44, 1001, 21599};
  const tdevice_case devices[] = {
      {"R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)",
       [](long double w) {
         return resistor(5.6L, w) + inductor(0.9e-3L, w) +
                in_parallel(in_parallel(resistor(40.0L, w), inductor(22e-3L, w)), capacitor(600e-6L, w));
       }},
      device_cases[7],  // R=1k|C=100n
  };
  for (const tdevice_case& device : devices) {
    for (tcircuit circuit : {tcircuit{}, imperfect_circuit()}) {
      circuit.z_dut = device.z_dut;
      tfixture_config config;
      config.dut_network = device.network;
      circuit.apply_to(config);
      worst_ratio_error(circuit, config, {}, {}, frequencies_hz, rate_hz);
    }
  }
}

// A change of tone has settled in the recording after the model's latency.
// A flat response forgets the drive at once; a reactive one needs drive from
// before its impulse, which the filter takes from its end: its latency grows,
// and a window at the least latency is still off.
TEST(FixtureLatency, AToneChangeHasSettledAfterTheModelsLatency)
{
  const auto error_after_change = [](const tcircuit& circuit, const tfixture_config& config, double seconds) {
    tsignal_path path(config);
    tone_bins(path, 2, 700);
    const tbins bins = tone_bins(path, 2, 1000, window, static_cast<int>(std::lround(seconds * rate_hz)));
    const lcomplex expected = circuit.ratio(2, 1000.0L);
    return static_cast<double>(std::abs(bins.right / bins.left - expected) / std::abs(expected));
  };
  tcircuit flat;
  flat.z_dut = [](long double w) { return resistor(1000.0L, w); };
  tfixture_config flat_config;  // R=1k
  EXPECT_EQ(fixture_latency_seconds(*make_fixture_model(flat_config)), fixture_least_latency_seconds);
  EXPECT_LT(error_after_change(flat, flat_config, fixture_least_latency_seconds), 1e-9);

  tcircuit tank;  // lossless: Q = 100 against the 1 kΩ reference
  tank.z_dut = [](long double w) { return in_parallel(inductor(10e-3L, w), capacitor(100e-6L, w)); };
  tfixture_config tank_config;
  tank_config.dut_network = "L=10m | C=100u";
  const double latency_s = fixture_latency_seconds(*make_fixture_model(tank_config));
  EXPECT_GT(latency_s, fixture_least_latency_seconds);
  EXPECT_LE(latency_s, fixture_filter_memory_seconds);
  EXPECT_LT(error_after_change(tank, tank_config, latency_s), 1e-9);
  EXPECT_GT(error_after_change(tank, tank_config, fixture_least_latency_seconds), 1e-6);

  // Nothing recorded, nothing remembered; a flat network on a card whose
  // right channel lags is not flat.
  tfixture_config silent;
  silent.wiring = twiring::open_inputs;
  EXPECT_EQ(fixture_latency_seconds(*make_fixture_model(silent)), fixture_least_latency_seconds);
  flat_config.right_phase_lag_deg = 0.5;
  EXPECT_GT(fixture_latency_seconds(*make_fixture_model(flat_config)), fixture_least_latency_seconds);
}

// After its latency for a reference, a model has forgotten the drive before a
// change to 1/30 of a quantisation step at full scale: a full-scale tone
// then silence leaves less than that on the right input. A resonance
// forgets as fast as it rings down, and no sooner: at half the latency a
// tone on it still rings ten times as loud. A lossless tank, damped by the
// reference alone, is remembered for seconds.
TEST(FixtureLatency, ADriveIsForgottenAsSoonAsTheCircuitHasRungDown)
{
  constexpr const char* woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)";
  const struct {
    const char* network;
    int reference_index;
    double least_s;
    double most_s;
    bool rings;  // at the 44 Hz tone
  } cases[] = {
      {woofer, 0, 0.15, 0.3, true},   // its resonance, damped by the 10 Ω reference
      {woofer, 2, 0.5, 0.75, true},   // barely damped by 1 kΩ
      {"C=1u + R=47", 1, fixture_least_latency_seconds, fixture_least_latency_seconds, false},
      {"R=100|C=1u", 0, fixture_least_latency_seconds, fixture_least_latency_seconds, false},
      {"R=1k", 2, fixture_least_latency_seconds, fixture_least_latency_seconds, false},
      {"L=10m | C=100u", 2, 2.5, 3.0, false},  // Q = 100 at 159 Hz: 0.2 s per factor e
  };
  constexpr int tone_blocks = 40;
  constexpr int change_frame = tone_blocks * block_frames;
  const int least_frames = static_cast<int>(std::lround(fixture_least_latency_seconds * rate_hz));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.network) + ", reference " + std::to_string(c.reference_index));
    tfixture_config config;
    config.dut_network = c.network;
    const tfixture_model_ptr model = make_fixture_model(config);
    const double latency_s = fixture_latency_seconds(*model, c.reference_index);
    EXPECT_GE(latency_s, c.least_s);
    EXPECT_LE(latency_s, c.most_s);
    const int latency_frames = static_cast<int>(std::lround(latency_s * rate_hz));
    if (latency_frames > least_frames && latency_frames < fixture_filter_taps) {
      EXPECT_EQ(latency_frames % block_frames, 0);
    }
    EXPECT_LE(latency_s, fixture_latency_seconds(*model));

    tsignal_path path(config);
    std::array<std::int16_t, played_block_samples> played{};
    trecorded_block recorded;
    double after_latency = 0.0;
    double after_half = 0.0;
    for (int block = 0; block * block_frames < change_frame + latency_frames + 8 * block_frames; ++block) {
      for (int i = 0; i < block_frames; ++i) {
        const long long n = static_cast<long long>(block) * block_frames + i;
        played[static_cast<std::size_t>(2 * i)] =
            n < change_frame
                ? static_cast<std::int16_t>(
                      std::lround(30000.0L * rotations()[static_cast<std::size_t>(44 * n % rate_hz)].real()))
                : std::int16_t{0};
      }
      path.process(played, c.reference_index, recorded);
      for (int i = 0; i < block_frames; ++i) {
        const int since_change = block * block_frames + i - change_frame;
        const double right = std::fabs(recorded.right[static_cast<std::size_t>(i)]);
        if (since_change >= latency_frames) after_latency = std::max(after_latency, right);
        if (since_change >= latency_frames / 2) after_half = std::max(after_half, right);
      }
    }
    EXPECT_LT(after_latency, 1.0 / 30.0);
    if (c.rings) {
      EXPECT_GT(after_half, 10.0 / 30.0);
    }
  }
}

}  // namespace
