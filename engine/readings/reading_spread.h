// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The statistical spread of a reading's averaged channel ratio, in its
// parts:
// - chance: the larger of what the scatter of the single evaluations shows
//   (once ten have gathered) and what the noise beside the tone shows (from
//   the first settled evaluation on);
// - the 16-bit input's rounding (type B): a periodic signal is rounded the
//   same way in every period, so its error neither averages out nor shows
//   in any scatter, unless noise on the input dithers it. Its deterministic
//   part is the rounding error averaged over the input's noise: a sawtooth
//   whose harmonics the Gaussian noise damps by exp(−2π²k²s²). The error in
//   a bin is taken as that of independent such errors at the distinct
//   samples of one repeat of the input, doubled because a sine's symmetric
//   samples add theirs coherently, and given to both parts of the bin,
//   since it may fall wholly into one. The tone's own rounding is common
//   to both inputs and cancels in the ratio.
//
// Pure functions of a snapshot; any thread.

#include "engine/core/complex_math.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/signal/ratio_scatter.h"

namespace lcr {

// Samples after which the input of a tone of `frequency_hz` repeats (the
// multitone's: that of 100 Hz), at most the window's n.
int input_repeat_length(int frequency_hz, bool multitone, int n, int rate);

// Variance of the part of a rounding error that Gaussian noise of
// `sample_variance` (sample units²) on the input leaves the same at every
// repeat: 1/12 on a quiet input, next to nothing from half a unit on.
double deterministic_rounding_variance(double sample_variance);

// The noise variance before the rounding, from what a rounded input shows:
// the rounding's random part (1/12 less its deterministic part) adds to it.
double noise_before_rounding(double measured_sample_variance);

// Variance (both parts together) of a bin from the deterministic rounding
// of an input that repeats after `repeat_length` samples, with noise of
// `sample_variance` (as measured, after the rounding), of which
// `stepped_variance` comes in whole steps and dithers nothing; sample
// units².
double rounding_bin_variance(int repeat_length, double sample_variance, double stepped_variance = 0.0);

tratio_spread random_spread(const tmeasurement_snapshot& snapshot);
tratio_spread quantisation_spread(const tmeasurement_snapshot& snapshot);
// Both together, for the averaged raw ratio; unknown until the reading has
// settled.
tratio_spread reading_spread(const tmeasurement_snapshot& snapshot);

// The noise amplitude per bin on each input that a ratio spread amounts
// to, for the ratio h and the left bin's amplitude a1: δh = (δ2 − h·δ1)/a1.
double equivalent_channel_sigma(const tratio_spread& spread, tcomplex h, double a1);

}  // namespace lcr
