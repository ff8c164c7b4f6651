// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/corrections/corrections.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace {

using lcr::tcomplex;
using quarvel_test::relative_error;

class Corrections : public quarvel_test::fresh_engine {};

double relative_distance(tcomplex a, tcomplex b)
{
  return std::hypot(a.re - b.re, a.im - b.im) / std::max(lcr::c_abs(b), 1e-300);
}

TEST_F(Corrections, NominalTablesGiveThePlainDividerFormula)
{
  const tcomplex h{0.3, -0.1};
  for (int r = 0; r < lcr::ref_count; ++r) {
    const lcr::tcorrection_chain chain = lcr::run_correction_chain(h, lcr::calibration_entries(r, 5));
    const double ohm = lcr::ref_resistors[static_cast<std::size_t>(r)];
    const std::complex<double> ratio(h.re, h.im);
    const std::complex<double> expected = ohm * ratio / (1.0 - ratio);
    EXPECT_LT(relative_distance(chain.z, {expected.real(), expected.imag()}), 1e-14) << "r = " << r;
    EXPECT_EQ(chain.ratio_corrected, h);
  }
  // A pure resistor equal to the reference halves the voltage; the open
  // step's two reciprocals may leave the last bit.
  const tcomplex equal_to_reference = lcr::run_correction_chain({0.5, 0.0}, lcr::calibration_entries(2, 3)).z;
  EXPECT_NEAR(equal_to_reference.re, 1000.0, 1000.0 * 1e-15);
  EXPECT_EQ(equal_to_reference.im, 0.0);
}

TEST_F(Corrections, GuardsOfTheChain)
{
  lcr::tcal_entries entries = lcr::calibration_entries(0, 0);
  entries.z_short = {0.25, 0.5};
  // A ratio of exactly 1 is a device of zero impedance before open/short.
  lcr::tcorrection_chain chain = lcr::run_correction_chain({1.0, 0.0}, entries);
  EXPECT_EQ(chain.z_raw, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.y_raw, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.z_open_corrected, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.z, (tcomplex{-0.25, -0.5}));

  // An open measurement equal to the stored open admittance: Z1 = (0, 0).
  const tcomplex h{0.9, 0.05};
  entries.y_open = lcr::c_inv(lcr::divider_z(h, entries.z_ref));
  chain = lcr::run_correction_chain(h, entries);
  EXPECT_EQ(chain.z_open_corrected, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.z, (tcomplex{-0.25, -0.5}));
}

// A ratio of exactly 0 (the right input sees nothing: a dead short) stays a
// short after the open correction, instead of reading −1/y_open.
TEST_F(Corrections, DeadShortStaysAShort)
{
  lcr::tcal_entries entries = lcr::calibration_entries(2, 3);
  entries.y_open = {1e-9, 2e-8};
  entries.z_short = {0.02, 0.001};
  const lcr::tcorrection_chain chain = lcr::run_correction_chain({0.0, 0.0}, entries);
  EXPECT_EQ(chain.z_raw, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.z_open_corrected, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(chain.z, (tcomplex{-0.02, -0.001}));
  // The smallest non-zero ratio is an ordinary tiny impedance.
  const lcr::tcorrection_chain tiny = lcr::run_correction_chain({1e-12, 0.0}, entries);
  EXPECT_NEAR(tiny.z_open_corrected.re, 1e-9, 1e-15);
}

// A card whose right input is 1 % low, 0.5° late and picks up −80 dB of
// the left: crosstalk and symmetry, calibrated at H = 0 and H = 1, give
// back every true ratio, reactive ones too.
TEST_F(Corrections, CrosstalkAndSymmetryInvertALeakyMismatchedChannelExactly)
{
  const std::complex<double> mismatch = std::polar(0.99, -0.5 * lcr::pi / 180.0);
  const std::complex<double> leak{1e-4, -3e-5};
  const auto recorded = [&](std::complex<double> h) {
    const std::complex<double> m = mismatch * h + leak;
    return tcomplex{m.real(), m.imag()};
  };
  const tcomplex h_short = recorded(0.0);
  const tcomplex h_direct = recorded(1.0);
  for (const std::complex<double> h : {std::complex<double>(0.5, 0.0), std::polar(0.5, -0.8), std::polar(0.9, 1.2),
                                       std::complex<double>(0.02, -0.01)}) {
    const tcomplex corrected = lcr::symmetry_correct(lcr::crosstalk_correct(recorded(h), h_short), h_direct, h_short);
    EXPECT_NEAR(corrected.re, h.real(), 1e-15) << h;
    EXPECT_NEAR(corrected.im, h.imag(), 1e-15) << h;
  }
}

TEST_F(Corrections, SymmetryCorrectionOnlyForPositiveRealPart)
{
  const tcomplex h1{0.4, 0.2};
  EXPECT_EQ(lcr::symmetry_correct(h1, {0.0, 0.0}, {}), h1);
  EXPECT_EQ(lcr::symmetry_correct(h1, {0.0, 1.0}, {}), h1);
  EXPECT_EQ(lcr::symmetry_correct(h1, {-0.99, 0.0}, {}), h1);
  const tcomplex corrected = lcr::symmetry_correct(h1, {0.5, 0.0}, {});
  EXPECT_DOUBLE_EQ(corrected.re, 0.8);
  EXPECT_DOUBLE_EQ(corrected.im, 0.4);
  EXPECT_EQ(lcr::crosstalk_correct({0.3, 0.1}, {0.0, 0.0}), (tcomplex{0.3, 0.1}));
}

TEST_F(Corrections, EntriesComeFromTheirRowAndColumn)
{
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration.h_short[6] = {1.0, 2.0};
    lcr::calibration.h_direct[6] = {3.0, 4.0};
    lcr::calibration.y_open[4][6] = {5.0, 6.0};
    lcr::calibration.z_short[4][6] = {7.0, 8.0};
    lcr::calibration.z_ref[4][6] = {9.0, 10.0};
  }
  const lcr::tcal_entries entries = lcr::calibration_entries(4, 6);
  EXPECT_EQ(entries.h_short, (tcomplex{1.0, 2.0}));
  EXPECT_EQ(entries.h_direct, (tcomplex{3.0, 4.0}));
  EXPECT_EQ(entries.y_open, (tcomplex{5.0, 6.0}));
  EXPECT_EQ(entries.z_short, (tcomplex{7.0, 8.0}));
  EXPECT_EQ(entries.z_ref, (tcomplex{9.0, 10.0}));
  EXPECT_EQ(lcr::calibration_entries(4, 5).z_ref, (tcomplex{100000.0, 0.0}));

  lcr::cal_reset_reference();
  EXPECT_EQ(lcr::calibration_entries(4, 6).z_ref, (tcomplex{100000.0, 0.0}));
  EXPECT_EQ(lcr::calibration_entries(4, 6).z_short, (tcomplex{7.0, 8.0}));  // only z_ref resets
}

