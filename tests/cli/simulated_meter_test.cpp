// SPDX-License-Identifier: GPL-3.0-or-later
// The whole meter, end to end, on the simulated fixture: the tone through
// the output ring, the virtual divider, the input ring, the engine and the
// correction chain, compared with the exact impedance of the network.

#include "support/simulated_meter.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

using quarvel_test::tsim_reading;

class IdealFixture : public quarvel_test::simulated_meter {
protected:
  // Every network at all eight frequencies, each with the recommended
  // reference; within 0.01 % and 0.01° wherever the divider ratio is
  // between 0.05 and 0.95.
  void expect_exact(const std::vector<std::string>& networks)
  {
    open();
    int checked = 0;
    double worst_magnitude = 0.0;
    double worst_phase = 0.0;
    for (const std::string& network : networks) {
      int r = 2;
      for (int f = 0; f < lcr::freq_count; ++f) {
        const tsim_reading reading = measure_with_recommended(network, f, r);
        if (!reading.ratio_in_range()) continue;
        ++checked;
        worst_magnitude = std::max(worst_magnitude, reading.magnitude_error());
        worst_phase = std::max(worst_phase, reading.phase_error_deg());
        EXPECT_LT(reading.magnitude_error(), 1e-4)
            << network << " at " << lcr::test_frequencies[static_cast<std::size_t>(f)] << " Hz with "
            << lcr::ref_resistors[static_cast<std::size_t>(r)] << " Ohm: read " << reading.z.re << " + j"
            << reading.z.im << ", exact " << reading.exact;
        EXPECT_LT(reading.phase_error_deg(), 0.01)
            << network << " at " << lcr::test_frequencies[static_cast<std::size_t>(f)] << " Hz";
      }
    }
    EXPECT_GT(checked, static_cast<int>(networks.size()) * 4);
    std::cout << "[ figures  ] " << checked << " readings, worst |Z| error " << worst_magnitude * 100.0
              << " %, worst phase error " << worst_phase << " deg\n";
  }
};

TEST_F(IdealFixture, ResistorsFromOneOhmToTenMegohm)
{
  expect_exact({"R=1", "R=10", "R=100", "R=1k", "R=10k", "R=100k", "R=1M", "R=10M"});
}

TEST_F(IdealFixture, CapacitorsFromTenPicofaradToOneMillifarad)
{
  expect_exact({"C=10p", "C=1n", "C=100n", "C=10u", "C=1m"});
}

TEST_F(IdealFixture, InductorsFromOneMicrohenryToTenHenry)
{
  expect_exact({"L=1u", "L=100u", "L=10m", "L=1", "L=10"});
}

TEST_F(IdealFixture, LossyCombinations)
{
  expect_exact({"C=100n + R=2", "C=1u | R=10k", "L=10m + R=5", "(L=1m + R=1) | C=10n", "R=100 | C=1u | L=10m"});
}

TEST_F(IdealFixture, ResistorEqualToTheReferenceReadsTheReference)
{
  open();
  for (int r = 0; r < lcr::ref_count; ++r) {
    const double ohm = lcr::ref_resistors[static_cast<std::size_t>(r)];
    const tsim_reading reading = measure("R=" + std::to_string(static_cast<long>(ohm)), 3, r);
    EXPECT_NEAR(reading.z.re, ohm, ohm * 1e-5) << ohm;
    EXPECT_NEAR(reading.z.im, 0.0, ohm * 1e-5) << ohm;
    EXPECT_EQ(reading.recommended_ohm, ohm < 100.0 ? 10.0 : ohm) << ohm;
  }
}

}  // namespace
