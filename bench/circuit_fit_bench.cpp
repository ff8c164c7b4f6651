// SPDX-License-Identifier: GPL-3.0-or-later
// One equivalent-circuit fit of a sweep's eight points: every circuit
// fitted and the one whose elements stand out chosen.

#include "engine/sweeps/circuit_fit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void BM_best_circuit_fit(benchmark::State& state)
{
  std::vector<lcr::tfit_point> points;
  for (const double f : {100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
    const double omega = 2.0 * 3.14159265358979323846 * f;
    const lcr::tcomplex z{0.1, omega * 20e-9 - 1.0 / (omega * 100e-6)};
    points.push_back({f, z, 1e-4 * std::hypot(z.re, z.im), state.range(0) != 0});
  }
  for (auto _ : state) benchmark::DoNotOptimize(lcr::best_circuit_fit(points));
}
BENCHMARK(BM_best_circuit_fit)->Arg(0)->Arg(1)->ArgName("bounds")->Unit(benchmark::kMicrosecond);

}  // namespace