// A table switched off gives way to its nominal entries and comes back
// unchanged; a reset switches every table on again.
TEST_F(Corrections, ATableSwitchedOffIsKeptAndComesBack)
{
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration.y_open[2][3] = {1e-9, 2e-9};
    lcr::calibration.z_short[2][3] = {0.1, 0.2};
    lcr::calibration.z_ref[2][3] = {1001.0, -3.0};
    lcr::calibration_spreads.z_ref[2][3] = lcr::tentry_spread::known({true, 1e-6, 1e-6, 0.0});
    lcr::correction_states = {false, true, false};
  }
  lcr::tcal_entries entries = lcr::calibration_entries(2, 3);
  EXPECT_EQ(entries.y_open, (tcomplex{}));
  EXPECT_EQ(entries.z_short, (tcomplex{0.1, 0.2}));
  EXPECT_EQ(entries.z_ref, (tcomplex{1000.0, 0.0}));
  EXPECT_FALSE(lcr::calibration_entry_spreads(2, 3).z_ref.spread.valid);  // the nominal entry carries none
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::correction_states = {true, false, true};
  }
  entries = lcr::calibration_entries(2, 3);
  EXPECT_EQ(entries.y_open, (tcomplex{1e-9, 2e-9}));
  EXPECT_EQ(entries.z_short, (tcomplex{}));
  EXPECT_EQ(entries.z_ref, (tcomplex{1001.0, -3.0}));
  EXPECT_TRUE(lcr::calibration_entry_spreads(2, 3).z_ref.spread.valid);

  lcr::reset_calibration_tables();
  EXPECT_EQ(lcr::correction_states, lcr::tcorrection_states{});
  EXPECT_EQ(lcr::calibration_entries(2, 3).z_ref, (tcomplex{1000.0, 0.0}));
}

// For impedances from 1 mΩ to 100 MΩ of any phase, at every test frequency
// and with every (slightly reactive) reference, the divider formula inverts
// the divider's voltage ratio H = Z / (Zref + Z).
TEST_F(Corrections, DividerInvertsTheVoltageRatio)
{
  std::mt19937_64 generator(42);
  std::uniform_real_distribution<double> decade(-3.0, 8.0);
  std::uniform_real_distribution<double> phase(-lcr::pi / 2.0, lcr::pi / 2.0);
  int checked = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const double magnitude = std::pow(10.0, decade(generator));
    const double angle = phase(generator);
    const tcomplex z{magnitude * std::cos(angle), magnitude * std::sin(angle)};
    for (const int frequency_hz : lcr::test_frequencies) {
      const double omega = 2.0 * lcr::pi * frequency_hz;
      for (const int ref_ohm : lcr::ref_resistors) {
        // 3 pF across and 20 nH in series with the reference resistor.
        const tcomplex resistor_with_capacitance = lcr::c_inv({1.0 / ref_ohm, omega * 3e-12});
        const tcomplex z_ref = lcr::c_add(resistor_with_capacitance, {0.0, omega * 20e-9});
        const tcomplex h = lcr::c_div(z, lcr::c_add(z_ref, z));
        // Where 1 − H vanishes into rounding the ratio no longer carries Z.
        if (lcr::c_abs({1.0 - h.re, -h.im}) < 1e-6) continue;
        const tcomplex back = lcr::divider_z(h, z_ref);
        ASSERT_LT(relative_distance(back, z), 1e-9)
            << "Z = " << z.re << " + j" << z.im << " at " << frequency_hz << " Hz, Rref " << ref_ohm;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 3000 * 8 * 6 * 3 / 4);
  EXPECT_LT(relative_error(lcr::divider_z({0.5, 0.0}, {1000.0, 0.0}).re, 1000.0), 1e-15);
}

}  // namespace
