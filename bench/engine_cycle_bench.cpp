// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"

#include "audio/streaming.h"
#include "support/manual_stream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

// The engine's block loop on a recorded 1 kHz tone, without devices or
// threads: each iteration hands the engine one more recorded block.
void BM_engine_block_loop(benchmark::State& state)
{
  const int factor = static_cast<int>(state.range(0));
  const quarvel_test::manual_stream stream;
  for (int frame = 0; frame < waveio::stream.in_ring.frames; ++frame) {
    const double tone = std::sin(2.0 * M_PI * 1000.0 * frame / 48000.0);
    waveio::tsample* samples = waveio::stream.in_ring.frame(0, 0) + 2 * frame;
    samples[0].store(static_cast<std::int16_t>(std::lround(24000.0 * tone)));
    samples[1].store(static_cast<std::int16_t>(std::lround(12000.0 * tone)));
  }
  lcr::reset_settings();
  lcr::reset_engine_state();
  lcr::engine_init();
  lcr::set_meas_mode_quantities(6);
  lcr::engine.ref_quantity.quantity = std::string("R");
  lcr::settings.ft_factor = factor;
  lcr::settings.avg_count = 16;
  lcr::settings.request_transform_rebuild = true;
  lcr::settings.tone_level = 10000.0;

  int recorded = 0;
  for (auto _ : state) {
    recorded = (recorded + waveio::block_frames) % waveio::stream.in_ring.frames;
    waveio::stream.in_recorded = recorded;
    waveio::stream.in_available = waveio::block_frames;
    lcr::process_recorded_blocks();
  }
  const double audio_seconds = static_cast<double>(state.iterations()) * waveio::block_frames / 48000.0;
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_engine_block_loop)->Arg(1)->Arg(4)->Arg(16)->ArgName("ft_factor");

}  // namespace
