// SPDX-License-Identifier: GPL-3.0-or-later
// Dropouts on the simulated card's virtual clock: each fault a card can
// have, injected at a chosen block while the meter measures a known part.
// No settled reading may be off, the display never shows an evaluation
// that spans the fault, the dropout is counted, and the reading settles
// again afterwards. Settling after a change of tone goes by stream
// position too.

#include "cli/sweep_command.h"
#include "engine/readings/settled_reading.h"
#include "support/simulated_meter.h"

#include <gtest/gtest.h>

#include <complex>
#include <string>

namespace {

using waveio::tfixture_fault;

class Dropouts : public quarvel_test::simulated_meter {
protected:
  void open_on(const std::string& network, int ref_index)
  {
    quarvel_cli::tmeter_options options = precise_options();
    options.ft_factor = 1;
    options.avg_count = 4;
    options.ref_index = ref_index;
    options.sim_dut = network;
    open(options);
  }

  std::complex<double> exact(const std::string& network) const
  {
    const double omega = 2.0 * lcr::pi * lcr::current_frequency_hz();
    return waveio::parse_dut_network(network).impedance(omega).value_ohm();
  }

  struct tobservation {
    int blocks_to_first_settled = -1;
    int settled_readings = 0;
    int settled_after_unsettled = 0;  // times the reading settled again
    int unsettled_after_settled = 0;  // times it stopped counting as settled
    double worst_settled_error = 0.0;  // relative, of readings of the present settings
    double worst_display_error = 0.0;  // relative, once the first settled reading was shown
  };

  // Runs block by block and looks at every evaluation's published results.
  tobservation observe(int blocks, const std::string& network)
  {
    const std::complex<double> z_exact = exact(network);
    const auto error_of = [&](lcr::tcomplex z) { return std::abs(std::complex(z.re, z.im) - z_exact) / std::abs(z_exact); };
    tobservation seen;
    bool was_settled = false;
    for (int block = 1; block <= blocks; ++block) {
      run_blocks(1);
      const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
      const bool settled = lcr::is_current_reading(snapshot);
      if (settled) {
        ++seen.settled_readings;
        if (seen.blocks_to_first_settled < 0) seen.blocks_to_first_settled = block;
        seen.worst_settled_error = std::max(seen.worst_settled_error, error_of(lcr::corrected_chain(snapshot).z));
      }
      if (seen.blocks_to_first_settled >= 0) {
        seen.worst_display_error = std::max(seen.worst_display_error, error_of(snapshot.display_z));
      }
      if (settled && !was_settled && seen.settled_readings > 1) ++seen.settled_after_unsettled;
      if (!settled && was_settled) ++seen.unsettled_after_settled;
      was_settled = settled;
    }
    return seen;
  }

  void run_blocks(int count)
  {
    session->run_until(session->frames_processed() + static_cast<std::int64_t>(count) * waveio::block_frames);
  }
};

TEST_F(Dropouts, EachFaultIsCountedLeftOutAndSettledAfter)
{
  const struct {
    const char* name;
    tfixture_fault fault;
    int length;
  } cases[] = {
      {"an input block lost", tfixture_fault::drop_input_block, 1},
      {"an output block not played", tfixture_fault::skip_output_block, 1},
      {"the clock stalled for 6 blocks", tfixture_fault::stall_clock, 6},
  };
  const std::string network = "C=1u + R=47";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    open_on(network, 1);
    const tobservation start = observe(60, network);
    ASSERT_GT(start.settled_readings, 0);
    const std::int64_t left_out_before = lcr::engine.left_out_count;

    session->fixture().inject_fault(c.fault, session->fixture().blocks_recorded() + 10, c.length);
    const tobservation after = observe(90, network);

    EXPECT_EQ(lcr::measurement_snapshot().dropouts, 1);
    EXPECT_GT(lcr::engine.left_out_count, left_out_before) << "the fault reached no window";
    EXPECT_EQ(after.unsettled_after_settled, 1);
    EXPECT_EQ(after.settled_after_unsettled, 1);
    EXPECT_LT(after.worst_settled_error, 2e-4);
    // The display held the last clean reading through the fault.
    EXPECT_LT(after.worst_display_error, 2e-4);
    session.reset();
    waveio::reset_stream_state();
  }
}

TEST_F(Dropouts, ANewToneCountsOnceEveryAveragedWindowHoldsIt)
{
  const std::string network = "C=1u + R=47";
  open_on(network, 1);
  const tobservation start = observe(60, network);
  ASSERT_GT(start.settled_readings, 0);
  for (const int freq_index : {0, 7, 4}) {
    lcr::settings.freq_index = freq_index;
    const tobservation after = observe(60, network);
    SCOPED_TRACE(lcr::current_frequency_hz());
    EXPECT_LT(after.worst_settled_error, 2e-4);
    // The tone's way through the output lead (10 blocks), the fixture's
    // filter memory (4) and four windows: settled soon after, not late.
    EXPECT_GE(after.blocks_to_first_settled, 14);
    EXPECT_LE(after.blocks_to_first_settled, 24);
  }
  EXPECT_EQ(lcr::measurement_snapshot().dropouts, 0);
}

TEST_F(Dropouts, ASweepThroughRepeatedFaultsHoldsOnlyExactPoints)
{
  const std::string network = "C=1u + R=2";
  open_on(network, 0);
  lcr::tfrequency_sweep sweep(false);
  int tick = 0;
  while (sweep.tick()) {
    // An output block not played or a stalled clock in turn, every 0.7 s
    // of stream: the sweep has to wait for a settled reading between them.
    if (++tick % 7 == 0) {
      const auto fault = tick / 7 % 2 == 0 ? tfixture_fault::skip_output_block : tfixture_fault::stall_clock;
      session->fixture().inject_fault(fault, session->fixture().blocks_recorded() + 2, 3);
    }
    run_blocks(4);
  }
  ASSERT_FALSE(sweep.failed()) << sweep.failure_text();
  ASSERT_EQ(sweep.rows().size(), 8u);
  EXPECT_GE(lcr::measurement_snapshot().dropouts, 5);
  for (const lcr::tsweep_row& row : sweep.rows()) {
    const double omega = 2.0 * lcr::pi * row.frequency_hz;
    const std::complex<double> z_exact = waveio::parse_dut_network(network).impedance(omega).value_ohm();
    EXPECT_LT(std::abs(std::complex(row.z.re, row.z.im) - z_exact), 1e-3 * std::abs(z_exact)) << row.frequency_hz;
  }
}

}  // namespace
