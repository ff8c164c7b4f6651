// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/deviation_estimate.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using lcr::quantity_key;
using lcr::tcomplex;

class DeviationEstimate : public quarvel_test::fresh_engine {
protected:
  static lcr::tdeviation_inputs resistor_measurement(double r_ohm, double ref_ohm, int n)
  {
    lcr::tdeviation_inputs in;
    in.h = {r_ohm / (ref_ohm + r_ohm), 0.0};
    in.a1 = 10000.0;
    in.n = n;
    in.avg_count = 1;
    in.z_ref = {ref_ohm, 0.0};
    in.frequency_hz = 1000.0;
    return in;
  }
};

TEST_F(DeviationEstimate, NoisePerBin)
{
  EXPECT_NEAR(lcr::noise_sigma(960, 1), 1.03351, 5e-6);
  EXPECT_NEAR(lcr::noise_sigma(3840, 1), 0.51675, 5e-6);
  EXPECT_NEAR(lcr::noise_sigma(3840, 4), 0.51675 / 2.0, 5e-6);
  EXPECT_NEAR(lcr::noise_sigma(960, 0), 1.03351, 5e-6);  // no averaging chosen yet
  EXPECT_EQ(lcr::noise_sigma(0, 16), 0.0);
}

// Without noise only the reference factor counts: 2 % of R, found in the
// first pass, then three quiet passes.
TEST_F(DeviationEstimate, ReferenceAloneGivesTwoPercentOfR)
{
  const lcr::tdeviation_search search =
      lcr::deviation_search(resistor_measurement(470.0, 1000.0, 0), quantity_key::R, false);
  EXPECT_NEAR(search.deviation, 0.02 * 470.0, 470.0 * 1e-12);
  EXPECT_EQ(search.passes, 4);
}

TEST_F(DeviationEstimate, ReactiveReferenceDeviatesEvenWithoutNoise)
{
  // A resistive device, a resistive reference: X stays 0 for every factor.
  lcr::tdeviation_inputs in = resistor_measurement(470.0, 1000.0, 0);
  EXPECT_EQ(lcr::deviation_search(in, quantity_key::X, false).deviation, 0.0);
  // The perturbed reference drops z_ref's imaginary part.
  in.z_ref = {1000.0, 30.0};
  in.h = lcr::c_div({470.0, 0.0}, lcr::c_add(in.z_ref, {470.0, 0.0}));
  EXPECT_GT(lcr::deviation_search(in, quantity_key::X, false).deviation, 1.0);
}

TEST_F(DeviationEstimate, StopsWhenTheDeviationExceedsTheValue)
{
  lcr::tdeviation_inputs in = resistor_measurement(470.0, 1000.0, 960);
  // X is 0 for a resistor: any noise exceeds it, so the first pass ends it.
  const lcr::tdeviation_search search = lcr::deviation_search(in, quantity_key::X, false);
  EXPECT_GT(search.deviation, 0.0);
  EXPECT_EQ(search.passes, 1);
}

TEST_F(DeviationEstimate, NoiseShrinksWithSignalAndAveraging)
{
  lcr::tdeviation_inputs in = resistor_measurement(1000.0, 1000.0, 960);
  in.a1 = 1000.0;
  const double weak = lcr::deviation_search(in, quantity_key::Z, false).deviation;
  in.a1 = 10000.0;
  const double strong = lcr::deviation_search(in, quantity_key::Z, false).deviation;
  in.avg_count = 16;
  in.n = 15360;
  const double averaged = lcr::deviation_search(in, quantity_key::Z, false).deviation;
  EXPECT_GT(weak, strong);
  EXPECT_GT(strong, averaged);
  // Never below the reference's 2 %.
  EXPECT_GE(averaged, 0.02 * 1000.0 * (1.0 - 1e-9));
}

// The result is never negative and never NaN, whatever the inputs.
TEST_F(DeviationEstimate, NeverNegative)
{
  std::mt19937 generator(11);
  std::uniform_real_distribution<double> part(-2.0, 2.0);
  for (int trial = 0; trial < 40; ++trial) {
    lcr::tdeviation_inputs in = resistor_measurement(100.0, 100.0, 960);
    in.h = {part(generator), part(generator)};
    in.a1 = trial % 5 == 0 ? 0.0 : 5000.0 * std::fabs(part(generator));
    in.y_open = {part(generator) * 1e-6, part(generator) * 1e-6};
    for (const quantity_key key : {quantity_key::Z, quantity_key::phi_Z, quantity_key::C, quantity_key::Q}) {
      const double deviation = lcr::deviation_search(in, key, trial % 2 == 0).deviation;
      EXPECT_GE(deviation, 0.0);
      EXPECT_FALSE(std::isnan(deviation));
    }
  }
}

TEST_F(DeviationEstimate, ValueThatCannotBeComputedDeviatesWithoutBound)
{
  // L = X/ω without a guard: at ω = 0 every value is infinite, every
  // difference undefined.
  lcr::tdeviation_inputs in = resistor_measurement(100.0, 100.0, 960);
  in.h = {0.4, 0.2};
  in.frequency_hz = 0.0;
  const lcr::tdeviation_search search = lcr::deviation_search(in, quantity_key::L, false);
  EXPECT_EQ(search.deviation, std::numeric_limits<double>::infinity());
}

TEST_F(DeviationEstimate, SnapshotTakesTheLatestEvaluation)
{
  lcr::reset_engine_state();
  lcr::settings.ref_index = 2;
  lcr::settings.freq_index = 3;
  lcr::settings.avg_count = 4;
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::engine.ratio_corrected = {0.5, 0.0};
    lcr::engine.channel1_amplitude = 8000.0;
    lcr::engine.published_transform_length = 3840;
  }
  const lcr::tdeviation_inputs in = lcr::deviation_snapshot();
  EXPECT_EQ(in.h, (tcomplex{0.5, 0.0}));
  EXPECT_EQ(in.a1, 8000.0);
  EXPECT_EQ(in.n, 3840);
  EXPECT_EQ(in.avg_count, 4);
  EXPECT_EQ(in.z_ref, (tcomplex{1000.0, 0.0}));
  lcr::tlcr_strings record;
  record.quantity = "R";
  const double deviation = lcr::quantity_deviation(record);
  EXPECT_GT(deviation, 20.0);  // at least 2 % of 1000 Ω
  EXPECT_LT(deviation, 25.0);
  // The same search for a ratio and amplitude of the caller's choice.
  EXPECT_EQ(lcr::noise_deviation({0.5, 0.0}, record, 8000.0), deviation);
  EXPECT_GT(lcr::noise_deviation({0.5, 0.0}, record, 800.0), deviation);
}

}  // namespace
