// SPDX-License-Identifier: GPL-3.0-or-later
#include "auto_mode.h"

#include <cmath>
#include <numbers>

namespace lcr {

namespace {

tauto_pair pair_of_phase(double phase_deg, double margin_deg)
{
  if (phase_deg < -(auto_boundary_deg + margin_deg)) return tauto_pair::capacitive;
  if (phase_deg > auto_boundary_deg + margin_deg) return tauto_pair::inductive;
  return tauto_pair::resistive;
}

// Where the phase lies when it has crossed a boundary of the pair on display
// by the hysteresis; the pair itself when it has not.
tauto_pair pair_beyond_hysteresis(tauto_pair shown, double phase_deg)
{
  switch (shown) {
    case tauto_pair::resistive: return pair_of_phase(phase_deg, auto_hysteresis_deg);
    case tauto_pair::capacitive:
      if (phase_deg <= -(auto_boundary_deg - auto_hysteresis_deg)) return shown;
      break;
    case tauto_pair::inductive:
      if (phase_deg >= auto_boundary_deg - auto_hysteresis_deg) return shown;
      break;
  }
  // Out of a reactive region: into the resistive one, or straight across.
  return pair_of_phase(phase_deg, auto_hysteresis_deg);
}

}  // namespace

double auto_phase_deg(tcomplex z)
{
  return std::atan2(z.im, std::fabs(z.re)) * (180.0 / std::numbers::pi);
}

int meas_mode_of(tauto_pair pair)
{
  switch (pair) {
    case tauto_pair::capacitive: return 11;
    case tauto_pair::inductive: return 12;
    case tauto_pair::resistive: break;
  }
  return 2;
}

tauto_pair auto_mode_update(tauto_mode& state, double phase_deg)
{
  if (!state.chosen) {
    state = {true, pair_of_phase(phase_deg, 0.0), pair_of_phase(phase_deg, 0.0), 0};
    return state.pair;
  }
  const tauto_pair beyond = pair_beyond_hysteresis(state.pair, phase_deg);
  if (beyond == state.pair) {
    state.confirmations = 0;
  } else {
    state.confirmations = beyond == state.candidate ? state.confirmations + 1 : 1;
    state.candidate = beyond;
    if (state.confirmations >= auto_confirming_readings) {
      state.pair = beyond;
      state.confirmations = 0;
    }
  }
  return state.pair;
}

}  // namespace lcr
