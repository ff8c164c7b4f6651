// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The analyser's curve as a loudspeaker's, and a closer look at its
// resonance where the curve is too coarse there: a driver with a high Qms
// has a peak a few hertz wide, narrower at 20 Hz than ten of the
// one-second period's 1 Hz bins. Its neighbourhood, from one −3 dB width
// below f1 to one above f2, is measured again on the bins of the
// four-second period (0.25 Hz apart); the fine points then take the place
// of the curve's own within that stretch.
//
// Pure functions; any thread.

#include "driver_curve.h"
#include "resonance_shape.h"

#include "engine/analyser/analyser_measurement.h"
#include "engine/signal/analyser_grid.h"

#include <optional>
#include <vector>

namespace lcr {

// The fine grid never holds more points than this: every n-th fine bin
// across a stretch wider than it covers.
inline constexpr int most_refined_points = 96;

// Every point of the analyser's curve, its uncertainties with it.
tdriver_curve driver_curve_of_rows(const std::vector<tanalyser_row>& rows);

// The resonance as the curve's points show it (doubtful ones left out, as
// in a fit; the coil's resistance estimated from the curve).
tresonance_search resonance_of(const tdriver_curve& curve);

// Where the analyser's rows put the resonance, also with too few points
// around it; `fallback_hz` where they show none.
double resonance_hz(const std::vector<tanalyser_row>& rows, double fallback_hz);

struct tresonance_refinement {
  tanalyser_grid grid;    // the fine points to measure
  double step_hz = 0.0;   // between them: every n-th fine bin across a wide stretch
  tresonance resonance;   // as the coarse curve shows it
};

// The fine grid around the curve's resonance when fewer than
// least_points_within of its points lie within the −3 dB width; none when
// the curve has enough there already, shows no single resonance, or the
// fine bins would add nothing.
std::optional<tresonance_refinement> resonance_refinement(const tdriver_curve& curve,
                                                          int rate = 48000,
                                                          int period = analyser_fine_period_samples);

// The coarse rows outside the fine rows' stretch and the fine rows, rising
// in frequency.
std::vector<tanalyser_row> refined_rows(const std::vector<tanalyser_row>& coarse,
                                        const std::vector<tanalyser_row>& fine);

}  // namespace lcr
