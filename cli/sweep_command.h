#pragma once

#include "meter_session.h"

#include "engine/frequency_sweep.h"

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
// has settled under it (within 30 s of stream time).
tsweep_outcome run_multitone_sweep(tmeter_session& session);

// quarvel-cli sweep [--auto-ref] [measure's options] [--json | --csv]: the
// device at all eight test frequencies, and the equivalent circuit that
// fits the sweep best.
int run_sweep(std::span<const char* const> arguments);

}  // namespace quarvel_cli
