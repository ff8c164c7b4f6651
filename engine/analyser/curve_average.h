// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The mean of the latest periods at every point of a curve: the ratio, the
// left amplitude and the noise beside the point over the newest
// `averaged_periods`, and the scatter of the periods' ratios (known once
// ten have gathered), so that a live curve refreshes with every period.
//
// Built on any thread (allocates); push() and point() allocate nothing and
// belong to one thread at a time.

#include "engine/analyser/analyser_point.h"
#include "engine/signal/period_analysis.h"

#include "engine/signal/ratio_scatter.h"
#include "engine/signal/tone_analysis.h"

#include <span>
#include <vector>

namespace lcr {

class tcurve_average {
public:
  tcurve_average(const tanalyser_grid& grid, int averaged_periods);

  // Forgets every period (a new setting, a dropout, a transient).
  void clear();
  // One period's points, in grid order.
  void push(std::span<const tpoint_window> windows);
  // Periods in the present means (at most averaged_periods).
  int periods() const;
  // The point's data, with `stepped_variance` for the excitation's dither
  // that reaches the left input in whole steps.
  tanalyser_point_data point(std::size_t k, double stepped_variance = 0.0) const;

private:
  struct tpoint_average {
    tavg re;
    tavg im;
    tavg amplitude;
    tavg ratio_noise;
    tavg left_noise;
    tavg right_noise;
    tratio_scatter scatter;
    tanalyser_point_data mean;
  };
  tanalyser_grid grid_;
  int averaged_periods_ = 1;
  std::vector<tpoint_average> points_;
};

}  // namespace lcr
