// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One point of an analyser curve as the averaging of its periods leaves it,
// and what a reading of it is made from: the same correction chain, worst
// case and statistical uncertainty as a reading of the meter, with the
// analyser's own calibration entries at the point's frequency.
//
// Pure functions; any thread.

#include "engine/analyser/analyser_calibration.h"

#include "engine/readings/settled_reading.h"

#include <limits>

namespace lcr {

struct tanalyser_point_data {
  double frequency_hz = 0.0;
  tcomplex ratio;                   // mean of the periods' raw channel ratios
  double left_amplitude = 0.0;      // |X1| of the left input at the point, sample units
  tratio_spread scatter;            // of the mean, from the periods' scatter; invalid with too few periods
  // Of one period's ratio, from the noise beside the point, mean over the
  // periods; NaN where not known.
  double noise_ratio_variance = std::numeric_limits<double>::quiet_NaN();
  double left_variance = 0.0;       // noise of one input sample, sample units²
  double right_variance = 0.0;
  double stepped_variance = 0.0;    // of the left input's noise, what comes in whole steps (the excitation's dither)
  int periods = 0;                  // averaged
  int period_samples = 0;           // the analysis period; the excitation repeats after it
};

// The statistical spread of the point's mean ratio: the larger of scatter
// and noise, and the inputs' rounding. Invalid without periods or noise.
tratio_spread analyser_point_spread(const tanalyser_point_data& point);

treading_basis analyser_reading_basis(const tanalyser_point_data& point, const tanalyser_point_entries& entries);

}  // namespace lcr
