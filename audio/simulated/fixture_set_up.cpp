// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixture_set_up.h"

namespace waveio {

void wire_set_up(tfixture_config& config, tset_up state)
{
  config.wiring = twiring::measuring_adapter;
  config.reference_state = treference_state::fitted;
  config.device_state = tdevice_state::device_under_test;
  switch (state) {
    case tset_up::device_under_test: break;
    case tset_up::terminals_open: config.device_state = tdevice_state::open; break;
    case tset_up::terminals_shorted: config.device_state = tdevice_state::shorted; break;
    case tset_up::known_resistor: config.device_state = tdevice_state::known_resistor; break;
    case tset_up::reference_open:
      config.reference_state = treference_state::open;
      config.device_state = tdevice_state::shorted;
      break;
    case tset_up::reference_shorted:
      config.reference_state = treference_state::shorted;
      config.device_state = tdevice_state::open;
      break;
    case tset_up::test_fixture_1: config.wiring = twiring::test_fixture_1; break;
    case tset_up::test_fixture_2: config.wiring = twiring::test_fixture_2; break;
    case tset_up::open_inputs: config.wiring = twiring::open_inputs; break;
  }
}

tset_up set_up_for_calibration_mode(int mode)
{
  switch (mode) {
    case 0: return tset_up::reference_open;
    case 1: return tset_up::reference_shorted;
    case 2: return tset_up::terminals_open;
    case 3: return tset_up::terminals_shorted;
    case 4: return tset_up::known_resistor;
    default: return tset_up::device_under_test;
  }
}

void add_realistic_imperfections(tfixture_config& config)
{
  config.crosstalk = 1e-5;
  config.right_relative_gain = 0.99;
  config.right_phase_lag_deg = 0.5;
  config.stray_capacitance_f = 15e-12;
  config.residual_resistance_ohm = 0.03;
  config.residual_inductance_h = 20e-9;
  config.ref_tolerance.fill(0.01);
  config.ref_parallel_capacitance_f.fill(3e-12);
  config.ref_series_inductance_h.fill(20e-9);
}

void remove_imperfections(tfixture_config& config)
{
  const tfixture_config ideal;
  config.crosstalk = ideal.crosstalk;
  config.right_relative_gain = ideal.right_relative_gain;
  config.right_phase_lag_deg = ideal.right_phase_lag_deg;
  config.stray_capacitance_f = ideal.stray_capacitance_f;
  config.stray_conductance_s = ideal.stray_conductance_s;
  config.residual_resistance_ohm = ideal.residual_resistance_ohm;
  config.residual_inductance_h = ideal.residual_inductance_h;
  config.ref_tolerance = ideal.ref_tolerance;
  config.ref_parallel_capacitance_f = ideal.ref_parallel_capacitance_f;
  config.ref_series_inductance_h = ideal.ref_series_inductance_h;
}

bool has_imperfections(const tfixture_config& config)
{
  tfixture_config ideal = config;
  remove_imperfections(ideal);
  return ideal.crosstalk != config.crosstalk || ideal.right_relative_gain != config.right_relative_gain ||
         ideal.right_phase_lag_deg != config.right_phase_lag_deg ||
         ideal.stray_capacitance_f != config.stray_capacitance_f ||
         ideal.stray_conductance_s != config.stray_conductance_s ||
         ideal.residual_resistance_ohm != config.residual_resistance_ohm ||
         ideal.residual_inductance_h != config.residual_inductance_h || ideal.ref_tolerance != config.ref_tolerance ||
         ideal.ref_parallel_capacitance_f != config.ref_parallel_capacitance_f ||
         ideal.ref_series_inductance_h != config.ref_series_inductance_h;
}

}  // namespace waveio
