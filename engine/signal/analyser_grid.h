// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The impedance analyser's frequencies: log-spaced from a start to a stop
// frequency at a number of points per octave, each placed on a bin of the
// analysis period, so that the periodic excitation completes whole periods
// of every one of them in the window and no bin leaks into another. Where
// the bins lie further apart than the log spacing (the lowest octaves),
// points that fall on one bin are one point.
//
// Pure functions; any thread.

#include <optional>
#include <string>
#include <vector>

namespace lcr {

// One second at the input rate: 1 Hz between bins.
inline constexpr int analyser_period_samples = 48000;
// Four seconds: 0.25 Hz between bins, for a closer look at a narrow
// stretch of the curve (a loudspeaker's resonance).
inline constexpr int analyser_fine_period_samples = 4 * analyser_period_samples;
inline constexpr double analyser_highest_fraction = 0.45;  // of the sample rate
inline constexpr int analyser_densities[] = {6, 12, 24, 48};

struct tgrid_request {
  double from_hz = 10.0;
  double to_hz = 20000.0;
  int points_per_octave = 24;
};

struct tanalyser_grid {
  int rate = 0;               // samples per second
  int period = 0;             // samples in the analysis period
  std::vector<int> bins;      // rising, each on its own bin

  double bin_hz() const { return static_cast<double>(rate) / period; }
  double frequency_hz(std::size_t point) const { return bins[point] * bin_hz(); }
  std::size_t size() const { return bins.size(); }
};

// The grid, or the reason there is none (a text for the operator): a start
// below the first bin, a stop above 0.45 × the rate or not above the start,
// a density other than 6, 12, 24 or 48.
struct tgrid_result {
  std::optional<tanalyser_grid> grid;
  std::string refusal;
};
tgrid_result analyser_grid(const tgrid_request& request, int rate = 48000, int period = analyser_period_samples);

// Every bin of `period` from `from_hz` to `to_hz`, or every second, third
// … bin so that there are at most `most_points`; refused like a grid for a
// start below the first bin, a stop above 0.45 × the rate or not above the
// start.
tgrid_result dense_analyser_grid(double from_hz, double to_hz, int most_points, int rate = 48000,
                                 int period = analyser_fine_period_samples);

}  // namespace lcr
