// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The noise beside a tone, measured in the same window as the tone itself,
// so that a reading knows its random error from its first evaluation on,
// before enough evaluations have gathered to show their scatter, and knows
// how much noise dithers each input's rounding.
//
// The bins used hold no test frequency, no harmonic and no intermodulation
// product of them (all are multiples of 100 Hz), nor the rounding error of
// a periodic input (at multiples of its repeat rate, 100 Hz or more): odd
// multiples of 25 Hz where the window resolves them ("FT Faktor" 4 and 16),
// which also keeps clear of 50 Hz mains and its harmonics, else odd
// multiples of 50 Hz, where mains hum may fall on some; the median of the
// bins, not their mean, is taken, so that a few such lines do not count as
// noise. The nearest bins to the tone are used, so that coloured noise is
// taken where it acts. For white noise each holds as much as the tone's bin
// does.
//
// The ratio's noise is estimated as |X2 − H·X1|² over the bins, divided by
// the left channel's power at the tone: the perturbation of H = X2 / X1 by
// noise, with whatever correlation the two channels' noise has (the tone's
// own dither reaches both and cancels).
//
// Set up at a rebuild (allocation-free afterwards); used on the streaming
// worker only.

#include "engine/core/complex_math.h"
#include "engine/signal/tone_analysis.h"

#include <array>
#include <span>

namespace lcr {

inline constexpr int noise_bins_per_tone = 8;

struct tnoise_bins {
  std::array<int, noise_bins_per_tone> k{};
  int count = 0;
};

// The noise bins nearest a tone of `frequency_hz` (a multiple of 100 Hz) in
// a window of n samples at `rate`; none when the window resolves neither
// 25 Hz nor 50 Hz.
tnoise_bins noise_bins_near(int frequency_hz, int n, int rate);

// The mean power of bins of Gaussian noise, from their median, so that a
// hum line or two among them (50 Hz and its odd harmonics where the window
// does not resolve 25 Hz) do not move it; NaN for none. Sorts the powers.
double median_noise_power(std::span<double> powers);

// One window's noise beside a tone.
struct twindow_noise {
  double ratio_variance = 0.0;   // of the window's ratio h; NaN where not known
  double left_variance = 0.0;    // of one left input sample, sample units squared
  double right_variance = 0.0;   // of one right input sample
};

// The noise in the windows already in the two transforms (overwrites their
// last results), for the window's ratio h and the left channel's power g at
// the tone. Without bins, or with a silent left input (whose reading the
// level lamp rejects), the ratio's variance is not known (NaN).
twindow_noise window_noise(tdft& left, tdft& right, const tnoise_bins& bins, tcomplex h, double g);

// The mean of the averaged windows' noise, beside the averaged ratio.
struct tnoise_average {
  tavg ratio;
  tavg left;
  tavg right;
};
void noise_average_setup(tnoise_average& average, int length);
twindow_noise noise_average_push(tnoise_average& average, const twindow_noise& window);

}  // namespace lcr
