// SPDX-License-Identifier: GPL-3.0-or-later
#include "ratio_scatter.h"

#include <algorithm>

namespace lcr {

double window_overlap(int separation, int n)
{
  if (n <= 0) return 0.0;
  return std::max(0.0, 1.0 - static_cast<double>(separation) / n);
}

double mean_variance_factor(int averaged, int n, int stride)
{
  if (averaged < 1) return 1.0;
  // The mean of L correlated values varies by σ²·g / L.
  double g = 1.0;
  for (int d = 1; d < averaged; ++d) g += 2.0 * (1.0 - static_cast<double>(d) / averaged) * window_overlap(d * stride, n);
  return g / averaged;
}

tratio_spread circular_spread(double total)
{
  if (!(total >= 0.0)) return {};
  return {true, total / 2.0, total / 2.0, 0.0};
}

tratio_spread larger_spread(const tratio_spread& a, const tratio_spread& b)
{
  if (!a.valid) return b;
  if (!b.valid) return a;
  return b.var_re + b.var_im > a.var_re + a.var_im ? b : a;
}

tratio_spread sum_spreads(const tratio_spread& a, const tratio_spread& b)
{
  if (!a.valid) return b;
  if (!b.valid) return a;
  return {true, a.var_re + b.var_re, a.var_im + b.var_im, a.cov + b.cov};
}

void tratio_scatter::push(tcomplex ratio)
{
  values_[static_cast<std::size_t>(next_)] = ratio;
  next_ = (next_ + 1) % capacity;
  count_ = std::min(count_ + 1, capacity);
}

tratio_spread tratio_scatter::spread_of_mean(int averaged, int n, int stride) const
{
  const int m = count_;
  if (m < least_values || averaged < 1) return {};
  const auto value = [this](int age) {
    return values_[static_cast<std::size_t>((next_ - 1 - age + capacity) % capacity)];
  };
  tcomplex mean;
  for (int age = 0; age < m; ++age) mean = c_add(mean, value(age));
  mean = {mean.re / m, mean.im / m};
  tratio_spread spread;
  for (int age = 0; age < m; ++age) {
    const tcomplex d = c_sub(value(age), mean);
    spread.var_re += d.re * d.re;
    spread.var_im += d.im * d.im;
    spread.cov += d.re * d.im;
  }
  // Correlated values scatter less about their own mean than they vary.
  double shared = 0.0;
  for (int d = 1; d < m; ++d) shared += static_cast<double>(m - d) * window_overlap(d * stride, n);
  const double bias = 1.0 - 2.0 * shared / (static_cast<double>(m) * (m - 1));
  if (!(bias > 0.05)) return {};
  const double scale = mean_variance_factor(averaged, n, stride) / (bias * (m - 1));
  spread.var_re *= scale;
  spread.var_im *= scale;
  spread.cov *= scale;
  spread.valid = true;
  return spread;
}

}  // namespace lcr
