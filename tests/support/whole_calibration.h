// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A whole calibration of the simulated set-up as an operator makes it:
// modes 0 and 1 once, then per reference modes 2, 3 and 4 with the known
// resistor of its decade (R ∥ 200 fF); each mode stepped over the eight
// frequencies, or in one pass with the multitone.

#include "cli/calibration_sweep.h"
#include "cli/meter_session.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"

#include <mutex>
#include <string>
#include <vector>

namespace quarvel_test {

// What was not stored, as "mode 4 at 1000 Ohm: …" (nothing when all was).
inline std::vector<std::string> calibrate_whole_set_up(quarvel_cli::tmeter_session& session, bool multitone)
{
  const int operator_freq = lcr::settings.freq_index.load();
  std::vector<std::string> failures;
  const auto step = [&](lcr::tcal_mode mode, double ohm) {
    const std::vector<lcr::tcal_step_result> results = multitone
                                                           ? quarvel_cli::calibration_multitone(session, mode)
                                                           : quarvel_cli::calibration_sweep(session, mode, operator_freq);
    for (const lcr::tcal_step_result result : results) {
      if (result == lcr::tcal_step_result::stored) continue;
      failures.push_back("mode " + std::to_string(static_cast<int>(mode)) + " at " + std::to_string(ohm) +
                         " Ohm: " + lcr::cal_step_result_text(result));
    }
  };
  for (const lcr::tcal_mode mode : {lcr::tcal_mode::crosstalk, lcr::tcal_mode::symmetry}) {
    quarvel_cli::place_fixture_for_calibration(mode, session.fixture(), 1000.0, 200.0);
    step(mode, 1000.0);
  }
  for (int r = 0; r < lcr::ref_count; ++r) {
    const double ohm = lcr::ref_resistors[static_cast<std::size_t>(r)];
    lcr::settings.ref_index = r;
    {
      const std::lock_guard lock(lcr::publication_lock);
      lcr::cal_capture.known_rp = ohm;
      lcr::cal_capture.known_cp = 200.0;
    }
    for (const lcr::tcal_mode mode : {lcr::tcal_mode::open, lcr::tcal_mode::short_circuit, lcr::tcal_mode::reference}) {
      quarvel_cli::place_fixture_for_calibration(mode, session.fixture(), ohm, 200.0);
      step(mode, ohm);
    }
  }
  return failures;
}

}  // namespace quarvel_test
