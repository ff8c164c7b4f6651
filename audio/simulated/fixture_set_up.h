// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an operator wires on the measuring adapter, and the two kinds of
// set-up: ideal, and realistic with the imperfections of a real adapter
// and card. Pure functions on a configuration; any thread.

#include "fixture_config.h"

namespace waveio {

// The states of the adapter that measuring, the calibration modes and the
// set-up tests need.
enum class tset_up {
  device_under_test,  // the reference fitted, the device at the terminals
  terminals_open,     // calibration mode 2
  terminals_shorted,  // calibration mode 3
  known_resistor,     // calibration mode 4: known_resistance_ohm ∥ known_capacitance_f
  reference_open,     // calibration mode 0: reference open, terminals shorted
  reference_shorted,  // calibration mode 1: reference shorted, terminals open
  test_fixture_1,     // tests 1 and 2
  test_fixture_2,     // test 3
  open_inputs,        // test 4
};

void wire_set_up(tfixture_config& config, tset_up state);

// What the adapter holds in calibration mode 0 … 4 (crosstalk, symmetry,
// open, short, known resistor); the device under test for any other.
tset_up set_up_for_calibration_mode(int mode);

// Crosstalk −100 dB, the right channel 1 % low and 0.5° late, 15 pF across
// the terminals, 30 mΩ + 20 nH in series with the device, every reference
// resistor 1 % off with 3 pF across and 20 nH in series.
void add_realistic_imperfections(tfixture_config& config);
// The ideal adapter and card again (noise and wiring stay).
void remove_imperfections(tfixture_config& config);
// Whether the configuration has any of the imperfections above.
bool has_imperfections(const tfixture_config& config);

}  // namespace waveio
