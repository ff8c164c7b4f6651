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

tmultisine make_multisine(const tanalyser_grid& grid, const tmultisine_shape& shape)
{
  tmultisine sine;
  if (grid.size() == 0 || grid.period <= 0) return sine;
  sine.amplitudes = relative_amplitudes(grid, shape);
  sine.phases = schroeder_phases(grid, sine.amplitudes);

  // s[i] = Σ a_k cos(2π b_k i/N + φ_k) = N·Re(F[i]) with F the forward
  // transform of the conjugate spectrum a_k·e^(−jφ_k) at b_k.
  tfourier_transform transform(grid.period);
  std::vector<tcomplex> spectrum(static_cast<std::size_t>(grid.period));
  for (std::size_t k = 0; k < grid.size(); ++k) {
    spectrum[static_cast<std::size_t>(grid.bins[k])] = {sine.amplitudes[k] * std::cos(sine.phases[k]),
                                                        -sine.amplitudes[k] * std::sin(sine.phases[k])};
  }
  transform.transform(spectrum);
  sine.samples.resize(spectrum.size());
  double peak = 0.0;
  double power = 0.0;
  for (std::size_t i = 0; i < spectrum.size(); ++i) {
    sine.samples[i] = spectrum[i].re * grid.period;
    peak = std::max(peak, std::fabs(sine.samples[i]));
    power += sine.samples[i] * sine.samples[i];
  }
  if (!(peak > 0.0)) return sine;
  for (double& sample : sine.samples) sample /= peak;
  for (double& amplitude : sine.amplitudes) amplitude /= peak;
  sine.crest_factor = peak / std::sqrt(power / static_cast<double>(spectrum.size()));
  return sine;
}

}  // namespace lcr
