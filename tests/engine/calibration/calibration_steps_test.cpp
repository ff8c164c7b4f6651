// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/calibration/calibration_steps.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lcr::tcomplex;
using lcr::tcal_step_result;

double distance(tcomplex a, tcomplex b)
{
  return std::hypot(a.re - b.re, a.im - b.im);
}

// The calibration steps take the latest evaluation; these tests publish an
// evaluation of an exactly known circuit through the correction chain.
class CalibrationSteps : public quarvel_test::fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    lcr::reset_engine_state();
    lcr::reset_cal_capture();
  }

  // Publishes what a settled evaluation of the raw ratio h computes at the
  // current reference and frequency.
  static lcr::tcorrection_chain publish_evaluation(tcomplex h)
  {
    const lcr::tcal_entries entries =
        lcr::calibration_entries(lcr::settings.ref_index.load(), lcr::settings.freq_index.load());
    const lcr::tcorrection_chain chain = lcr::run_correction_chain(h, entries);
    const std::lock_guard lock(lcr::publication_lock);
    lcr::engine.avg_ratio = h;
    lcr::engine.ratio_xtalk = chain.ratio_xtalk;
    lcr::engine.ratio_corrected = chain.ratio_corrected;
    lcr::engine.z_raw = chain.z_raw;
    lcr::engine.y_raw = chain.y_raw;
    lcr::engine.z_open_corrected = chain.z_open_corrected;
    lcr::engine.tag = lcr::current_measure_tag();
    lcr::engine.settled = true;
    return chain;
  }

  static lcr::tcalibration_tables tables()
  {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::calibration;
  }

  // The divider of a true reference impedance and a device path made of a
  // stray admittance across (residual + device).
  struct tcircuit {
    tcomplex z_ref{1000.0, 0.0};
    tcomplex y_stray{0.0, 0.0};
    tcomplex z_residual{0.0, 0.0};

    tcomplex path(tcomplex z_device) const
    {
      return lcr::c_inv(lcr::c_add(y_stray, lcr::c_inv(lcr::c_add(z_residual, z_device))));
    }
    tcomplex ratio(tcomplex z_device) const
    {
      const tcomplex z = path(z_device);
      return lcr::c_div(z, lcr::c_add(z_ref, z));
    }
    tcomplex open_ratio() const
    {
      const tcomplex z = lcr::c_inv(y_stray);
      return lcr::c_div(z, lcr::c_add(z_ref, z));
    }
  };
};

TEST_F(CalibrationSteps, CrosstalkAndSymmetryStoreTheRawRatio)
{
  lcr::settings.freq_index = 5;
  const tcomplex leak{2e-5, -1e-5};
  publish_evaluation(leak);
  lcr::cal_store_crosstalk();
  EXPECT_EQ(tables().h_short[5], leak);
  // Measuring the same shorted set-up again: nothing at all.
  const lcr::tcorrection_chain again = publish_evaluation(leak);
  EXPECT_EQ(again.ratio_xtalk, (tcomplex{0.0, 0.0}));

  const tcomplex mismatch{0.99, -0.0087};
  publish_evaluation(mismatch);
  lcr::cal_store_symmetry();
  EXPECT_EQ(tables().h_direct[5], mismatch);
  // The same reference-shorted set-up again: both channels alike, an
  // infinite impedance, which the divider's guard gives as 0.
  const lcr::tcorrection_chain direct = publish_evaluation(mismatch);
  EXPECT_NEAR(direct.ratio_corrected.re, 1.0, 1e-15);
  EXPECT_NEAR(direct.ratio_corrected.im, 0.0, 1e-15);
}

TEST_F(CalibrationSteps, EveryStepRefusesAReadingThatIsNotOfThePresentSettings)
{
  lcr::settings.freq_index = 2;
  lcr::settings.ref_index = 1;
  const lcr::tcalibration_tables before = tables();
  const auto refused_by_every_step = [&](const char* what) {
    for (int mode = 0; mode <= 4; ++mode) {
      EXPECT_EQ(lcr::cal_store_step(static_cast<lcr::tcal_mode>(mode)), tcal_step_result::not_settled)
          << what << ", mode " << mode;
    }
    EXPECT_EQ(tables().h_short, before.h_short) << what;
    EXPECT_EQ(tables().y_open, before.y_open) << what;
    EXPECT_EQ(tables().z_short, before.z_short) << what;
    EXPECT_EQ(tables().z_ref, before.z_ref) << what;
  };

  publish_evaluation({0.25, -0.1});
  lcr::engine.settled = false;
  refused_by_every_step("a reading still settling");

  publish_evaluation({0.25, -0.1});
  lcr::settings.freq_index = 3;  // changed after the reading was made
  refused_by_every_step("a reading of another frequency");

  lcr::settings.freq_index = 2;
  publish_evaluation({0.25, -0.1});
  lcr::request_settling();  // the operator rewired the adapter
  refused_by_every_step("a reading from before the set-up changed");

  publish_evaluation({0.25, -0.1});
  EXPECT_EQ(lcr::cal_store_crosstalk(), tcal_step_result::stored);
  EXPECT_EQ(tables().h_short[2], (tcomplex{0.25, -0.1}));
}

