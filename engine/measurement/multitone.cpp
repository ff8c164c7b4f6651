// SPDX-License-Identifier: GPL-3.0-or-later
#include "multitone.h"

#include "engine/core/settings.h"

#include "audio/streaming.h"

#include <cmath>

namespace lcr {

double multitone_tone_amplitude(double level)
{
  return tone_amplitude(level) / multitone_unit_peak;
}

void make_multitone(double level)
{
  const double amplitude = multitone_tone_amplitude(level);
  for (double& sample : engine.tone_buffer) {
    double sum = 0.0;
    for (std::size_t f = 0; f < multitone_phases.size(); ++f) {
      double& phase = engine.multitone_phase[f];
      phase += test_frequencies[f] / static_cast<double>(waveio::out_rate);
      phase -= std::trunc(phase);
      sum += std::sin(2.0 * pi * phase + multitone_phases[f]);
    }
    // As the single tone: a dither of at most half a sample unit.
    sample = sum * amplitude + (engine.dither_source.next() - 0.5);
  }
}

void analyse_multitone(bool window_settled)
{
  const int n = engine.dft_ch1.n;
  for (std::size_t f = 0; f < test_frequencies.size(); ++f) {
    const int k = bin_of_frequency(test_frequencies[f], n, waveio::in_rate);
    dft_bin(engine.dft_ch1, k);
    dft_bin(engine.dft_ch2, k);
    const tcomplex a{engine.dft_ch1.re, engine.dft_ch1.im};
    const tcomplex b{engine.dft_ch2.re, engine.dft_ch2.im};
    const double g = a.re * a.re + a.im * a.im;
    // A silent left input would divide by almost nothing: count it as H = 1,
    // as the single tone does.
    tcomplex h{1.0, 1.0};
    if (g > 1e-10) h = {(a.re * b.re + a.im * b.im) / g, (a.re * b.im - a.im * b.re) / g};
    tmultitone_bin& bin = engine.multitone[f];
    bin.averaged = {avg_push(bin.avg_re, h.re), avg_push(bin.avg_im, h.im)};
    bin.noise_mean =
        noise_average_push(bin.noise, window_noise(engine.dft_ch1, engine.dft_ch2, engine.noise_bins[f], h, g));
    bin.amplitude = std::sqrt(g);
    bin.single = h;
    if (window_settled) {
      bin.scatter.push(h);
    } else {
      bin.scatter.clear();
    }
  }
}

void clear_multitone_scatter()
{
  for (tmultitone_bin& bin : engine.multitone) bin.scatter.clear();
}

void take_multitone_spreads()
{
  for (tmultitone_bin& bin : engine.multitone) {
    bin.spread = bin.scatter.spread_of_mean(bin.avg_re.length, engine.dft_ch1.n, eval_stride);
    bin.noise_spread =
        circular_spread(bin.noise_mean.ratio_variance * mean_variance_factor(bin.avg_re.length, engine.dft_ch1.n, eval_stride));
  }
}

}  // namespace lcr
