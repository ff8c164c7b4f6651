// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "arguments.h"
#include "meter_session.h"

#include "engine/analyser/analyser_calibration.h"
#include "engine/analyser/analyser_measurement.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel_cli {

// --from HZ --to HZ --ppo N (10 Hz, 20 kHz, 24 unless given), their names,
// and the grid they ask for (a usage_error with the reason when none).
lcr::tgrid_request parse_grid_options(const argument_list& list);
std::vector<std::string_view> grid_value_options();
lcr::tanalyser_grid analyser_grid_of(const argument_list& list);

// The analyser's curves on an open session until `end_frame`: each current
// curve of `measurement` (all its points read with `calibration`) to
// `take_curve`, which returns false to stop. With `auto_ref` the first
// curve chooses the reference that divides it best, and curves are taken
// from that reference on. The failure text, or "" when curves came; a
// curve must come within 30 s of stream time.
std::string run_analyser_curves(tmeter_session& session, lcr::tanalyser_measurement& measurement,
                                const lcr::tanalyser_calibration& calibration, bool auto_ref, std::int64_t end_frame,
                                const std::function<bool(const std::vector<lcr::tanalyser_row>&)>& take_curve);

// quarvel-cli impedance [--from HZ] [--to HZ] [--ppo N] [--ref OHM | --auto-ref] [--level L]
// [--realtime] [--watch] [--json | --csv] [--zma FILE] [--overlay FILE.zma]: the impedance
// analyser's calibrated curve.
int run_impedance(std::span<const char* const> arguments);

}  // namespace quarvel_cli
