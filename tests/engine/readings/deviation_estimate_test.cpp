// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/deviation_estimate.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
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

  // A measurement of the impedance z (ohm) with the left input's amplitude a1.
  static lcr::tdeviation_inputs impedance_measurement(tcomplex z, tcomplex z_ref, tcomplex y_open, double a1)
  {
    lcr::tdeviation_inputs in = resistor_measurement(1.0, 1.0, 3840);
    in.z_ref = z_ref;
    in.y_open = y_open;
    in.a1 = a1;
    // The ratio the divider and the open correction turn into z.
    const tcomplex c = lcr::c_add({1.0, 0.0}, lcr::c_mul(z_ref, y_open));
    in.h = lcr::c_div(z, lcr::c_add(z_ref, lcr::c_mul(c, z)));
    return in;
  }

  // The largest deviation over a dense grid of noise phasors of full
  // amplitude on both inputs at both ends of the reference's ±2 %,
  // evaluated as the search evaluates each point.
  static double swept_deviation(const lcr::tdeviation_inputs& in, quantity_key key, int steps)
  {
    const double sigma = lcr::search_sigma(in);
    const double nominal =
        lcr::quantity_value(lcr::divider_open_corrected(in.h, in.z_ref, in.y_open), key, false, 1000.0);
    const tcomplex z_open = lcr::c_inv(in.y_open);
    const tcomplex open_ratio = lcr::c_div(z_open, lcr::c_add(in.z_ref, z_open));
    const tcomplex u2 = lcr::c_mul(in.h, {in.a1, 0.0});
    double widest = 0.0;
    for (const double g : {0.98, 1.02}) {
      const tcomplex z_ref{g * in.z_ref.re, 0.0};
      const tcomplex y_open = lcr::c_inv(lcr::divider_z(open_ratio, z_ref));
      for (int i = 0; i < steps; ++i) {
        const double left_angle = 2.0 * lcr::pi * i / steps;
        const tcomplex left{in.a1 + sigma * std::cos(left_angle), sigma * std::sin(left_angle)};
        for (int j = 0; j < steps; ++j) {
          const double right_angle = 2.0 * lcr::pi * j / steps;
          const tcomplex right{u2.re + sigma * std::cos(right_angle), u2.im + sigma * std::sin(right_angle)};
          const tcomplex z = lcr::divider_open_corrected(lcr::c_div(right, left), z_ref, y_open);
          const double value = lcr::quantity_value(z, key, false, 1000.0);
          widest = std::max(widest, std::fabs(lcr::quantity_difference(key, value, nominal)));
        }
      }
    }
    return widest;
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

// Over a spread of parts, references, stray admittances and signal levels
// the closed form of |Z| and its phase is never below the search or any
// point of a dense sweep of the noise, and above the larger of the two
// only by what the sweep's grid misses.
TEST_F(DeviationEstimate, ClosedFormOfZAndPhaseIsTheLargestDeviationAnyNoiseGives)
{
  std::mt19937 generator(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int closed = 0;
  int tried = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const double r_ohm = std::pow(10.0, 1.0 + std::floor(4.0 * unit(generator)));
    const tcomplex z_ref{r_ohm, trial % 3 == 0 ? 0.01 * r_ohm * (unit(generator) - 0.5) : 0.0};
    const tcomplex y_open =
        trial % 2 == 0 ? tcomplex{1e-9 * unit(generator), 1e-7 * unit(generator)} : tcomplex{};
    const double magnitude = r_ohm * std::pow(10.0, 3.0 * unit(generator) - 1.5);
    const double angle = 0.9 * lcr::pi * (unit(generator) - 0.5);
    lcr::tdeviation_inputs in =
        impedance_measurement({magnitude * std::cos(angle), magnitude * std::sin(angle)}, z_ref, y_open,
                              std::pow(10.0, 1.5 + 3.0 * unit(generator)));
    in.avg_count = 1 + trial % 16;
    in.sigma_floor = trial % 4 < 2 ? std::pow(10.0, 2.0 * unit(generator) - 2.0) : 0.0;
    for (const quantity_key key : {quantity_key::Z, quantity_key::phi_Z}) {
      ++tried;
      const std::optional<double> closed_form = lcr::closed_form_deviation(in, key, false);
      if (!closed_form) continue;
      ++closed;
      const double found =
          std::max(lcr::deviation_search(in, key, false).deviation, swept_deviation(in, key, 96));
      EXPECT_GE(*closed_form, found) << "trial " << trial << " key " << static_cast<int>(key);
      EXPECT_LE(*closed_form, found * (1.0 + 1e-3)) << "trial " << trial << " key " << static_cast<int>(key);
    }
  }
  // Ordinary readings are all this spread holds.
  EXPECT_GE(closed, tried * 9 / 10);

  // A reactance of the reference, which the perturbed references drop,
  // turns every phase tried by nearly 90° from the shown one: the noise
  // carries the difference past 90°, the largest there is.
  const lcr::tdeviation_inputs turned = impedance_measurement({700.0, 700.0}, {1000.0, 30000.0}, {}, 300.0);
  EXPECT_EQ(lcr::closed_form_deviation(turned, quantity_key::phi_Z, false).value_or(0.0), 90.0);
}

// Where the noise reaches a guard of the chain (a vanishing input, the
// open), the phase may reach ±90° (whose guard reads 0), or for any other
// quantity or circuit, the search answers alone.
TEST_F(DeviationEstimate, TheSearchAnswersWhereTheClosedFormDoesNotHold)
{
  const auto search_alone = [](const lcr::tdeviation_inputs& in, quantity_key key, bool parallel) {
    EXPECT_FALSE(lcr::closed_form_deviation(in, key, parallel).has_value()) << static_cast<int>(key);
    EXPECT_EQ(lcr::worst_case_deviation(in, key, parallel),
              lcr::deviation_search(in, key, parallel).deviation);
  };
  const tcomplex z_ref{1000.0, 0.0};
  lcr::tdeviation_inputs in = impedance_measurement({300.0, -800.0}, z_ref, {}, 5000.0);
  const std::optional<double> closed_form = lcr::closed_form_deviation(in, quantity_key::Z, false);
  ASSERT_TRUE(closed_form.has_value());
  EXPECT_EQ(lcr::bounded_deviation(in, quantity_key::Z, false), *closed_form);
  search_alone(in, quantity_key::R, false);
  search_alone(in, quantity_key::C, true);
  search_alone(in, quantity_key::Z, true);

  // A lossless capacitor: its magnitude has the closed form, its phase of
  // −90° not.
  in = impedance_measurement({0.0, -800.0}, z_ref, {}, 5000.0);
  EXPECT_TRUE(lcr::closed_form_deviation(in, quantity_key::Z, false).has_value());
  search_alone(in, quantity_key::phi_Z, false);

  in = impedance_measurement({1e7, 0.0}, z_ref, {}, 5000.0);  // an open: its pole lies within the noise
  search_alone(in, quantity_key::Z, false);
  search_alone(in, quantity_key::phi_Z, false);

  in = impedance_measurement({300.0, -800.0}, z_ref, {}, 5000.0);
  in.a1 = 0.9 * lcr::search_sigma(in);
  search_alone(in, quantity_key::Z, false);

  in = impedance_measurement({300.0, -800.0}, z_ref, {}, 5000.0);
  in.n = 0;  // no noise: the reference alone
  search_alone(in, quantity_key::Z, false);
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
