// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A complete discrete Fourier transform of a length whose prime factors are
// 2, 3 and 5 (48000 samples, one second at the input rate, is 2⁷·3·5³): the
// impedance analyser needs every bin of a long period at once, which the
// single-bin transform would take hundreds of passes for.
//
// X[k] = (1/n)·Σ x[i]·e^(−j2πki/n), normalised as dft_bin is, so that a
// cosine of amplitude a on bin k gives |X[k]| = a/2.
//
// Set up once (tables and work space are allocated there); transforming
// allocates nothing. One owner at a time; not shared between threads.

#include "engine/core/complex_math.h"

#include <span>
#include <vector>

namespace lcr {

class tfourier_transform {
public:
  // An empty transform for a length with another prime factor (or < 1).
  explicit tfourier_transform(int n = 0);

  int length() const { return n_; }
  bool valid() const { return n_ > 0; }

  // The transform of `data` (length() values) in place.
  void transform(std::span<tcomplex> data);

  // The transforms of two real signals at once (the two inputs), into
  // `left` and `right` for bins 0 … n/2. Each output holds n/2 + 1 values.
  void transform_real_pair(std::span<const double> left_in, std::span<const double> right_in,
                           std::span<tcomplex> left, std::span<tcomplex> right);

  // Whether a length can be transformed.
  static bool supported_length(int n);

private:
  void stage(int n, int stride, const tcomplex* from, tcomplex* to, std::size_t factor_index) const;

  int n_ = 0;
  std::vector<int> factors_;
  std::vector<tcomplex> roots_;  // e^(−j2πi/n) for i = 0 … n − 1
  std::vector<tcomplex> work_;
  std::vector<tcomplex> pair_;
};

}  // namespace lcr
