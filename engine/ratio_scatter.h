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

#include "complex_math.h"

#include <array>

namespace lcr {

// Covariance of a complex value's parts, in the ratio's units squared.
struct tratio_spread {
  bool valid = false;  // enough values to tell
  double var_re = 0.0;
  double var_im = 0.0;
  double cov = 0.0;
};

// Correlation of the noise of two windows of length n that start
// `separation` samples apart.
double window_overlap(int separation, int n);

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
