// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading_spread.h"

#include "engine/core/settings.h"
#include "engine/measurement/multitone.h"

#include "audio/streaming.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lcr {

namespace {

// Every test frequency is a multiple of this: the multitone repeats with it.
constexpr int multitone_fundamental_hz = 100;

}  // namespace

int input_repeat_length(int frequency_hz, bool multitone, int n, int rate)
{
  const int hz = multitone ? multitone_fundamental_hz : frequency_hz;
  if (hz <= 0 || rate <= 0) return std::max(n, 1);
  const int period = rate / std::gcd(rate, hz);
  return std::clamp(period, 1, std::max(n, 1));
}

double deterministic_rounding_variance(double sample_variance)
{
  // round(v) − v = Σ (−1)^k sin(2πkv) / (πk); noise damps the k-th term by
  // exp(−2π²k²s²), and over uniformly spread v each term holds half its
  // amplitude squared. Without noise the sum is 1/12.
  const double s2 = std::max(sample_variance, 0.0);
  if (s2 == 0.0) return 1.0 / 12.0;
  double sum = 0.0;
  for (int k = 1; k <= 400; ++k) {
    const double kk = static_cast<double>(k) * k;
    const double damping = std::exp(-4.0 * pi * pi * kk * s2);
    if (damping < 1e-12) break;
    sum += damping / (2.0 * pi * pi * kk);
  }
  return std::min(sum, 1.0 / 12.0);
}

double noise_before_rounding(double measured_sample_variance)
{
  // x + 1/12 − D(x) rises from 0 at x = 0: bisect for the measured value.
  const double measured = std::max(measured_sample_variance, 0.0);
  const auto shown = [](double x) { return x + 1.0 / 12.0 - deterministic_rounding_variance(x); };
  double low = 0.0;
  double high = measured;
  for (int step = 0; step < 60 && high - low > 1e-12 * (1.0 + high); ++step) {
    const double middle = 0.5 * (low + high);
    (shown(middle) < measured ? low : high) = middle;
  }
  return low;
}

double rounding_bin_variance(int repeat_length, double sample_variance, double stepped_variance)
{
  // L distinct roundings give a bin 1/L of one's variance, twice that for
  // a sine's coherent halves, and these may lie wholly in one part (the
  // magnitude, for a resistor): each part is given the whole.
  const double dithering = std::max(noise_before_rounding(sample_variance) - stepped_variance, 0.0);
  const double deterministic = deterministic_rounding_variance(dithering);
  return 4.0 * deterministic / std::max(repeat_length, 1);
}

tratio_spread random_spread(const tmeasurement_snapshot& snapshot)
{
  return larger_spread(snapshot.ratio_spread, snapshot.noise_spread);
}

tratio_spread quantisation_spread(const tmeasurement_snapshot& snapshot)
{
  const double a1 = snapshot.channel1_amplitude;
  if (!(a1 > 0.0)) return {};
  const int frequency_hz = test_frequencies[static_cast<std::size_t>(clamp_freq_index(snapshot.tag.freq_index))];
  const int repeat = input_repeat_length(frequency_hz, snapshot.tag.multitone, snapshot.transform_length, waveio::in_rate);
  const double h2 = snapshot.avg_ratio.re * snapshot.avg_ratio.re + snapshot.avg_ratio.im * snapshot.avg_ratio.im;
  // Each input rounds on its own, dithered by its own noise but for the
  // tone's dither: that reaches the inputs in whole steps of the output
  // (1/6 of a step squared with its rounding) and dithers nothing, as a
  // card's analogue noise would. δh = (δ2 − h·δ1)/a1.
  const double tone = snapshot.tag.multitone ? multitone_tone_amplitude(snapshot.tag.tone_level)
                                             : tone_amplitude(snapshot.tag.tone_level);
  const double gain = tone > 0.0 ? a1 / (tone / 2.0) : 0.0;
  const double tone_dither = gain * gain / 6.0;
  const double right = rounding_bin_variance(repeat, snapshot.noise.right_variance, h2 * tone_dither);
  const double left = rounding_bin_variance(repeat, snapshot.noise.left_variance, tone_dither);
  return circular_spread((right + h2 * left) / (a1 * a1));
}

tratio_spread reading_spread(const tmeasurement_snapshot& snapshot)
{
  const tratio_spread random = random_spread(snapshot);
  if (!random.valid) return {};
  return sum_spreads(random, quantisation_spread(snapshot));
}

double equivalent_channel_sigma(const tratio_spread& spread, tcomplex h, double a1)
{
  if (!spread.valid) return 0.0;
  const double total = std::max(spread.var_re + spread.var_im, 0.0);
  return a1 * std::sqrt(total / (1.0 + h.re * h.re + h.im * h.im));
}

}  // namespace lcr