TEST_F(CalibrationSteps, OpenThenShortCancelBothTerminations)
{
  lcr::settings.ref_index = 2;
  lcr::settings.freq_index = 7;
  tcircuit circuit;
  circuit.y_stray = {1e-6, 2.0 * lcr::pi * 20000.0 * 15e-12};
  circuit.z_residual = {0.03, 2.0 * lcr::pi * 20000.0 * 20e-9};
  publish_evaluation(circuit.open_ratio());
  lcr::cal_store_open();
  publish_evaluation(circuit.ratio({0.0, 0.0}));
  lcr::cal_store_short();
  const lcr::tcalibration_tables stored = tables();
  EXPECT_LT(distance(stored.y_open[2][7], circuit.y_stray), 1e-12);
  EXPECT_LT(distance(stored.z_short[2][7], circuit.z_residual), 1e-9);

  // A short measures zero; an open gives Y0 − y_open = 0, so Z1 = (0, 0)
  // through the guard and Z = −z_short.
  EXPECT_LT(lcr::c_abs(publish_evaluation(circuit.ratio({0.0, 0.0})).z), 1e-9);
  const lcr::tcorrection_chain open = publish_evaluation(circuit.open_ratio());
  EXPECT_EQ(open.z_open_corrected, (tcomplex{0.0, 0.0}));
  EXPECT_EQ(open.z, (lcr::c_sub({0.0, 0.0}, stored.z_short[2][7])));
  // A real device in between reads right.
  const lcr::tcorrection_chain device = publish_evaluation(circuit.ratio({470.0, -120.0}));
  EXPECT_LT(distance(device.z, {470.0, -120.0}), 470.0 * 1e-9);
}

// Modes 2, 3 and 4 with a reference that is 1 % off and reactive: the
// reference step finds its true impedance.
TEST_F(CalibrationSteps, ReferenceStepFindsTheTrueReference)
{
  lcr::settings.ref_index = 3;
  lcr::settings.freq_index = 6;
  const double omega = 2.0 * lcr::pi * 10000.0;
  tcircuit circuit;
  circuit.z_ref = lcr::c_add(lcr::c_inv({1.0 / 10100.0, omega * 3e-12}), {0.0, omega * 20e-9});
  circuit.y_stray = {0.0, omega * 15e-12};
  circuit.z_residual = {0.03, omega * 20e-9};
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::cal_capture.known_rp = 10000.0;
    lcr::cal_capture.known_cp = 200.0;  // fF
  }
  publish_evaluation(circuit.open_ratio());
  EXPECT_EQ(lcr::cal_store_open(), tcal_step_result::stored);
  publish_evaluation(circuit.ratio({0.0, 0.0}));
  EXPECT_EQ(lcr::cal_store_short(), tcal_step_result::stored);
  const tcomplex known = lcr::known_impedance(10000.0, 200.0, 10000.0);
  publish_evaluation(circuit.ratio(known));
  EXPECT_EQ(lcr::cal_store_reference(), tcal_step_result::stored);
  // The short was measured against the nominal reference, 1 % off; the step
  // solves for the reference and carries the short over to it.
  const lcr::tcalibration_tables stored = tables();
  EXPECT_LT(distance(stored.z_ref[3][6], circuit.z_ref), lcr::c_abs(circuit.z_ref) * 1e-9);
  EXPECT_LT(distance(stored.y_open[3][6], circuit.y_stray), lcr::c_abs(circuit.y_stray) * 1e-6);
  EXPECT_LT(distance(stored.z_short[3][6], circuit.z_residual), lcr::c_abs(circuit.z_residual) * 1e-6);

  // Now any device reads its true impedance, and so do the terminations.
  const lcr::tcorrection_chain device = publish_evaluation(circuit.ratio({2200.0, -900.0}));
  EXPECT_LT(distance(device.z, {2200.0, -900.0}), 2200.0 * 1e-9);
  EXPECT_LT(lcr::c_abs(publish_evaluation(circuit.ratio({0.0, 0.0})).z), 1e-9);
  EXPECT_LT(distance(publish_evaluation(circuit.ratio(known)).z, known), lcr::c_abs(known) * 1e-9);
}

