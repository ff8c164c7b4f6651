// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchtop_functions.h"

#include "scpi_parser.h"

#include "engine/core/complex_math.h"

#include <algorithm>
#include <array>
#include <string>

namespace scpi {

namespace {

using lcr::quantity_key;

constexpr lcr::tquantity_choice series(quantity_key key)
{
  return {key, false};
}
constexpr lcr::tquantity_choice parallel(quantity_key key)
{
  return {key, true};
}

// D and Q are the same for both equivalents; the engine's arithmetic takes
// them from the series one. G and B are those of the admittance 1/Z, which
// the engine gives for the series form. The first entry of each mode is
// the one that mode stands for.
constexpr std::array<tbenchtop_function, 25> functions{{
    {"ZTD", {series(quantity_key::Z), series(quantity_key::phi_Z)}, false, 0},
    {"YTD", {series(quantity_key::Y), series(quantity_key::phi_Y)}, false, 1},
    {"RX", {series(quantity_key::R), series(quantity_key::X)}, false, 2},
    {"RPXP", {parallel(quantity_key::R), parallel(quantity_key::X)}, false, 3},
    {"GB", {series(quantity_key::G), series(quantity_key::B)}, false, 4},
    {"GPBP", {parallel(quantity_key::G), parallel(quantity_key::B)}, false, 5},
    {"CSRS", {series(quantity_key::C), series(quantity_key::R)}, false, 6},
    {"CPRP", {parallel(quantity_key::C), parallel(quantity_key::R)}, false, 7},
    {"LSRS", {series(quantity_key::L), series(quantity_key::R)}, false, 8},
    {"LPRP", {parallel(quantity_key::L), parallel(quantity_key::R)}, false, 9},
    {"CSQ", {series(quantity_key::C), series(quantity_key::Q)}, false, 10},
    {"CSD", {series(quantity_key::C), series(quantity_key::D)}, false, 11},
    {"LSQ", {series(quantity_key::L), series(quantity_key::Q)}, false, 12},
    {"LSD", {series(quantity_key::L), series(quantity_key::D)}, false, 13},
    {"ZTR", {series(quantity_key::Z), series(quantity_key::phi_Z)}, true, 0},
    {"YTR", {series(quantity_key::Y), series(quantity_key::phi_Y)}, true, 1},
    {"CPD", {parallel(quantity_key::C), series(quantity_key::D)}, false, 7},
    {"CPQ", {parallel(quantity_key::C), series(quantity_key::Q)}, false, 7},
    {"CPG", {parallel(quantity_key::C), series(quantity_key::G)}, false, 7},
    {"LPD", {parallel(quantity_key::L), series(quantity_key::D)}, false, 9},
    {"LPQ", {parallel(quantity_key::L), series(quantity_key::Q)}, false, 9},
    {"LPG", {parallel(quantity_key::L), series(quantity_key::G)}, false, 9},
    // Names that earlier versions of this meter answered to.
    {"GSBS", {series(quantity_key::G), series(quantity_key::B)}, false, 4},
    {"QC", {series(quantity_key::Q), series(quantity_key::C)}, false, 10},
    {"DL", {series(quantity_key::D), series(quantity_key::L)}, false, 13},
}};

}  // namespace

int function_count()
{
  return static_cast<int>(functions.size());
}

const tbenchtop_function& benchtop_function(int index)
{
  return functions[static_cast<std::size_t>(std::clamp(index, 0, function_count() - 1))];
}

int function_index(std::string_view name)
{
  const std::string word = upper(name);
  for (std::size_t i = 0; i < functions.size(); ++i) {
    if (functions[i].name == word) return static_cast<int>(i);
  }
  return -1;
}

int function_of_mode(int meas_mode)
{
  for (std::size_t i = 0; i < functions.size(); ++i) {
    if (functions[i].window_mode == meas_mode) return static_cast<int>(i);
  }
  return 0;
}

std::string_view function_names()
{
  return "CPD,CPQ,CPG,CPRP,CSD,CSQ,CSRS,LPD,LPQ,LPG,LPRP,LSD,LSQ,LSRS,RX,ZTD,ZTR,GB,YTD,YTR,RPXP,GPBP,GSBS,QC,DL";
}

double function_value(const tbenchtop_function& function, bool second, double engine_value)
{
  return second && function.phase_in_radians ? engine_value * lcr::pi / 180.0 : engine_value;
}

}  // namespace scpi
