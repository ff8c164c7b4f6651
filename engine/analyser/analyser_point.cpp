// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_point.h"

#include "engine/readings/reading_spread.h"

#include <cmath>

namespace lcr {

tratio_spread analyser_point_spread(const tanalyser_point_data& point)
{
  if (point.periods < 1 || !(point.noise_ratio_variance >= 0.0) || !(point.left_amplitude > 0.0)) return {};
  // Whole periods do not overlap: the mean of m varies by 1/m of one.
  const tratio_spread noise = circular_spread(point.noise_ratio_variance / point.periods);
  const tratio_spread random = larger_spread(point.scatter, noise);
  const double a1 = point.left_amplitude;
  const double h2 = point.ratio.re * point.ratio.re + point.ratio.im * point.ratio.im;
  const double right = rounding_bin_variance(point.period_samples, point.right_variance, h2 * point.stepped_variance);
  const double left = rounding_bin_variance(point.period_samples, point.left_variance, point.stepped_variance);
  return sum_spreads(random, circular_spread((right + h2 * left) / (a1 * a1)));
}

treading_basis analyser_reading_basis(const tanalyser_point_data& point, const tanalyser_point_entries& entries)
{
  treading_basis basis;
  basis.avg_ratio = point.ratio;
  basis.spread = analyser_point_spread(point);
  basis.entries = entries.entries;
  basis.entry_spreads = entries.spreads;
  basis.reference_calibrated = entries.reference_calibrated;
  basis.frequency_hz = point.frequency_hz;
  tdeviation_inputs& deviation = basis.deviation;
  deviation.h = run_correction_chain(point.ratio, entries.entries).ratio_corrected;
  deviation.a1 = point.left_amplitude;
  deviation.n = point.period_samples;
  deviation.avg_count = point.periods;
  deviation.z_ref = entries.entries.z_ref;
  deviation.y_open = entries.entries.y_open;
  deviation.z_short = entries.entries.z_short;
  deviation.frequency_hz = point.frequency_hz;
  deviation.sigma_floor = worst_case_factor * equivalent_channel_sigma(basis.spread, point.ratio, point.left_amplitude);
  return basis;
}

}  // namespace lcr
