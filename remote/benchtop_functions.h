// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The measurement functions as benchtop LCR meters name them (CPD, LSRS,
// ZTR, …), each the engine's pair of quantities in the order the meter
// answers them, and the window's mode that shows it (the nearest one where
// none shows exactly that pair). Quarvel's own names cover its modes that
// have no benchtop name.

#include "engine/sweeps/frequency_sweep.h"

#include <string_view>

namespace scpi {

struct tbenchtop_function {
  std::string_view name;
  lcr::tquantity_pair quantities;  // in the order :FETCh? answers
  bool phase_in_radians = false;   // the second value, ZTR and YTR
  int window_mode = 0;
};

// The functions; an index into them names one.
int function_count();
const tbenchtop_function& benchtop_function(int index);

// The function of a name in any case, or −1.
int function_index(std::string_view name);

// The function that a window mode stands for when the operator chose it:
// its benchtop name where it has one.
int function_of_mode(int meas_mode);

// "CPD,CPQ,…" for an error text.
std::string_view function_names();

// A value of the function's pair in the unit the function answers it in
// (the engine computes phases in degrees).
double function_value(const tbenchtop_function& function, bool second, double engine_value);

}  // namespace scpi
