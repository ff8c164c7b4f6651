// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A calibration sweep as the calibration page runs it, for the command-line
// meter and the tests, on the page's 500 ms timer: per frequency, switch the
// tone, store at the first tick with a reading settled under it (recorded
// after the set-up was connected, no averaged window spanning a dropout),
// go on 500 ms after that. A frequency without a settled reading within
// lcr::calibration_settle_seconds stores nothing there.

#include "meter_session.h"

#include "engine/calibration/calibration_steps.h"

#include "audio/simulated/fixture_set_up.h"

#include <vector>

namespace quarvel_cli {

// Puts the simulated fixture into the state a calibration mode expects; the
// known resistor of mode 4 is rp_ohm in parallel with cp_ff femtofarad.
void place_fixture_for_calibration(lcr::tcal_mode mode, waveio::tsimulated_fixture& fixture, double rp_ohm,
                                   double cp_ff);

// One sweep over the eight frequencies in `mode` at the current reference,
// at "FT Faktor" 4 and "Pegel" 1.00 (left so afterwards, as the calibration
// page does); afterwards the tone returns to `operator_freq_index`.
std::vector<lcr::tcal_step_result> calibration_sweep(tmeter_session& session, lcr::tcal_mode mode,
                                                     int operator_freq_index);

// The same step at all eight frequencies in one pass with the multitone:
// the first reading that has settled under it (within
// lcr::calibration_settle_seconds) gives every frequency's entries; the
// single tone is back afterwards. Every result not_settled when none came.
std::vector<lcr::tcal_step_result> calibration_multitone(tmeter_session& session, lcr::tcal_mode mode);

}  // namespace quarvel_cli
