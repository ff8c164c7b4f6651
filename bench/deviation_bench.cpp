// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/readings/deviation_estimate.h"

#include <benchmark/benchmark.h>

namespace {

lcr::tdeviation_inputs measurement(lcr::tcomplex h, double a1)
{
  lcr::tdeviation_inputs in;
  in.h = h;
  in.a1 = a1;
  in.n = 15360;
  in.avg_count = 16;
  in.z_ref = {1000.0, 0.0};
  in.y_open = {1e-9, 1e-7};
  in.frequency_hz = 1000.0;
  return in;
}

void run_search(benchmark::State& state, const lcr::tdeviation_inputs& in, lcr::quantity_key key, bool parallel)
{
  int passes = 0;
  for (auto _ : state) {
    const lcr::tdeviation_search search = lcr::deviation_search(in, key, parallel);
    benchmark::DoNotOptimize(search.deviation);
    passes = search.passes;
  }
  state.counters["passes"] = passes;
}

// A resistor of about the reference's value: found in the first pass.
void BM_noise_deviation_typical(benchmark::State& state)
{
  run_search(state, measurement({0.5, 0.0}, 12000.0), lcr::quantity_key::Z, false);
}
BENCHMARK(BM_noise_deviation_typical)->Unit(benchmark::kMicrosecond);

// A lossy capacitor's parallel capacitance: the search keeps finding new
// maxima and runs all 11 passes.
void BM_noise_deviation_worst(benchmark::State& state)
{
  run_search(state, measurement({0.3, -0.4}, 300.0), lcr::quantity_key::C, true);
}
BENCHMARK(BM_noise_deviation_worst)->Unit(benchmark::kMicrosecond);

// The lossy capacitor's |Z| and phase as a reading takes them: each in
// closed form.
void BM_worst_case_deviation_of_z_and_phase(benchmark::State& state)
{
  const lcr::tdeviation_inputs in = measurement({0.3, -0.4}, 300.0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(lcr::worst_case_deviation(in, lcr::quantity_key::Z, false));
    benchmark::DoNotOptimize(lcr::worst_case_deviation(in, lcr::quantity_key::phi_Z, false));
  }
}
BENCHMARK(BM_worst_case_deviation_of_z_and_phase)->Unit(benchmark::kMicrosecond);

}  // namespace