TEST_F(CalibrationSteps, ReferenceStepRefusesWhatCannotBeComputed)
{
  lcr::settings.ref_index = 1;
  lcr::settings.freq_index = 2;
  const lcr::tcalibration_tables before = tables();
  // No open step in this run at this frequency.
  publish_evaluation({0.5, 0.01});
  EXPECT_EQ(lcr::cal_store_reference(), tcal_step_result::no_open_ratio);
  // The open ratio exactly 1: a zero divisor.
  publish_evaluation({1.0, 0.0});
  lcr::cal_store_open();
  publish_evaluation({0.5, 0.01});
  EXPECT_EQ(lcr::cal_store_reference(), tcal_step_result::degenerate);
  // A known resistor indistinguishable from open.
  publish_evaluation({0.9, 0.01});
  lcr::cal_store_open();
  const tcomplex y_open_after_open = tables().y_open[1][2];
  publish_evaluation({0.9, 0.01});
  EXPECT_EQ(lcr::cal_store_reference(), tcal_step_result::degenerate);
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::cal_capture.known_rp = 0.0;
  }
  EXPECT_EQ(lcr::cal_store_reference(), tcal_step_result::bad_known_resistor);
  const lcr::tcalibration_tables after = tables();
  EXPECT_EQ(after.z_ref, before.z_ref);
  EXPECT_EQ(after.y_open[1][2], y_open_after_open);
  for (const lcr::tfreq_row& row : after.z_ref) {
    for (const tcomplex value : row) EXPECT_TRUE(std::isfinite(value.re) && std::isfinite(value.im));
  }
}

TEST_F(CalibrationSteps, ReferenceSolutionReadsTheKnownImpedanceAndTheShort)
{
  const tcomplex a{0.48, -0.02};
  const tcomplex b{0.97, 0.01};
  const tcomplex zk{1000.5, 3.0};
  tcomplex z_ref;
  tcomplex z_short;
  // Without a short: zk·(1/a − 1/b).
  ASSERT_TRUE(lcr::reference_from_ratios(a, b, zk, {0.0, 0.0}, {1000.0, 0.0}, z_ref, z_short));
  const tcomplex u = lcr::c_sub(lcr::c_inv(a), lcr::c_inv(b));
  EXPECT_LT(distance(z_ref, lcr::c_mul(zk, u)), lcr::c_abs(z_ref) * 1e-12);
  EXPECT_EQ(z_short, (tcomplex{0.0, 0.0}));

  // With a short measured against the old reference: the corrected reading
  // of the known ratio, Z1 − z_short with Z1 = z_ref / u, is zk again, and
  // the short scales with the reference.
  const tcomplex short_old{0.03, 0.002};
  const tcomplex ref_old{990.0, 0.0};
  ASSERT_TRUE(lcr::reference_from_ratios(a, b, zk, short_old, ref_old, z_ref, z_short));
  EXPECT_LT(distance(lcr::c_sub(lcr::c_div(z_ref, u), z_short), zk), lcr::c_abs(zk) * 1e-12);
  EXPECT_LT(distance(lcr::c_div(z_short, z_ref), lcr::c_div(short_old, ref_old)), 1e-15);

  // Known and open ratios alike leave nothing to solve.
  EXPECT_FALSE(lcr::reference_from_ratios(b, b, zk, short_old, ref_old, z_ref, z_short));
}

TEST_F(CalibrationSteps, KnownResistorWithAndWithoutCapacitance)
{
  EXPECT_EQ(lcr::known_impedance(1000.0, 0.0, 1000.0), (tcomplex{1000.0, 0.0}));
  const tcomplex with_capacitance = lcr::known_impedance(1e6, 3000.0, 20000.0);
  const tcomplex expected = lcr::c_inv({1e-6, 2.0 * lcr::pi * 20000.0 * 3e-12});
  EXPECT_LT(distance(with_capacitance, expected), 1e-6);
}

}  // namespace
