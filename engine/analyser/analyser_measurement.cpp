// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_measurement.h"

#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace lcr {

namespace {

// The excitation's dither reaches the left input in whole output steps,
// scaled by the card's gain: 1/6 of a step squared with its rounding (as
// for the single tone). The gain is read off the loudest point.
double dither_variance(const tanalyser_period& period, const tmultisine& excitation, double level)
{
  const double tone = tone_amplitude(level);
  double gain = 0.0;
  double loudest = 0.0;
  for (std::size_t k = 0; k < period.points.size() && k < excitation.amplitudes.size(); ++k) {
    const double played = tone * excitation.amplitudes[k];
    if (played > loudest) {
      loudest = played;
      gain = 2.0 * period.points[k].left_amplitude / played;
    }
  }
  return gain * gain / 6.0;
}

}  // namespace

tanalyser_measurement::tanalyser_measurement(const tanalyser_grid& grid, int averaged_periods,
                                             const tmultisine_shape& shape)
    : job_(std::make_shared<tanalyser_job>(grid, shape)), average_(grid, averaged_periods)
{
  publish_analyser_job(job_);
}

tanalyser_measurement::~tanalyser_measurement()
{
  publish_analyser_job(nullptr);
}

bool tanalyser_measurement::poll()
{
  if (!take_analyser_period(*job_, taken_, period_)) return false;
  taken_ = period_.index;
  if (period_.run != run_ || !(period_.tag == tag_)) {
    average_.clear();
    run_ = period_.run;
    tag_ = period_.tag;
    signal_state_ = 0;
  }
  average_.push(period_.points);
  signal_state_ = std::max(signal_state_, period_.signal_state);
  stepped_variance_ = dither_variance(period_, job_->excitation(), tag_.tone_level);
  return true;
}

void tanalyser_measurement::restart()
{
  average_.clear();
  signal_state_ = 0;
}

bool tanalyser_measurement::current() const
{
  if (average_.periods() < 1) return false;
  tmeasure_tag now = current_measure_tag();
  // The averaging settings of the meter do not touch the analyser's periods.
  now.ft_factor = tag_.ft_factor;
  now.avg_count = tag_.avg_count;
  return now == tag_ && tag_.analyser_generation == job_->generation();
}

tanalyser_point_data tanalyser_measurement::point(std::size_t k) const
{
  return average_.point(k, stepped_variance_);
}

double device_rms_full_scale(const tanalyser_measurement& measurement)
{
  if (measurement.periods() == 0) return 0.0;
  double mean_square = 0.0;
  for (std::size_t k = 0; k < measurement.grid().size(); ++k) {
    const tanalyser_point_data point = measurement.point(k);
    // |X| is half the sine's amplitude: the sine's mean square is 2·|X|².
    const double right = c_abs(point.ratio) * point.left_amplitude;
    mean_square += 2.0 * right * right;
  }
  constexpr double full_scale_rms = 32767.0 / std::numbers::sqrt2;
  return std::sqrt(mean_square) / full_scale_rms;
}

std::vector<tanalyser_row> analyser_rows(const tanalyser_measurement& measurement,
                                         const tanalyser_calibration& calibration, const tquantity_pair& quantities,
                                         bool quantity_deviations)
{
  const int ref_index = clamp_ref_index(measurement.tag().ref_index);
  std::vector<tanalyser_row> rows;
  rows.reserve(measurement.grid().size());
  for (std::size_t k = 0; k < measurement.grid().size(); ++k) {
    const tanalyser_point_data point = measurement.point(k);
    const tanalyser_point_entries entries = analyser_entries(calibration, ref_index, point.frequency_hz);
    tanalyser_row result;
    result.row = basis_row(analyser_reading_basis(point, entries), quantities, quantity_deviations);
    result.row.freq_index = -1;
    result.row.ref_index = ref_index;
    result.row.signal_state = measurement.signal_state();
    result.calibrated = entries.calibrated;
    result.doubtful = divider_ratio_doubtful(result.row.divider_ratio);
    rows.push_back(result);
  }
  return rows;
}

}  // namespace lcr
