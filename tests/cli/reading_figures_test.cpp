// SPDX-License-Identifier: GPL-3.0-or-later
// Every reading's figures hold against the exact impedance of simulated
// networks, counted over a hundred readings or more per case: on the quiet
// ideal set-up, whose only error is the input's rounding, which no scatter
// shows; on a card twenty times noisier than the worst case's converter
// model assumes; for a low-loss capacitor, whose phase lies at the ±90° of
// the two-quadrant angle.

#include "support/coverage_survey.h"
#include "support/fresh_engine.h"

#include "engine/readings/settled_reading.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

using quarvel_test::tcoverage;
using quarvel_test::tcoverage_survey;

class ReadingFigures : public quarvel_test::fresh_engine {
protected:
  void TearDown() override { waveio::reset_stream_state(); }

  static double share_within_uncertainty(const tcoverage& c)
  {
    return static_cast<double>(c.within_uncertainty) / std::max(c.readings - c.unknown_uncertainty, 1);
  }

  static void report(const char* what, const tcoverage& c)
  {
    std::cout << "[ figures  ] " << what << ": " << c.readings << " readings, " << share_within_uncertainty(c) * 100.0
              << " % within u, " << c.within_deviation << " within the deviation\n";
  }
};

// The quiet set-up's readings are off by their rounding alone, the same at
// every repeat, which no scatter shows: about 95 % lie within the
// statistical uncertainty only with the rounding part of it, also at
// "Mittelwert" 1, where
// the noise beside the tone gives it from the first evaluation.
TEST_F(ReadingFigures, TheRoundingOfAQuietInputIsInTheUncertainty)
{
  tcoverage_survey survey({"ideal, quiet", false, 0.0}, 1);
  for (const quarvel_test::tcoverage_way way :
       {quarvel_test::tcoverage_way{"FT 1, Mw 1", false, 1, 1}, quarvel_test::tcoverage_way{"FT 4, Mw 4", false, 4, 4}}) {
    const quarvel_test::tcoverage_result result = survey.measure(way);
    report(way.name, result.magnitude);
    report(way.name, result.phase);
    for (const tcoverage* c : {&result.magnitude, &result.phase}) {
      EXPECT_GE(c->readings, 100);
      EXPECT_EQ(c->unknown_uncertainty, 0) << way.name;
      EXPECT_GE(share_within_uncertainty(*c), 0.88) << way.name;
      EXPECT_EQ(c->within_deviation, c->readings) << way.name;
    }
  }
}

// Noise of 300 sample units, where the worst case's model assumes 32: the
// deviation grows with the measured spread and holds every reading (48 %
// of the phases before), and the uncertainty about 95 %.
TEST_F(ReadingFigures, ADeviationGrowsWithANoisyCardsSpread)
{
  tcoverage_survey survey({"ideal, noise 300", false, 300.0}, 1);
  const quarvel_test::tcoverage_result result = survey.measure({"FT 1, Mw 16", false, 1, 16});
  report("noise 300", result.magnitude);
  report("noise 300", result.phase);
  for (const tcoverage* c : {&result.magnitude, &result.phase}) {
    EXPECT_EQ(c->within_deviation, c->readings);
    EXPECT_GE(share_within_uncertainty(*c), 0.88);
  }
}

// 470 nF with 1 MΩ across: its phase lies a hair from −90°, where a
// resistance read a little below zero turns it into +89.99°. The
// uncertainty is carried modulo 180° and stays a fraction of a degree
// (180° to 510° before), and holds the error taken the same way.
TEST_F(ReadingFigures, ALowLossCapacitorsPhaseUncertaintyStaysFinite)
{
  tcoverage_survey survey({"ideal, noise 30", false, 30.0}, 4);
  std::vector<double> uncertainties;
  const quarvel_test::tcoverage_result result =
      survey.measure({"FT 4, Mw 4", false, 4, 4}, {"C=470n | R=1M"}, [&](const lcr::tquantity_reading& phi) {
        uncertainties.push_back(phi.uncertainty);
      });
  report("470 nF phase", result.phase);
  ASSERT_EQ(uncertainties.size(), 32u);
  for (const double u : uncertainties) EXPECT_LT(u, 0.5);
  EXPECT_EQ(result.phase.within_deviation, result.phase.readings);
  EXPECT_GE(share_within_uncertainty(result.phase), 0.85);
}

}  // namespace
