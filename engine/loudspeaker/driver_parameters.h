// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A loudspeaker's small-signal parameters with their uncertainties (k = 2)
// from its free-air curve, and its mechanical ones from a second curve:
// with a mass added to the cone, or in a closed box of known volume.
//
// Free air (driver_fit.h): Re, Le, fs, |Z(fs)|, Qms, Res, Lces, Cmes and
//   Qes = 2π fs Cmes Re = Qms·Re/Res,  Qts = Qms·Qes / (Qms + Qes).
// Added mass m, the resonance falling to fs':
//   Mms = m / ((fs/fs')² − 1),  Cms = 1 / ((2π fs)² Mms).
// Closed box Vb, resonance fc with electrical Q Qec (the box stiffens the
// suspension, the mass stays: fc/fs = Qec/Qes = √(1 + Vas/Vb)):
//   Vas = Vb·(fc·Qec / (fs·Qes) − 1),  Cms = Vas / (ρ c² Sd²),
//   Mms = 1 / ((2π fs)² Cms).
// Then, with Cmes = Mms/Bl² and Qms = 2π fs Mms / Rms:
//   Bl = √(2π fs Mms Re / Qes),  Rms = 2π fs Mms / Qms,
//   Vas = ρ c² Sd² Cms,  η0 = ρ Sd² fs / (c Mms Qes) = (4π²/c³)·fs³·Vas/Qes,
//   SPL = 10·log10(η0 · ρc / (2π p0²)) at 1 W into Re and 1 m, p0 = 20 µPa:
//   the driver radiating into half space (an infinite baffle, as η0 itself
//   assumes), in the same air as Vas. That is the familiar
//   112.1 dB + 10·log10 η0 at ρc = 407 Pa·s/m (1.18 kg/m³, 345 m/s), and
//   0.07 dB more in air of 20 °C.
//
// Air at θ °C and 101.325 kPa: ρ = p / (R_specific·T), c = 331.3 m/s·√(1 +
// θ/273.15).
//
// Every uncertainty carries both fits' covariances and the tolerances of
// the values entered (mass or volume, Sd, Re when given, which is then
// held in both fits) by linearised propagation (propagation.h).
//
// Pure functions; any thread.

#include "drive_level.h"
#include "driver_curve.h"
#include "driver_fit.h"
#include "propagation.h"

#include <optional>
#include <string>

namespace lcr {

struct tair {
  double density_kg_per_m3 = 0.0;
  double sound_speed_m_per_s = 0.0;
};

tair air_at(double temperature_c);

enum class tsecond_method { added_mass, closed_box };

struct tsecond_curve {
  tsecond_method method = tsecond_method::added_mass;
  tdriver_curve curve;
  tentered amount;  // the mass added in kg, or the box's volume in m³
};

struct tdriver_entries {
  std::optional<tentered> re_ohm;  // an ohmmeter's reading of the coil
  std::optional<tentered> sd_m2;   // the cone's area; needed with a second curve
  double temperature_c = 20.0;
};

struct tmechanical_parameters {
  tmeasured mms_kg;
  tmeasured cms_m_per_n;
  tmeasured rms_kg_per_s;
  tmeasured bl_tm;
  tmeasured vas_m3;
  tmeasured eta0;  // a fraction, not per cent
  tmeasured spl_db;
};

struct tdriver_parameters {
  tmeasured re_ohm;
  tmeasured le_h;
  tmeasured fs_hz;
  tmeasured z_max_ohm;  // the model's |Z| at fs
  tmeasured qms;
  tmeasured qes;
  tmeasured qts;
  tmeasured res_ohm;
  tmeasured lces_h;
  tmeasured cmes_f;
  std::optional<tmeasured> r2_ohm;  // the lossy coil's
  std::optional<tmechanical_parameters> mechanical;
};

struct tdriver_report {
  std::string refusal;  // for the operator; empty when measured
  bool ok() const { return refusal.empty(); }
  tdriver_fit free_fit;
  std::optional<tdriver_fit> second_fit;
  tdriver_parameters parameters;
  tair air;
  // The level each curve was measured at, and what it leaves doubtful.
  tdrive_check free_drive;
  std::optional<tdrive_check> second_drive;
};

tdriver_report measure_driver(const tdriver_curve& free_curve, const std::optional<tsecond_curve>& second,
                              const tdriver_entries& entries);

}  // namespace lcr
