// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The small symmetric systems of the fits (a handful of parameters):
// solved and inverted by Cholesky's factorisation after every row and
// column is scaled to a unit diagonal, so that parameters of very
// different sizes (ohm beside henry) do not spoil it. A matrix that is not
// positive definite (a parameter the curve does not determine) has no
// solution.
//
// Pure functions; any thread.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace lcr {

class tsquare_matrix {
 public:
  explicit tsquare_matrix(std::size_t size = 0) : size_(size), values_(size * size, 0.0) {}

  std::size_t size() const { return size_; }
  double& at(std::size_t row, std::size_t column) { return values_[row * size_ + column]; }
  double at(std::size_t row, std::size_t column) const { return values_[row * size_ + column]; }

 private:
  std::size_t size_;
  std::vector<double> values_;
};

std::optional<std::vector<double>> solve_positive(const tsquare_matrix& a, std::span<const double> b);
std::optional<tsquare_matrix> inverse_positive(const tsquare_matrix& a);

// vᵀ·A·w
double quadratic_form(std::span<const double> v, const tsquare_matrix& a, std::span<const double> w);

}  // namespace lcr
