// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/quantities/quantities.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using lcr::tcomplex;
using lcr::tlcr_strings;

class Quantities : public quarvel_test::fresh_engine {
protected:
  static tlcr_strings record(std::string_view key, std::string_view circuit = "")
  {
    tlcr_strings r;
    r.quantity = std::string(key);
    r.circuit = std::string(circuit);
    return r;
  }

  // The two values of a measurement mode for the impedance z.
  static std::pair<double, double> mode_values(int mode, tcomplex z)
  {
    const auto& m = lcr::meas_modes.at(static_cast<std::size_t>(mode));
    return {lcr::quantity_value(z, record(m.first_key, m.first_circuit)),
            lcr::quantity_value(z, record(m.second_key, m.second_circuit))};
  }
};

TEST_F(Quantities, EveryQuantityOfZeroImpedanceIsZero)
{
  for (const char* key : {"Z", "phi_Z", "Y", "phi_Y", "G", "B", "D", "Q", "X", "R", "C", "L"}) {
    for (const char* circuit : {"", "ser", "par"}) {
      EXPECT_EQ(lcr::quantity_value({0.0, 0.0}, record(key, circuit)), 0.0) << key << " " << circuit;
    }
  }
}

TEST_F(Quantities, UnknownOrEmptyKeyIsZero)
{
  EXPECT_EQ(lcr::quantity_value({3.0, 4.0}, record("")), 0.0);
  EXPECT_EQ(lcr::quantity_value({3.0, 4.0}, record("z")), 0.0);  // keys are case-sensitive
  EXPECT_EQ(lcr::quantity_value({3.0, 4.0}, record("Rs")), 0.0);
}

TEST_F(Quantities, ImpedanceAndAdmittanceWithPhase)
{
  const auto [z, phi_z] = mode_values(0, {10.0, 10.0});
  EXPECT_NEAR(z, 14.142, 5e-4);
  EXPECT_NEAR(phi_z, 45.0, 1e-12);
  const auto [y, phi_y] = mode_values(1, {10.0, 10.0});
  EXPECT_NEAR(y, 0.070711, 5e-7);
  EXPECT_NEAR(phi_y, -45.0, 1e-12);
  // Two-quadrant: a negative resistance folds the angle.
  EXPECT_NEAR(mode_values(0, {-1.0, 1.0}).second, -45.0, 1e-12);
}

TEST_F(Quantities, ParallelModesConvertFirst)
{
  const auto [rp, xp] = mode_values(3, {100.0, 0.0});
  EXPECT_EQ(rp, 100.0);
  EXPECT_EQ(xp, 0.0);
  EXPECT_EQ(mode_values(7, {100.0, 0.0}).second, 0.0);  // no capacitance without reactance

  // G and B of the parallel pair are the parts of 1/(Rp + jXp), not 1/Rp.
  const auto [g, b] = mode_values(5, {3.0, 4.0});
  EXPECT_NEAR(g, 0.0768, 1e-12);
  EXPECT_NEAR(b, -0.0576, 1e-12);
  const auto [gs, bs] = mode_values(4, {3.0, 4.0});
  EXPECT_NEAR(gs, 0.12, 1e-12);
  EXPECT_NEAR(bs, -0.16, 1e-12);
}

TEST_F(Quantities, CapacitanceInductanceAndFactors)
{
  lcr::settings.freq_index = 3;  // 1000 Hz
  const auto [rs, cs] = mode_values(6, {0.0, -159.15});
  EXPECT_EQ(rs, 0.0);
  EXPECT_NEAR(cs, 1.0e-6, 1e-9);
  EXPECT_EQ(mode_values(10, {0.0, -159.15}).first, 0.0);  // Q of R = 0 is 0, not infinite

  // Signs: C positive for capacitive and negative for inductive devices.
  const tcomplex inductive{2.0, 2.0 * lcr::pi * 1000.0 * 0.01};  // 10 mH with 2 Ω
  const auto [q, l] = mode_values(12, inductive);
  EXPECT_NEAR(l, 0.01, 1e-15);
  EXPECT_NEAR(q, 31.4159265, 1e-6);
  EXPECT_LT(mode_values(10, inductive).second, 0.0);
  EXPECT_NEAR(mode_values(13, inductive).first, 1.0 / 31.4159265, 1e-9);
  EXPECT_EQ(mode_values(13, {5.0, 0.0}).first, 0.0);  // D of X = 0 is 0

  // The frequency is the nominal one of the current index.
  lcr::settings.freq_index = 0;  // 100 Hz
  EXPECT_NEAR(mode_values(8, inductive).second, 0.1, 1e-14);
}

