// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A curve measurement of the impedance analyser, seen from the thread that
// runs it (the window's, the command line's): it publishes the job, takes
// every period the worker hands over, averages the newest periods of one
// run under one set of settings, and makes each point a reading with the
// analyser's calibration at the point's own frequency.
//
// A curve is shown only when it is current: at least one period averaged,
// every one recorded wholly under the settings in force.

#include "engine/analyser/analyser_calibration.h"
#include "engine/analyser/analyser_point.h"
#include "engine/analyser/curve_average.h"
#include "engine/measurement/analyser_stream.h"
#include "engine/sweeps/frequency_sweep.h"

#include <memory>
#include <vector>

namespace lcr {

class tanalyser_measurement {
public:
  // Starts the excitation: the worker plays it from its next block on.
  tanalyser_measurement(const tanalyser_grid& grid, int averaged_periods, const tmultisine_shape& shape = {});
  // Stops it: the meter's tone returns.
  ~tanalyser_measurement();
  tanalyser_measurement(const tanalyser_measurement&) = delete;
  tanalyser_measurement& operator=(const tanalyser_measurement&) = delete;

  // Takes the newest period if the worker has published one since; true
  // when the curve changed. Periods of other settings or of another run
  // start the average over.
  bool poll();
  // Forgets the averaged periods (the part at the terminals was trimmed).
  void restart();

  // At least one period averaged, all under the settings in force.
  bool current() const;
  int periods() const { return average_.periods(); }
  const tanalyser_grid& grid() const { return job_->grid(); }
  const tmultisine& excitation() const { return job_->excitation(); }
  const tmeasure_tag& tag() const { return tag_; }
  // The worst level code of the averaged periods.
  int signal_state() const { return signal_state_; }
  tanalyser_point_data point(std::size_t k) const;

private:
  std::shared_ptr<tanalyser_job> job_;
  tcurve_average average_;
  tanalyser_period period_;
  std::int64_t taken_ = 0;
  std::int64_t run_ = -1;
  tmeasure_tag tag_;
  int signal_state_ = 0;
  double stepped_variance_ = 0.0;
};

// The RMS of the right input over the excited bins, the voltage across the
// device, as a share of a full-scale sine's RMS: what the curve drove the
// device with in the card's own terms (a volt needs the card's input
// level at full scale). 0 before any period.
double device_rms_full_scale(const tanalyser_measurement& measurement);

// One point of a curve as a row of a sweep, with what only the analyser
// tells: whether it was corrected with entries taken at (or interpolated
// around) its frequency.
struct tanalyser_row {
  tsweep_row row;  // freq_index -1: the point is not a test frequency
  bool calibrated = false;
  bool doubtful = false;  // its divider ratio leaves it inaccurate (divider_ratio_doubtful)
};

// Every point of a current measurement as a reading; `quantity_deviations`
// false leaves the two quantities' figures unknown (the curve's |Z| and
// phase have them always).
std::vector<tanalyser_row> analyser_rows(const tanalyser_measurement& measurement,
                                         const tanalyser_calibration& calibration, const tquantity_pair& quantities,
                                         bool quantity_deviations = true);

}  // namespace lcr
