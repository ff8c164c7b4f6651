// SPDX-License-Identifier: GPL-3.0-or-later
#include "multisine.h"

#include "engine/core/complex_math.h"
#include "engine/signal/fourier_transform.h"

#include <algorithm>
#include <cmath>

namespace lcr {

namespace {

std::vector<double> relative_amplitudes(const tanalyser_grid& grid, const tmultisine_shape& shape)
{
  std::vector<double> amplitudes(grid.size(), 1.0);
  for (std::size_t i = 0; i < grid.size(); ++i) {
    const double hz = grid.frequency_hz(i);
    if (hz < shape.boost_below_hz) {
      amplitudes[i] = std::min(shape.low_boost, std::sqrt(shape.boost_below_hz / hz));
    }
  }
  return amplitudes;
}

// φ_k = −2π Σ_{l<k} (b_k − b_l)·p_l for bins b and relative powers p: the
// group delay at bin b_k is the share of the power below it, times the
// period.
std::vector<double> schroeder_phases(const tanalyser_grid& grid, const std::vector<double>& amplitudes)
{
  double total = 0.0;
  for (const double a : amplitudes) total += a * a;
  std::vector<double> phases(grid.size(), 0.0);
  double power_below = 0.0;      // Σ p_l
  double weighted_below = 0.0;   // Σ p_l·b_l
  for (std::size_t k = 0; k < grid.size(); ++k) {
    const double bin = grid.bins[k];
    const double phase = -2.0 * pi * (bin * power_below - weighted_below);
    phases[k] = std::remainder(phase, 2.0 * pi);
    const double p = amplitudes[k] * amplitudes[k] / total;
    power_below += p;
    weighted_below += p * bin;
  }
  return phases;
}

}  // namespace

namespace {

// One period of Σ a_k cos(2π b_k i/N + φ_k): N·Re of the forward
// transform of the conjugate spectrum a_k·e^(−jφ_k) at b_k.
void synthesise(const tanalyser_grid& grid, const tmultisine& sine, tfourier_transform& transform,
                std::vector<tcomplex>& spectrum, std::vector<double>& samples)
{
  std::fill(spectrum.begin(), spectrum.end(), tcomplex{});
  for (std::size_t k = 0; k < grid.size(); ++k) {
    spectrum[static_cast<std::size_t>(grid.bins[k])] = {sine.amplitudes[k] * std::cos(sine.phases[k]),
                                                        -sine.amplitudes[k] * std::sin(sine.phases[k])};
  }
  transform.transform(spectrum);
  for (std::size_t i = 0; i < spectrum.size(); ++i) samples[i] = spectrum[i].re * grid.period;
}

double peak_of(const std::vector<double>& samples)
{
  double peak = 0.0;
  for (const double sample : samples) peak = std::max(peak, std::fabs(sample));
  return peak;
}

// Clips the period's peaks and takes the phases the clipped signal has at
// the grid's bins, keeping the amplitudes: each round moves energy out of
// the peaks while every sine stays on its own bin. The lowest peak found
// is kept.
void lower_the_peak(const tanalyser_grid& grid, tmultisine& sine, int rounds)
{
  tfourier_transform transform(grid.period);
  std::vector<tcomplex> spectrum(static_cast<std::size_t>(grid.period));
  std::vector<double> samples(spectrum.size());
  std::vector<tcomplex> bins(spectrum.size() / 2 + 1);
  std::vector<tcomplex> unused(bins.size());
  synthesise(grid, sine, transform, spectrum, samples);
  double best_peak = peak_of(samples);
  std::vector<double> best_phases = sine.phases;
  for (int round = 0; round < rounds; ++round) {
    const double limit = 0.5 * peak_of(samples);
    for (double& sample : samples) sample = std::clamp(sample, -limit, limit);
    transform.transform_real_pair(samples, samples, bins, unused);
    for (std::size_t k = 0; k < grid.size(); ++k) {
      const tcomplex x = bins[static_cast<std::size_t>(grid.bins[k])];
      if (x.re != 0.0 || x.im != 0.0) sine.phases[k] = std::atan2(x.im, x.re);
    }
    synthesise(grid, sine, transform, spectrum, samples);
    if (const double peak = peak_of(samples); peak < best_peak) {
      best_peak = peak;
      best_phases = sine.phases;
    }
  }
  sine.phases = std::move(best_phases);
}

}  // namespace

tmultisine make_multisine(const tanalyser_grid& grid, const tmultisine_shape& shape)
{
  tmultisine sine;
  if (grid.size() == 0 || grid.period <= 0) return sine;
  sine.amplitudes = relative_amplitudes(grid, shape);
  sine.phases = schroeder_phases(grid, sine.amplitudes);
  const auto rounds = static_cast<int>(static_cast<long long>(shape.clipping_rounds) * analyser_period_samples /
                                       std::max(grid.period, analyser_period_samples));
  lower_the_peak(grid, sine, rounds);

  tfourier_transform transform(grid.period);
  std::vector<tcomplex> spectrum(static_cast<std::size_t>(grid.period));
  sine.samples.resize(spectrum.size());
  synthesise(grid, sine, transform, spectrum, sine.samples);
  const double peak = peak_of(sine.samples);
  if (!(peak > 0.0)) return sine;
  double power = 0.0;
  for (const double sample : sine.samples) power += sample * sample;
  for (double& sample : sine.samples) sample /= peak;
  for (double& amplitude : sine.amplitudes) amplitude /= peak;
  sine.crest_factor = peak / std::sqrt(power / static_cast<double>(sine.samples.size()));
  return sine;
}

}  // namespace lcr
