// SPDX-License-Identifier: GPL-3.0-or-later
#include "propagation.h"

#include <algorithm>
#include <cmath>

namespace lcr {

double standard_uncertainty(const tentered& entered)
{
  return std::fabs(entered.tolerance) / std::sqrt(3.0);
}

tuncertain_values::tuncertain_values(std::vector<double> values)
    : values_(std::move(values)), covariance_(values_.size())
{
}

void tuncertain_values::add_covariance(std::size_t i, std::size_t k, double c)
{
  covariance_.at(i, k) += c;
  if (i != k) covariance_.at(k, i) += c;
}

tmeasured tuncertain_values::derive(const tderivation& quantity) const
{
  const double value = quantity(values_);
  std::vector<double> gradient(values_.size(), 0.0);
  std::vector<double> shifted = values_;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    const double sigma = std::sqrt(std::max(covariance_.at(i, i), 0.0));
    if (!(sigma > 0.0)) continue;  // a value known exactly pulls nothing
    // Never below what the double's rounding leaves of a difference.
    const double step = std::max(0.01 * sigma, 1e-7 * std::fabs(values_[i]));
    shifted[i] = values_[i] + step;
    const double above = quantity(shifted);
    shifted[i] = values_[i] - step;
    const double below = quantity(shifted);
    shifted[i] = values_[i];
    gradient[i] = (above - below) / (2.0 * step);
  }
  const double variance = quadratic_form(gradient, covariance_, gradient);
  return {value, 2.0 * std::sqrt(std::max(variance, 0.0))};
}

}  // namespace lcr
