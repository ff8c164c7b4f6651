// SPDX-License-Identifier: GPL-3.0-or-later
// The time of a whole frequency sweep on the simulated set-up at the
// window's defaults ("FT Faktor" 1, "Mittelwert" 1, "Pegel" 0.10, 1 kΩ),
// on the virtual clock (as fast as the computer goes) and in real time (as
// a sound card streams), with and without "Auto R ref".

#include "cli/sweep_command.h"

#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"

#include "audio/streaming.h"

#include <benchmark/benchmark.h>

namespace {

void BM_frequency_sweep(benchmark::State& state)
{
  const bool real_time = state.range(0) != 0;
  const bool auto_ref = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    lcr::reset_settings();
    lcr::reset_engine_state();
    lcr::reset_calibration_tables();
    waveio::reset_stream_state();
    quarvel_cli::tmeter_options options;
    options.sim_dut = "C=1u + R=2";
    options.ref_index = 2;
    options.cal_file = "/nonexistent/Quarvel.cal";
    options.realtime = real_time;
    quarvel_cli::tmeter_session session(options);
    state.ResumeTiming();
    benchmark::DoNotOptimize(quarvel_cli::run_frequency_sweep(session, auto_ref));
  }
}
BENCHMARK(BM_frequency_sweep)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"real_time", "auto_ref"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
