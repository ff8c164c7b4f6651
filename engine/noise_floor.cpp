// SPDX-License-Identifier: GPL-3.0-or-later
#include "noise_floor.h"

namespace lcr {

namespace {

// Bins per `spacing_hz`, or 0 where the window does not resolve it.
int bins_per(int spacing_hz, int n, int rate)
{
  if (rate <= 0 || n <= 0) return 0;
  const long long product = static_cast<long long>(spacing_hz) * n;
  return product % rate == 0 ? static_cast<int>(product / rate) : 0;
}

double power(tcomplex x)
{
  return x.re * x.re + x.im * x.im;
}

}  // namespace

tnoise_bins noise_bins_near(int frequency_hz, int n, int rate)
{
  tnoise_bins bins;
  int step = bins_per(25, n, rate);
  if (step == 0) step = bins_per(50, n, rate);
  if (step == 0) return bins;
  const int k = bin_of_frequency(frequency_hz, n, rate);
  // Odd multiples of the step on both sides, nearest first, inside (0, n/2).
  for (int odd = 1; bins.count < noise_bins_per_tone && (k - odd * step > 0 || k + odd * step < n / 2); odd += 2) {
    for (const int candidate : {k - odd * step, k + odd * step}) {
      if (candidate > 0 && candidate < n / 2 && bins.count < noise_bins_per_tone) {
        bins.k[static_cast<std::size_t>(bins.count++)] = candidate;
      }
    }
  }
  return bins;
}

twindow_noise window_noise(tdft& left, tdft& right, const tnoise_bins& bins, tcomplex h, double g)
{
  twindow_noise noise;
  if (bins.count == 0) return noise;
  double residual_sum = 0.0;
  double left_sum = 0.0;
  double right_sum = 0.0;
  for (int i = 0; i < bins.count; ++i) {
    const int k = bins.k[static_cast<std::size_t>(i)];
    dft_bin(left, k);
    dft_bin(right, k);
    const tcomplex x1{left.re, left.im};
    const tcomplex x2{right.re, right.im};
    residual_sum += power(c_sub(x2, c_mul(h, x1)));
    left_sum += power(x1);
    right_sum += power(x2);
  }
  // A bin of white noise of variance s² per sample holds s²/n.
  const double per_bin = 1.0 / bins.count;
  noise.left_variance = left_sum * per_bin * left.n;
  noise.right_variance = right_sum * per_bin * right.n;
  noise.ratio_variance = g > 1e-10 ? residual_sum * per_bin / g : 0.0;
  return noise;
}

void noise_average_setup(tnoise_average& average, int length)
{
  avg_setup(average.ratio, length);
  avg_setup(average.left, length);
  avg_setup(average.right, length);
}

twindow_noise noise_average_push(tnoise_average& average, const twindow_noise& window)
{
  return {avg_push(average.ratio, window.ratio_variance), avg_push(average.left, window.left_variance),
          avg_push(average.right, window.right_variance)};
}

}  // namespace lcr
