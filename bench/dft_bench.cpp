// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/signal/tone_analysis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

// One transform at the bin of 1 kHz, window filled with a noisy tone.
void BM_dft_bin(benchmark::State& state)
{
  const int factor = static_cast<int>(state.range(0));
  lcr::tdft dft;
  lcr::dft_setup(dft, 100, factor, 48000);
  std::mt19937 generator(1);
  std::normal_distribution<double> noise(0.0, 3.0);
  const int k = lcr::bin_of_frequency(1000, dft.n, 48000);
  for (int i = 0; i < dft.n; ++i) {
    dft.data[static_cast<std::size_t>(i)] = std::round(20000.0 * std::cos(2.0 * M_PI * k * i / dft.n) + noise(generator));
  }
  for (auto _ : state) {
    lcr::dft_bin(dft, k);
    benchmark::DoNotOptimize(dft.re);
    benchmark::DoNotOptimize(dft.im);
  }
  state.SetLabel("n = " + std::to_string(dft.n));
  state.SetItemsProcessed(state.iterations() * dft.n);
}
BENCHMARK(BM_dft_bin)->Arg(1)->Arg(4)->Arg(16);

// Both transforms of one evaluation at the longest window, highest bin.
void BM_evaluation_transforms_n15360(benchmark::State& state)
{
  lcr::tdft left;
  lcr::tdft right;
  lcr::dft_setup(left, 100, 16, 48000);
  lcr::dft_setup(right, 100, 16, 48000);
  for (int i = 0; i < left.n; ++i) {
    left.data[static_cast<std::size_t>(i)] = (i * 7919) % 65536 - 32768;
    right.data[static_cast<std::size_t>(i)] = (i * 104729) % 65536 - 32768;
  }
  const int k = lcr::bin_of_frequency(20000, left.n, 48000);
  for (auto _ : state) {
    lcr::dft_bin(left, k);
    lcr::dft_bin(right, k);
    benchmark::DoNotOptimize(left.re);
    benchmark::DoNotOptimize(right.re);
  }
}
BENCHMARK(BM_evaluation_transforms_n15360)->Unit(benchmark::kMicrosecond);

}  // namespace
