// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The resonance of a loudspeaker's curve as it lies in the points, before
// any fit: where |Z| peaks, where the phase turns from inductive to
// capacitive, and the two points either side where |Z| has fallen to
// √(Re·Zmax). These give the fit its start and decide whether the curve
// can carry a fit at all; and they give the values older tools read off
// the curve the same way, for comparison:
//
//   r0 = Zmax/Re,  Qms = fs·√r0 / (f2 − f1),  Qes = Qms / (r0 − 1),
//   Qts = Qms·Qes / (Qms + Qes)
//
// (exact for a model curve without Le, where f1·f2 = fs²).
//
// A curve is refused (a text for the operator) when no resonance stands
// out inside it or the phase does not cross zero there, when a second peak
// stands out beside it (a vented box, a rocking mode: no single resonance
// describes it), when |Z| does not fall to √(Re·Zmax) on both sides within
// it, or when fewer than `least_points_within` points lie between f1 and
// f2 (the peak is then too coarsely sampled to fit).
//
// Pure functions; any thread.

#include "driver_curve.h"

#include <span>
#include <string>

namespace lcr {

inline constexpr int least_points_within = 10;

struct tresonance {
  std::size_t peak = 0;        // index of the highest point of the resonance
  double fs_hz = 0.0;          // the peak's vertex (a parabola over ln f)
  double z_max_ohm = 0.0;      // |Z| there
  double phase_zero_hz = 0.0;  // where the phase crosses zero from + to −
  double f1_hz = 0.0;          // below fs, |Z| = √(Re·Zmax)
  double f2_hz = 0.0;          // above
  int points_within = 0;       // points in [f1, f2]
};

struct tresonance_search {
  tresonance resonance;
  std::string refusal;  // empty when found
  // Refused only for too few points within f1 … f2: the resonance holds
  // what was found, for a closer measurement of its neighbourhood.
  bool too_coarse = false;
  bool ok() const { return refusal.empty(); }
};

// `points` rising in frequency, none doubtful; `re_ohm` the coil's
// resistance (given, or estimated from the curve) for the −3 dB level.
tresonance_search find_resonance(std::span<const tdriver_point> points, double re_ohm);

// The least real part over the points: Re's estimate before a fit, where
// the motional part has faded and a lossless coil adds none.
double least_resistance_ohm(std::span<const tdriver_point> points);

struct tclassic_parameters {
  double fs_hz = 0.0;
  double z_max_ohm = 0.0;
  double r0 = 0.0;
  double f1_hz = 0.0;
  double f2_hz = 0.0;
  double qms = 0.0;
  double qes = 0.0;
  double qts = 0.0;
};

// From the resonance found and the coil's resistance (given, or the fit's).
tclassic_parameters classic_parameters(std::span<const tdriver_point> points, const tresonance& resonance,
                                       double re_ohm);

}  // namespace lcr
