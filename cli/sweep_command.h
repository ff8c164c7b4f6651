#pragma once

#include "meter_session.h"

#include "engine/frequency_sweep.h"

#include <span>
#include <vector>

namespace quarvel_cli {

// Runs a frequency sweep on an open session, ticking every 100 ms of
// stream time.
std::vector<lcr::tsweep_row> run_frequency_sweep(tmeter_session& session, bool auto_ref);

// quarvel-cli sweep [--auto-ref] [measure's options] [--json | --csv]: the
// device at all eight test frequencies, and the equivalent circuit that
// fits the sweep best.
int run_sweep(std::span<const char* const> arguments);

}  // namespace quarvel_cli
