// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A driver's parameters as every output shows them, in one order: the key
// for programs (naming the unit its value goes out in) with the factor from
// SI to that, and the table's name and unit with its factor; and how many
// decimals a value and its ± are shown with.
//
// Pure functions; any thread.

#include "engine/loudspeaker/driver_parameters.h"

#include <vector>

namespace lcr {

struct tparameter_row {
  const char* key;
  double key_factor;
  const char* name;
  const char* unit;
  double factor;
  tmeasured measured;
};

std::vector<tparameter_row> parameter_rows(const tdriver_parameters& p);

// Two significant digits of the ±, the value to the same place; four of
// the value where the ± is unknown or 0.
int plus_minus_decimals(double value, double u);

}  // namespace lcr
