// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One analysis period of both inputs, whole: the complete transform of each,
// then at every point of the grid the channel ratio, the left input's
// amplitude and the noise beside the point. The noise is taken from the
// nearest bins that hold no sine of the excitation (nor 0 Hz, nor a
// multiple of 50 or 60 Hz, where mains hum lies), by their median, as the
// single tone's noise is: whatever else lands there (noise, the card's
// distortion of the other sines) would land on the point's bin as well.
//
// Built for a grid on any thread (allocates); analyse() allocates nothing
// and belongs to one thread at a time.

#include "engine/signal/analyser_grid.h"

#include "engine/core/complex_math.h"
#include "engine/signal/fourier_transform.h"

#include <array>
#include <span>
#include <vector>

namespace lcr {

// Enough bins that one period's noise is known to about a fifth: the
// uncertainty of a single period rests on it alone.
inline constexpr int analyser_noise_bins = 32;

// One period's result at one point.
struct tpoint_window {
  tcomplex ratio;              // right over left at the point's bin
  double left_amplitude = 0.0; // |X1|, sample units (half the sine's amplitude)
  double ratio_variance = 0.0; // of the ratio, both parts together; NaN where not known
  double left_variance = 0.0;  // of one left input sample, sample units²
  double right_variance = 0.0;
};

class tperiod_analysis {
public:
  explicit tperiod_analysis(const tanalyser_grid& grid);

  const tanalyser_grid& grid() const { return grid_; }
  // The bins whose median gives a point's noise.
  const std::array<int, analyser_noise_bins>& noise_bins(std::size_t point) const { return noise_bins_[point]; }

  // `left` and `right` hold one period each; `points` one entry per grid point.
  void analyse(std::span<const double> left, std::span<const double> right, std::span<tpoint_window> points);

private:
  tanalyser_grid grid_;
  tfourier_transform transform_;
  std::vector<tcomplex> left_bins_;
  std::vector<tcomplex> right_bins_;
  std::vector<std::array<int, analyser_noise_bins>> noise_bins_;
};

}  // namespace lcr
