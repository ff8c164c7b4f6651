// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loudspeakers as networks (Re, the coil, and Res ∥ Lces ∥ Cmes) and their
// exact curves on the analyser's grid, with or without noise: the truth
// the parameter fit is held against. The network is written in its own
// elements, not in the fit's fs and Qms.

#include "engine/core/complex_math.h"
#include "engine/loudspeaker/driver_curve.h"
#include "engine/signal/analyser_grid.h"

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace quarvel_test {

struct tnetwork_driver {
  double re_ohm = 0.0;
  double le_h = 0.0;
  double res_ohm = 0.0;
  double lces_h = 0.0;
  double cmes_f = 0.0;
  double r2_ohm = std::numeric_limits<double>::infinity();  // across Le

  double fs_hz() const { return 1.0 / (2.0 * std::numbers::pi * std::sqrt(lces_h * cmes_f)); }
  double qms() const { return 2.0 * std::numbers::pi * fs_hz() * cmes_f * res_ohm; }
  double qes() const { return 2.0 * std::numbers::pi * fs_hz() * cmes_f * re_ohm; }
  double qts() const { return 1.0 / (1.0 / qms() + 1.0 / qes()); }

  std::complex<double> impedance(double frequency_hz) const
  {
    const std::complex<double> jw(0.0, 2.0 * std::numbers::pi * frequency_hz);
    const std::complex<double> coil =
        std::isinf(r2_ohm) ? jw * le_h : 1.0 / (1.0 / (jw * le_h) + 1.0 / r2_ohm);
    return re_ohm + coil + 1.0 / (1.0 / res_ohm + 1.0 / (jw * lces_h) + jw * cmes_f);
  }
};

// Re=5.6, Le=0.9m, Res=40, Lces=22m, Cmes=600u: fs 43.8 Hz, Qms 6.6.
inline constexpr tnetwork_driver woofer{5.6, 0.9e-3, 40.0, 22e-3, 600e-6};

inline std::vector<double> grid_hz(double from_hz, double to_hz, int points_per_octave)
{
  const lcr::tanalyser_grid grid = *lcr::analyser_grid({from_hz, to_hz, points_per_octave}).grid;
  std::vector<double> frequencies;
  for (std::size_t k = 0; k < grid.size(); ++k) frequencies.push_back(grid.frequency_hz(k));
  return frequencies;
}

// Every point with a standard uncertainty of `relative` × |Z| along |Z|
// and `relative` rad in phase; with `noise`, each part of Z is off by a
// normal error of that σ.
inline lcr::tdriver_curve model_curve(const tnetwork_driver& driver,
                                      const std::vector<double>& frequencies_hz, double relative = 1e-3,
                                      std::mt19937* noise = nullptr)
{
  lcr::tdriver_curve curve;
  std::normal_distribution<double> normal;
  for (const double f : frequencies_hz) {
    std::complex<double> z = driver.impedance(f);
    const double sigma_ohm = relative * std::abs(z);
    if (noise) z += std::complex<double>(normal(*noise), normal(*noise)) * sigma_ohm;
    curve.points.push_back({f, z, sigma_ohm, relative, false});
  }
  return curve;
}

inline lcr::tdriver_curve woofer_curve()
{
  return model_curve(woofer, grid_hz(10.0, 20000.0, 24));
}

// Bl in T·m gives the mechanical side: Mms = Cmes·Bl², Cms = Lces/Bl².
struct tmechanics {
  double mms_kg = 0.0;
  double cms_m_per_n = 0.0;
  double rms_kg_per_s = 0.0;
};

inline tmechanics mechanics_of(const tnetwork_driver& driver, double bl_tm)
{
  return {driver.cmes_f * bl_tm * bl_tm, driver.lces_h / (bl_tm * bl_tm), bl_tm * bl_tm / driver.res_ohm};
}

// The driver with `mass_kg` on its cone: the mass's capacitance grows.
inline tnetwork_driver with_added_mass(tnetwork_driver driver, double bl_tm, double mass_kg)
{
  const double mms_kg = mechanics_of(driver, bl_tm).mms_kg;
  driver.cmes_f *= (mms_kg + mass_kg) / mms_kg;
  return driver;
}

// The driver in a closed box: the air's compliance Vb/(ρc²Sd²) in series
// with the suspension's, in the network Lces·Vb/(Vas + Vb).
inline tnetwork_driver in_closed_box(tnetwork_driver driver, double vas_m3, double vb_m3)
{
  driver.lces_h *= vb_m3 / (vas_m3 + vb_m3);
  return driver;
}

}  // namespace quarvel_test
