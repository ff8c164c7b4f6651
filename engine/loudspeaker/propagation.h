// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Values with their covariance (fitted parameters, the operator's entries)
// and the quantities derived from them, each with its uncertainty by
// linearised propagation: u² = gᵀ·V·g, the gradient g by central
// differences a hundredth of each value's own standard uncertainty wide
// (so the linearisation holds over the span that matters).
//
// An entered value's tolerance is a bound its error lies within, any value
// inside equally likely: its standard uncertainty is tolerance/√3.
//
// Pure functions; any thread.

#include "square_matrix.h"

#include <functional>
#include <span>
#include <vector>

namespace lcr {

// A value and its uncertainty, expanded with k = 2.
struct tmeasured {
  double value = 0.0;
  double u = 0.0;
};

// A value the operator enters and the bound of its error (same unit).
struct tentered {
  double value = 0.0;
  double tolerance = 0.0;
};

double standard_uncertainty(const tentered& entered);

using tderivation = std::function<double(std::span<const double>)>;

class tuncertain_values {
 public:
  explicit tuncertain_values(std::vector<double> values);

  // Adds c to the covariance of values i and k (to both entries when i ≠ k).
  void add_covariance(std::size_t i, std::size_t k, double c);

  std::span<const double> values() const { return values_; }
  tmeasured derive(const tderivation& quantity) const;

 private:
  std::vector<double> values_;
  tsquare_matrix covariance_;
};

}  // namespace lcr
