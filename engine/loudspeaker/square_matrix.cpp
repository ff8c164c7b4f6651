// SPDX-License-Identifier: GPL-3.0-or-later
#include "square_matrix.h"

#include <cmath>

namespace lcr {

namespace {

// The lower triangle L of D⁻¹·A·D⁻¹ = L·Lᵀ, with D² the diagonal of A.
struct tcholesky {
  tsquare_matrix lower;
  std::vector<double> scale;  // D
};

std::optional<tcholesky> factorise(const tsquare_matrix& a)
{
  const std::size_t n = a.size();
  tcholesky result{tsquare_matrix(n), std::vector<double>(n)};
  for (std::size_t i = 0; i < n; ++i) {
    if (!(a.at(i, i) > 0.0) || !std::isfinite(a.at(i, i))) return std::nullopt;
    result.scale[i] = std::sqrt(a.at(i, i));
  }
  tsquare_matrix& l = result.lower;
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = j; i < n; ++i) {
      double sum = a.at(i, j) / (result.scale[i] * result.scale[j]);
      for (std::size_t k = 0; k < j; ++k) sum -= l.at(i, k) * l.at(j, k);
      if (i == j) {
        // A pivot lost to rounding: the columns are (nearly) dependent.
        if (!(sum > 1e-14)) return std::nullopt;
        l.at(j, j) = std::sqrt(sum);
      } else {
        l.at(i, j) = sum / l.at(j, j);
      }
    }
  }
  return result;
}

// x of L·Lᵀ·x = y.
std::vector<double> substitute(const tsquare_matrix& l, std::vector<double> y)
{
  const std::size_t n = l.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < i; ++k) y[i] -= l.at(i, k) * y[k];
    y[i] /= l.at(i, i);
  }
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t k = i + 1; k < n; ++k) y[i] -= l.at(k, i) * y[k];
    y[i] /= l.at(i, i);
  }
  return y;
}

}  // namespace

std::optional<std::vector<double>> solve_positive(const tsquare_matrix& a, std::span<const double> b)
{
  const std::optional<tcholesky> factors = factorise(a);
  if (!factors) return std::nullopt;
  std::vector<double> y(b.begin(), b.end());
  for (std::size_t i = 0; i < y.size(); ++i) y[i] /= factors->scale[i];
  std::vector<double> x = substitute(factors->lower, std::move(y));
  for (std::size_t i = 0; i < x.size(); ++i) x[i] /= factors->scale[i];
  return x;
}

std::optional<tsquare_matrix> inverse_positive(const tsquare_matrix& a)
{
  const std::optional<tcholesky> factors = factorise(a);
  if (!factors) return std::nullopt;
  const std::size_t n = a.size();
  tsquare_matrix inverse(n);
  for (std::size_t column = 0; column < n; ++column) {
    std::vector<double> unit(n, 0.0);
    unit[column] = 1.0;
    const std::vector<double> x = substitute(factors->lower, std::move(unit));
    for (std::size_t row = 0; row < n; ++row) {
      inverse.at(row, column) = x[row] / (factors->scale[row] * factors->scale[column]);
    }
  }
  return inverse;
}

double quadratic_form(std::span<const double> v, const tsquare_matrix& a, std::span<const double> w)
{
  double sum = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (std::size_t k = 0; k < a.size(); ++k) sum += v[i] * a.at(i, k) * w[k];
  }
  return sum;
}

}  // namespace lcr
