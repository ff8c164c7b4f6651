// SPDX-License-Identifier: GPL-3.0-or-later
#include "fourier_transform.h"

#include <array>
#include <cassert>

namespace lcr {

namespace {

// Radix 4 first, for fewer passes; then the remaining 2, 3 and 5.
std::vector<int> factors_of(int n)
{
  std::vector<int> factors;
  for (const int p : {4, 2, 3, 5}) {
    while (n > 1 && n % p == 0) {
      factors.push_back(p);
      n /= p;
    }
  }
  if (n != 1) factors.clear();
  return factors;
}

}  // namespace

bool tfourier_transform::supported_length(int n)
{
  return n == 1 || (n > 1 && !factors_of(n).empty());
}

tfourier_transform::tfourier_transform(int n)
{
  if (!supported_length(n)) return;
  n_ = n;
  factors_ = factors_of(n);
  const auto size = static_cast<std::size_t>(n);
  roots_.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    // Formed in extended precision: each root is then correct to the last
    // bit, and the transform's error does not grow with the index.
    const long double angle = -2.0L * pi_extended * static_cast<long double>(i) / static_cast<long double>(n);
    roots_[i] = {static_cast<double>(std::cos(angle)), static_cast<double>(std::sin(angle))};
  }
  work_.resize(size);
  pair_.resize(size);
}

// One Stockham pass (decimation in frequency, self-sorting): sub-transforms
// of length n at `stride`, each split by the factor p into p of length n/p.
void tfourier_transform::stage(int n, int stride, const tcomplex* from, tcomplex* to, std::size_t factor_index) const
{
  const int p = factors_[factor_index];
  const int m = n / p;
  const int root_step = n_ / n;       // e^(−j2π/n) = roots_[root_step]
  const int butterfly_step = n_ / p;  // e^(−j2π/p)
  std::array<tcomplex, 5> in{};
  for (int q = 0; q < m; ++q) {
    for (int s = 0; s < stride; ++s) {
      for (int t = 0; t < p; ++t) in[static_cast<std::size_t>(t)] = from[s + stride * (q + t * m)];
      for (int r = 0; r < p; ++r) {
        tcomplex sum = in[0];
        for (int t = 1; t < p; ++t) {
          const auto root = static_cast<std::size_t>((r * t % p) * butterfly_step);
          sum = c_add(sum, c_mul(in[static_cast<std::size_t>(t)], roots_[root]));
        }
        const auto twiddle = static_cast<std::size_t>(r * q * root_step);
        to[s + stride * (p * q + r)] = twiddle == 0 ? sum : c_mul(sum, roots_[twiddle]);
      }
    }
  }
}

void tfourier_transform::transform(std::span<tcomplex> data)
{
  assert(static_cast<int>(data.size()) == n_);
  if (n_ <= 1) return;
  tcomplex* from = data.data();
  tcomplex* to = work_.data();
  int n = n_;
  int stride = 1;
  for (std::size_t f = 0; f < factors_.size(); ++f) {
    stage(n, stride, from, to, f);
    n /= factors_[f];
    stride *= factors_[f];
    std::swap(from, to);
  }
  const double scale = 1.0 / n_;
  for (int i = 0; i < n_; ++i) {
    const tcomplex value = from[i];
    data[static_cast<std::size_t>(i)] = {value.re * scale, value.im * scale};
  }
}

void tfourier_transform::transform_real_pair(std::span<const double> left_in, std::span<const double> right_in,
                                             std::span<tcomplex> left, std::span<tcomplex> right)
{
  assert(static_cast<int>(left_in.size()) == n_ && static_cast<int>(right_in.size()) == n_);
  assert(left.size() >= static_cast<std::size_t>(n_ / 2 + 1) && right.size() >= left.size());
  for (std::size_t i = 0; i < pair_.size(); ++i) pair_[i] = {left_in[i], right_in[i]};
  transform(pair_);
  // z = x + j·y: X[k] = (Z[k] + Z*[n−k])/2, Y[k] = (Z[k] − Z*[n−k])/(2j).
  for (int k = 0; k <= n_ / 2; ++k) {
    const tcomplex a = pair_[static_cast<std::size_t>(k)];
    const tcomplex b = pair_[static_cast<std::size_t>((n_ - k) % n_)];
    left[static_cast<std::size_t>(k)] = {(a.re + b.re) / 2.0, (a.im - b.im) / 2.0};
    right[static_cast<std::size_t>(k)] = {(a.im + b.im) / 2.0, (b.re - a.re) / 2.0};
  }
}

}  // namespace lcr
