// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "json_writer.h"
#include "meter_session.h"

#include "engine/sweeps/frequency_sweep.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quarvel_cli {

struct tsweep_outcome {
  std::vector<lcr::tsweep_row> rows;
  std::string failure;  // why the sweep ended early ("" when it did not)
};

// Runs a frequency sweep on an open session, ticking every 100 ms of
// stream time.
tsweep_outcome run_frequency_sweep(tmeter_session& session, bool auto_ref);

// The eight frequencies at once with the multitone: the first reading that
// has settled under it (within 30 s of stream time); with `auto_ref` at the
// one reference that keeps the worst deviation over the eight smallest.
tsweep_outcome run_multitone_sweep(tmeter_session& session, bool auto_ref = false);

// The live response on an open session until `end_frame`: each fresh curve
// with the number of the evaluation it was taken from to `take_curve`,
// which returns false to stop. False when no settled reading came for 30 s
// of stream time.
bool run_multitone_response(tmeter_session& session, bool auto_ref, std::int64_t end_frame,
                            const std::function<bool(const std::vector<lcr::tsweep_row>&, std::int64_t)>& take_curve);

// One row of a curve as the sweep's JSON writes it, the two quantities
// named by their records' symbols.
tjson_object sweep_row_json(const lcr::tsweep_row& row, const lcr::tlcr_strings& first,
                            const lcr::tlcr_strings& second);

// quarvel-cli sweep [--auto-ref] [--multitone [--watch]] [measure's options] [--json | --csv]: the
// device at all eight test frequencies, and the equivalent circuit that
// fits the sweep best.
int run_sweep(std::span<const char* const> arguments);

}  // namespace quarvel_cli
