// SPDX-License-Identifier: GPL-3.0-or-later
#include "parameter_table.h"

#include <algorithm>
#include <cmath>

namespace lcr {

std::vector<tparameter_row> parameter_rows(const tdriver_parameters& p)
{
  std::vector<tparameter_row> rows{
      {"re_ohm", 1.0, "Re", "Ohm", 1.0, p.re_ohm},  {"le_h", 1.0, "Le", "mH", 1e3, p.le_h},
      {"fs_hz", 1.0, "fs", "Hz", 1.0, p.fs_hz},     {"z_max_ohm", 1.0, "|Z(fs)|", "Ohm", 1.0, p.z_max_ohm},
      {"qms", 1.0, "Qms", "", 1.0, p.qms},          {"qes", 1.0, "Qes", "", 1.0, p.qes},
      {"qts", 1.0, "Qts", "", 1.0, p.qts},          {"res_ohm", 1.0, "Res", "Ohm", 1.0, p.res_ohm},
      {"lces_h", 1.0, "Lces", "mH", 1e3, p.lces_h}, {"cmes_f", 1.0, "Cmes", "µF", 1e6, p.cmes_f},
  };
  if (p.r2_ohm) rows.push_back({"r2_ohm", 1.0, "R2 (∥ Le)", "Ohm", 1.0, *p.r2_ohm});
  if (!p.mechanical) return rows;
  const tmechanical_parameters& m = *p.mechanical;
  rows.insert(rows.end(), {{"mms_g", 1e3, "Mms", "g", 1e3, m.mms_kg},
                           {"cms_mm_per_n", 1e3, "Cms", "mm/N", 1e3, m.cms_m_per_n},
                           {"rms_kg_per_s", 1.0, "Rms", "kg/s", 1.0, m.rms_kg_per_s},
                           {"bl_tm", 1.0, "Bl", "T·m", 1.0, m.bl_tm},
                           {"vas_l", 1e3, "Vas", "l", 1e3, m.vas_m3},
                           {"eta0_percent", 100.0, "η0", "%", 100.0, m.eta0},
                           {"spl_db", 1.0, "SPL 1 W/1 m", "dB", 1.0, m.spl_db}});
  return rows;
}

int plus_minus_decimals(double value, double u)
{
  const double leading = std::isfinite(u) && u > 0.0
                             ? std::floor(std::log10(u)) - 1.0
                             : std::floor(std::log10(std::max(std::fabs(value), 1e-300))) - 3.0;
  return static_cast<int>(std::clamp(-leading, 0.0, 9.0));
}

}  // namespace lcr
