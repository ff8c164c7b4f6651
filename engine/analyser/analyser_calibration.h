// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The impedance analyser's calibration: the meter's five corrections
// (crosstalk, symmetry, open, short, reference), each taken at the
// analyser's own frequencies in one pass of its excitation, with the
// spread of the reading each entry came from.
//
// A point is corrected with entries taken at its own frequency. A point
// between two calibrated frequencies close together (the fine points
// around a loudspeaker's resonance, between the grid's 1 Hz bins) is
// corrected with each entry interpolated linearly between them, its spread
// widened by the bound on the interpolation's error that the curvature of
// the entry over its next neighbour gives (twice the second divided
// difference's, as a rectangular distribution). Anywhere else a point is
// measured with the nominal entries and told uncalibrated: entries
// borrowed across a gap would correct it with values nobody measured
// near it.
//
// Plain values, owned by whoever measures (the window's or the command
// line's thread); the worker never reads them.

#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"

#include <array>
#include <map>

namespace lcr {

struct tanalyser_entry {
  tcomplex value;
  tentry_spread spread;
  bool taken = false;
  bool operator==(const tanalyser_entry&) const = default;
};

// Every entry at one frequency.
struct tanalyser_cal_point {
  tanalyser_entry h_short;
  tanalyser_entry h_direct;
  std::array<tanalyser_entry, ref_count> y_open{};
  std::array<tanalyser_entry, ref_count> z_short{};
  std::array<tanalyser_entry, ref_count> z_ref{};
  bool operator==(const tanalyser_cal_point&) const = default;
};

struct tanalyser_calibration {
  std::map<double, tanalyser_cal_point> points;  // by frequency in Hz
  bool operator==(const tanalyser_calibration&) const = default;
};

// The entries a point at `frequency_hz` measured with reference `ref_index`
// is corrected with, and what they are.
struct tanalyser_point_entries {
  tcal_entries entries;
  tcal_entry_spreads spreads;
  bool calibrated = false;            // some entry was taken at (or around) this frequency and reference
  bool reference_calibrated = false;  // the reference's own was
};
// Neighbouring calibrated frequencies further apart than this ratio (a
// sixth of an octave) are a gap: nothing is interpolated across it.
inline constexpr double most_interpolated_ratio = 1.122462048309373;  // 2^(1/6)

tanalyser_point_entries analyser_entries(const tanalyser_calibration& calibration, int ref_index,
                                         double frequency_hz);

}  // namespace lcr
