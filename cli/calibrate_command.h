// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace quarvel_cli {

// quarvel-cli calibrate --mode 0..4 [meter options] [--rp OHM] [--cp FF] [--save]:
// one calibration sweep over the eight test frequencies.
int run_calibrate(std::span<const char* const> arguments);

// quarvel-cli selftest --test 1..4 [meter options]: one test of the
// sound-card set-up, graded.
int run_selftest(std::span<const char* const> arguments);

}  // namespace quarvel_cli
