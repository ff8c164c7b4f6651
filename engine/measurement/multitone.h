// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The multitone: one tone that is the sum of the eight test frequencies, so
// that one evaluation measures the whole impedance curve. Every test
// frequency completes whole periods in the transform window, so each bin
// sees only its own tone; each goes through the correction chain and the
// deviation estimate at its own frequency, with its own amplitude and
// scatter.
//
// The tone and the analysis run on the streaming worker as part of the
// measurement cycle (settings.multitone selects them); the per-frequency
// points are read from a snapshot (multitone_point, readings/settled_reading.h) on
// the window's or the command line's thread.

#include "engine/measurement/engine_state.h"

#include <array>

namespace lcr {

// Start phases (radians) of the eight tones, found once by a search for the
// lowest peak of their sum, and that peak for tones of amplitude 1: the
// crest factor is multitone_unit_peak / 2 (the sum's RMS is 2).
inline constexpr std::array<double, freq_count> multitone_phases{0.0,     4.59435, 2.76716, 4.42174,
                                                                 3.95209, 5.42961, 2.09902, 5.91971};
inline constexpr double multitone_unit_peak = 4.7978;

// Each tone's amplitude in sample units when the sum's peak is the "Pegel"'s.
double multitone_tone_amplitude(double level);

// Worker: one block of the multitone into the engine's tone buffer.
void make_multitone(double level);
// Worker: the eight bins of the windows already taken into the transforms,
// averaged per frequency, their scatter kept while `window_settled`.
void analyse_multitone(bool window_settled);
// Worker: forgets the eight bins' scatter (a rebuild, a dropout).
void clear_multitone_scatter();
// Worker: the spread of each frequency's mean, once the reading has settled.
void take_multitone_spreads();

}  // namespace lcr
