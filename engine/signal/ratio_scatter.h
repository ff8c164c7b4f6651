// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The scatter of the single evaluations' channel ratios behind a reading,
// and from it the standard uncertainty of their running mean: what two
// meters measuring the same part would disagree by, as opposed to the
// worst case of the deviation estimate.
//
// Consecutive evaluations analyse windows n samples long every `stride`
// samples; with "FT Faktor" 4 and 16 the windows overlap and their noise is
// correlated. For white noise at a bin that completes whole periods in the
// stride (every test frequency does: f / 20 periods in 2400 samples) two
// windows d evaluations apart share a fraction ρ(d) = 1 − d·stride/n of
// their noise. The sample covariance of correlated values comes out low by
// a known factor, and the mean of L of them varies by more than 1/L: both
// are accounted for.
//
// The streaming worker's; no allocation.

#include "engine/core/complex_math.h"

#include <array>
#include <cmath>

namespace lcr {

// Covariance of a complex value's parts, in the ratio's units squared.
struct tratio_spread {
  bool valid = false;  // enough values to tell
  double var_re = 0.0;
  double var_im = 0.0;
  double cov = 0.0;
  bool operator==(const tratio_spread&) const = default;
};

// Correlation of the noise of two windows of length n that start
// `separation` samples apart.
double window_overlap(int separation, int n);

// The variance of the mean of `averaged` values, each from a window of n
// samples, `stride` samples apart, relative to the variance of one.
double mean_variance_factor(int averaged, int n, int stride);

// A circular spread: a complex value whose parts vary alike and
// independently, of total variance `total` (the sum of both parts').
tratio_spread circular_spread(double total);

// The spread of the larger total variance; an unknown one loses.
tratio_spread larger_spread(const tratio_spread& a, const tratio_spread& b);

// The spread of two independent contributions together; an unknown one
// adds nothing.
tratio_spread sum_spreads(const tratio_spread& a, const tratio_spread& b);

// The spread of f(x) for x of the given spread, f taking and giving a
// complex value, linearised by secants over one standard uncertainty of
// each part of x.
template <typename F>
tratio_spread propagate_spread(const F& f, tcomplex x, const tratio_spread& spread)
{
  if (!spread.valid) return {};
  const auto column = [&](tcomplex direction, double step) -> tcomplex {
    if (!(step > 0.0)) return {};
    const tcomplex delta{direction.re * step, direction.im * step};
    const tcomplex rise = c_sub(f(c_add(x, delta)), f(c_sub(x, delta)));
    return {rise.re / (2.0 * step), rise.im / (2.0 * step)};
  };
  const tcomplex d_re = column({1.0, 0.0}, std::sqrt(spread.var_re));  // ∂f/∂x.re
  const tcomplex d_im = column({0.0, 1.0}, std::sqrt(spread.var_im));  // ∂f/∂x.im
  tratio_spread out;
  out.valid = true;
  out.var_re = d_re.re * d_re.re * spread.var_re + 2.0 * d_re.re * d_im.re * spread.cov + d_im.re * d_im.re * spread.var_im;
  out.var_im = d_re.im * d_re.im * spread.var_re + 2.0 * d_re.im * d_im.im * spread.cov + d_im.im * d_im.im * spread.var_im;
  out.cov = d_re.re * d_re.im * spread.var_re + (d_re.re * d_im.im + d_im.re * d_re.im) * spread.cov +
            d_im.re * d_im.im * spread.var_im;
  return out;
}

// The variance of a real g(x) for x of the given spread; 0 for an unknown
// spread. For a g that is periodic (`period` > 0: a two-quadrant phase),
// each secant's rise is taken modulo the period, so that a step across the
// jump does not count as a change of a whole period.
template <typename G>
double propagate_variance(const G& g, tcomplex x, const tratio_spread& spread, double period = 0.0)
{
  if (!spread.valid) return 0.0;
  const auto slope = [&](tcomplex direction, double step) {
    if (!(step > 0.0)) return 0.0;
    const tcomplex delta{direction.re * step, direction.im * step};
    double rise = g(c_add(x, delta)) - g(c_sub(x, delta));
    if (period > 0.0 && std::isfinite(rise)) rise = std::remainder(rise, period);
    return rise / (2.0 * step);
  };
  const double d_re = slope({1.0, 0.0}, std::sqrt(spread.var_re));
  const double d_im = slope({0.0, 1.0}, std::sqrt(spread.var_im));
  return d_re * d_re * spread.var_re + 2.0 * d_re * d_im * spread.cov + d_im * d_im * spread.var_im;
}

class tratio_scatter {
public:
  static constexpr int capacity = 64;
  // Fewer values leave the scatter too uncertain to report.
  static constexpr int least_values = 10;

  void clear() { count_ = 0; }
  void push(tcomplex ratio);
  int count() const { return count_; }

  // The covariance of the mean of the newest `averaged` values, each from a
  // window of n samples, `stride` samples apart.
  tratio_spread spread_of_mean(int averaged, int n, int stride) const;

private:
  std::array<tcomplex, capacity> values_{};
  int next_ = 0;
  int count_ = 0;
};

}  // namespace lcr
