// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A loudspeaker's impedance curve as the parameter fit takes it: the
// analyser's calibrated points with their statistical uncertainties (the
// curve `quarvel-cli impedance --json` writes), or a .zma curve of another
// program, which has none.
//
// A curve whose every point (doubtful ones aside) has its uncertainty is
// weighted: each point counts by its own. Otherwise every point counts by
// |Z| alike, and only the fit's residual tells how well it measured.
//
// Pure functions; any thread.

#include "engine/analyser/zma_text.h"

#include <complex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcr {

struct tdriver_point {
  double frequency_hz = 0.0;
  std::complex<double> z_ohm;
  double sigma_magnitude_ohm = 0.0;  // standard uncertainty (k = 1) of |Z|; 0 where unknown
  double sigma_phase_rad = 0.0;      // of the phase; 0 where unknown
  bool doubtful = false;             // the divider measured it poorly: left out of the fit
  // No calibration entry was taken at its frequency: its uncertainty
  // leaves out the set-up's systematic errors.
  bool uncalibrated = false;
};

struct tdriver_curve {
  std::vector<tdriver_point> points;  // rising in frequency; empty when refused
  std::string refusal;                // for the operator; empty when read
  // The RMS voltage across the driver while it was measured, where the
  // curve says (`impedance --input-vrms`); a .zma does not.
  std::optional<double> device_rms_v;
  bool ok() const { return refusal.empty(); }
  // Every point the fit takes has its uncertainty.
  bool weighted() const;
};

tdriver_curve driver_curve_of(const std::vector<tzma_point>& points);

// The points a fit takes: all but the doubtful ones.
std::vector<tdriver_point> fitted_points(const tdriver_curve& curve);

// One point of the analyser's curve: its uncertainties at k = 2 (|Z| in
// ohm, phase in degrees; unknown where not a number above 0) as standard
// uncertainties.
tdriver_point analyser_driver_point(double frequency_hz, std::complex<double> z_ohm, double u_magnitude_ohm,
                                    double u_phase_deg, bool doubtful, bool calibrated);

// The curve of `quarvel-cli impedance --json` (the object with its "rows":
// frequency_hz, z {re, im}, z_uncertainty, phase_uncertainty_deg, both at
// k = 2 or null, doubtful and calibrated; and "device_rms_v", a number
// above 0 or null); anything else is refused whole, the fault named.
tdriver_curve parse_curve_json(std::string_view text);

// The same frequencies, to a millionth, but for one stretch of at most two
// octaves where either curve was measured more finely around its resonance
// (see curve_refinement.h): outside it, where most of each curve lies,
// both hold the same points.
inline constexpr double most_refined_ratio = 4.0;
bool same_grid(const tdriver_curve& a, const tdriver_curve& b);

}  // namespace lcr
