// SPDX-License-Identifier: GPL-3.0-or-later
// The impedance analyser's hot paths: the complete transform of a
// period, one period's analysis at every point, and the figures (worst
// case and uncertainty of |Z| and phase) of every point of a curve.
#include "engine/analyser/analyser_point.h"
#include "engine/signal/multisine.h"
#include "engine/signal/period_analysis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <random>

namespace {

// The curve's grid at `density` points per octave; 0: the closer look at a
// 22 Hz resonance, 10 … 36 Hz on the four-second period's bins.
lcr::tanalyser_grid grid_of(int density)
{
  if (density == 0) return *lcr::dense_analyser_grid(10.0, 36.0, 96).grid;
  return *lcr::analyser_grid({10.0, 20000.0, density}).grid;
}

void BM_transform_two_inputs_of_a_second(benchmark::State& state)
{
  lcr::tfourier_transform transform(48000);
  std::vector<double> left(48000);
  std::vector<double> right(48000);
  std::mt19937 random(1);
  std::normal_distribution<double> noise;
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = noise(random);
    right[i] = noise(random);
  }
  std::vector<lcr::tcomplex> left_bins(24001);
  std::vector<lcr::tcomplex> right_bins(24001);
  for (auto _ : state) {
    transform.transform_real_pair(left, right, left_bins, right_bins);
    benchmark::DoNotOptimize(left_bins.data());
  }
}
BENCHMARK(BM_transform_two_inputs_of_a_second)->Unit(benchmark::kMillisecond);

void BM_period_analysis(benchmark::State& state)
{
  const lcr::tanalyser_grid grid = grid_of(static_cast<int>(state.range(0)));
  const lcr::tmultisine sine = lcr::make_multisine(grid);
  std::vector<double> left(sine.samples);
  std::vector<double> right(sine.samples);
  for (double& sample : right) sample *= 0.4;
  lcr::tperiod_analysis analysis(grid);
  std::vector<lcr::tpoint_window> points(grid.size());
  for (auto _ : state) {
    analysis.analyse(left, right, points);
    benchmark::DoNotOptimize(points.data());
  }
  state.counters["points"] = static_cast<double>(grid.size());
  state.counters["crest_factor"] = sine.crest_factor;
}
BENCHMARK(BM_period_analysis)->Arg(24)->Arg(48)->Arg(0)->Unit(benchmark::kMillisecond);

// The excitation of a grid, made when the analyser starts.
void BM_make_multisine(benchmark::State& state)
{
  const lcr::tanalyser_grid grid = grid_of(static_cast<int>(state.range(0)));
  double crest_factor = 0.0;
  for (auto _ : state) crest_factor = lcr::make_multisine(grid).crest_factor;
  state.counters["crest_factor"] = crest_factor;
  lcr::tmultisine_shape schroeder;
  schroeder.clipping_rounds = 0;
  state.counters["schroeder_crest_factor"] = lcr::make_multisine(grid, schroeder).crest_factor;
}
BENCHMARK(BM_make_multisine)->Arg(24)->Arg(48)->Arg(0)->Unit(benchmark::kMillisecond);

// |Z| and phase with both figures at every point of a woofer's curve.
void BM_curve_figures(benchmark::State& state)
{
  const lcr::tanalyser_grid grid = grid_of(static_cast<int>(state.range(0)));
  std::vector<lcr::treading_basis> bases;
  for (std::size_t k = 0; k < grid.size(); ++k) {
    const double w = 2.0 * lcr::pi * grid.frequency_hz(k);
    const std::complex<double> jw(0.0, w);
    const std::complex<double> z = 5.6 + jw * 0.9e-3 + 1.0 / (1.0 / 40.0 + 1.0 / (jw * 22e-3) + jw * 600e-6);
    const std::complex<double> h = z / (z + 10.0);
    lcr::tanalyser_point_data point;
    point.frequency_hz = grid.frequency_hz(k);
    point.ratio = {h.real(), h.imag()};
    point.left_amplitude = 400.0;
    point.noise_ratio_variance = 1e-9;
    point.left_variance = point.right_variance = 1.0;
    point.periods = 1;
    point.period_samples = grid.period;
    bases.push_back(lcr::analyser_reading_basis(point, lcr::analyser_entries({}, 0, point.frequency_hz)));
  }
  for (auto _ : state) {
    for (const lcr::treading_basis& basis : bases) {
      benchmark::DoNotOptimize(lcr::quantity_reading(basis, lcr::quantity_key::Z, false).deviation);
      benchmark::DoNotOptimize(lcr::quantity_reading(basis, lcr::quantity_key::phi_Z, false).deviation);
    }
  }
  state.counters["points"] = static_cast<double>(grid.size());
}
BENCHMARK(BM_curve_figures)->Arg(24)->Arg(48)->Unit(benchmark::kMillisecond);

}  // namespace
