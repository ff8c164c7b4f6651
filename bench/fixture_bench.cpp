// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/simulated/fixture_signal_path.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

using namespace waveio;

tfixture_config lossy_device()
{
  tfixture_config config;
  config.dut_network = "(R=100+L=10m)|C=1u";
  config.stray_capacitance_f = 8e-12;
  config.residual_resistance_ohm = 0.02;
  config.right_phase_lag_deg = 0.5;
  config.crosstalk = 1e-5;
  return config;
}

// One block of the signal path and the quantiser, a 1 kHz tone played.
// realtime_factor: seconds of audio per CPU second.
void run_signal_path(benchmark::State& state, const tfixture_config& config)
{
  tsignal_path path(config);
  std::array<std::int16_t, played_block_samples> played{};
  for (int i = 0; i < block_frames; ++i) {
    played[static_cast<std::size_t>(2 * i)] = static_cast<std::int16_t>(
        std::lround(20000.0 * std::cos(2.0 * std::numbers::pi * 1000.0 * i / 48000.0)));
  }
  trecorded_block recorded;
  std::array<std::int16_t, played_block_samples> codes{};
  for (auto _ : state) {
    path.process(played, 3, recorded);
    quantise_block(recorded, codes);
    benchmark::DoNotOptimize(codes.data());
    benchmark::ClobberMemory();
  }
  const double audio_s = static_cast<double>(state.iterations()) * block_frames / 48000.0;
  state.counters["realtime_factor"] = benchmark::Counter(audio_s, benchmark::Counter::kIsRate);
}

void BM_fixture_signal_path(benchmark::State& state)
{
  run_signal_path(state, lossy_device());
}
BENCHMARK(BM_fixture_signal_path);

void BM_fixture_signal_path_with_noise(benchmark::State& state)
{
  tfixture_config config = lossy_device();
  config.noise_rms = 3.0;
  run_signal_path(state, config);
}
BENCHMARK(BM_fixture_signal_path_with_noise);

// What a configuration change costs the configuring thread: six filters.
void BM_fixture_model_build(benchmark::State& state)
{
  const tfixture_config config = lossy_device();
  for (auto _ : state) benchmark::DoNotOptimize(make_fixture_model(config));
}
BENCHMARK(BM_fixture_model_build)->Unit(benchmark::kMillisecond);

}  // namespace
