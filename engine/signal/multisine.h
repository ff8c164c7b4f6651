// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The analyser's excitation: one period of a sum of sines, one on each bin
// of the grid, played over and over. Every analysis window of one period
// then holds whole periods of every sine, so each bin sees its own sine
// alone, and the bins between them see only noise and distortion.
//
// The phases are Schroeder's, generalised to any bins and powers: the sum
// sweeps through the bins like a chirp, spending its time on each in
// proportion to its power. On a dense grid that keeps the peak near 1.9
// times the RMS; on the analyser's sparse log grid, where neighbouring
// sines beat slower than the chirp passes them, it stays about 4 (the
// crest factor is kept with the period). Below `boost_below_hz` the amplitudes rise
// towards low frequencies (up to `low_boost`), where a loudspeaker's
// resonance lies and mains hum and the card's coupling take their share.
//
// Built once per grid on any thread; the period's samples are then read by
// the worker without allocation.

#include "engine/signal/analyser_grid.h"

#include <vector>

namespace lcr {

struct tmultisine_shape {
  double low_boost = 2.0;         // amplitude at the lowest point relative to the high ones
  double boost_below_hz = 100.0;  // where the rise begins
  // Of lowering the peak from Schroeder's phases (0: none), for a period of
  // a second; a longer period takes as many fewer as keep the work the
  // same (some 0.2 s on the window's thread for a second's period).
  int clipping_rounds = 40;
};

struct tmultisine {
  std::vector<double> amplitudes;  // per point, for a peak of 1
  std::vector<double> phases;      // per point, radians (cosine phase)
  std::vector<double> samples;     // one period, peak 1
  double crest_factor = 0.0;       // peak over RMS
};

tmultisine make_multisine(const tanalyser_grid& grid, const tmultisine_shape& shape = {});

}  // namespace lcr