TEST_F(Quantities, ModeTableCaptionsAndLookup)
{
  ASSERT_EQ(lcr::meas_mode_count, 14);
  EXPECT_EQ(lcr::meas_modes[0].caption, "Z/phi");
  EXPECT_EQ(lcr::meas_modes[13].caption, "D/L");
  EXPECT_EQ(lcr::find_meas_mode("Rs/Cs"), 6);
  EXPECT_EQ(lcr::find_meas_mode("Rp/Lp"), 9);
  EXPECT_EQ(lcr::find_meas_mode("rs/cs"), -1);
  for (int mode = 0; mode < lcr::meas_mode_count; ++mode) {
    const auto& m = lcr::meas_modes[static_cast<std::size_t>(mode)];
    EXPECT_NE(lcr::parse_quantity_key(m.first_key), lcr::quantity_key::none) << mode;
    EXPECT_NE(lcr::parse_quantity_key(m.second_key), lcr::quantity_key::none) << mode;
    EXPECT_EQ(m.first_circuit, m.second_circuit) << mode;
  }
}

}  // namespace

namespace {

// Impedances from the smallest to the largest double: no quantity that a
// mode shows is ever NaN and no text reads "nan" or "inf"; the exact values
// that the scaling must still find are checked, and ordinary values are
// untouched by it.
TEST_F(Quantities, ExtremeImpedancesGiveNumbersAndRangeLimits)
{
  constexpr double huge = 1.7976931348623157e308;
  const tcomplex extremes[] = {{1e155, 0.0},   {huge, huge},   {-huge, 1e-300}, {1e-300, -huge},
                               {1e-160, 0.0},  {0.0, 1e-200},  {4.9e-324, 0.0}, {1.4e154, 1.4e154}};
  for (const tcomplex z : extremes) {
    for (const lcr::tmeas_mode& mode : lcr::meas_modes) {
      for (tlcr_strings shown : {record(mode.first_key, mode.first_circuit), record(mode.second_key, mode.second_circuit)}) {
        const double value = lcr::quantity_value(z, shown);
        EXPECT_FALSE(std::isnan(value)) << mode.caption << " " << shown.quantity << " of (" << z.re << ", " << z.im << ")";
        lcr::format_quantity(1, shown, value);
        const std::string text = shown.value_text + shown.unit_text;
        EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
      }
    }
  }
  EXPECT_EQ(lcr::quantity_value({1e155, 0.0}, record("Z")), 1e155);
  EXPECT_EQ(lcr::quantity_value({1e155, 0.0}, record("R", "par")), 1e155);
  EXPECT_NEAR(lcr::quantity_value({1e155, 0.0}, record("G", "par")), 1e-155, 1e-170);
  EXPECT_NEAR(lcr::quantity_value({3e200, 4e200}, record("Z")), 5e200, 1e186);
  EXPECT_NEAR(lcr::quantity_value({1e-160, 0.0}, record("Y")), 1e160, 1e146);
  for (const tcomplex z : {tcomplex{3.0, 4.0}, tcomplex{1e-3, -159.15}, tcomplex{4.7e6, 1e-9}}) {
    EXPECT_EQ(lcr::quantity_value(z, record("Z")), std::sqrt(z.re * z.re + z.im * z.im));
    EXPECT_EQ(lcr::quantity_value(z, record("R", "par")), (z.re * z.re + z.im * z.im) / z.re);
  }

  tlcr_strings not_a_number = record("Q");
  lcr::format_quantity(1, not_a_number, std::nan(""));
  EXPECT_EQ(not_a_number.value_text, "> 1");
}

}  // namespace
