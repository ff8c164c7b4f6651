// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five calibration steps at every point of the analyser's curve in one
// pass: each point's entry is made from its own averaged ratio exactly as
// the meter's step makes it from a reading, with the spread of that ratio.
// A curve that is not current, or a point whose spread is not known yet, is
// refused whole: nothing is stored from half a curve.
//
// On the thread that runs the measurement; the calibration is its own.

#include "engine/analyser/analyser_calibration.h"
#include "engine/analyser/analyser_measurement.h"
#include "engine/calibration/calibration_steps.h"

#include <map>
#include <string>

namespace lcr {

// Ratios of this run for the reference step, by frequency; never saved.
struct tanalyser_step_capture {
  std::map<double, tspread_ratio> h_open;  // corrected ratio of the open step
};

// The known part of the reference step: Rp in ohm, Cp in femtofarad.
struct tknown_part {
  double rp_ohm = 1000.0;
  double cp_ff = 0.0;
};

struct tanalyser_step_outcome {
  int stored = 0;     // points whose entries were stored
  std::string refusal;  // why nothing was stored, for the operator; "" when stored
  bool ok() const { return refusal.empty(); }
};

tanalyser_step_outcome analyser_store_step(tcal_mode mode, const tanalyser_measurement& measurement,
                                           tanalyser_calibration& calibration, tanalyser_step_capture& capture,
                                           const tknown_part& known = {});

}  // namespace lcr
