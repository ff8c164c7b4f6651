// SPDX-License-Identifier: GPL-3.0-or-later
// The impedance analyser on the simulated set-up, end to end: a
// loudspeaker's curve against its network's exact impedance, a point
// against the meter's single-tone reading, a dropout, the calibration in
// one pass per step, and the meter's tone after the analyser stops.

#include "cli/calibration_sweep.h"
#include "cli/impedance_command.h"
#include "engine/analyser/analyser_calibration_steps.h"
#include "support/simulated_meter.h"

#include "audio/simulated/dut_network.h"

#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <limits>

namespace {

constexpr const char* woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)";

class ImpedanceAnalyser : public quarvel_test::simulated_meter {
protected:
  void open_on(const std::string& network, int ref_index, bool realistic = false)
  {
    quarvel_cli::tmeter_options options = precise_options();
    options.sim_dut = network;
    options.sim_realistic = realistic;
    options.ref_index = ref_index;
    options.avg_count = 1;
    open(options);
  }

  lcr::tanalyser_grid grid(double from_hz, double to_hz, int density)
  {
    return *lcr::analyser_grid({from_hz, to_hz, density}).grid;
  }

  // The first current curve of `measurement` with `periods` averaged.
  std::vector<lcr::tanalyser_row> curve(lcr::tanalyser_measurement& measurement, int periods = 1)
  {
    lcr::settings.avg_count = periods;
    std::vector<lcr::tanalyser_row> rows;
    const std::string failure = quarvel_cli::run_analyser_curves(
        *session, measurement, calibration, false, std::numeric_limits<std::int64_t>::max(),
        [&](const std::vector<lcr::tanalyser_row>& taken) {
          rows = taken;
          return false;
        });
    EXPECT_EQ(failure, "");
    return rows;
  }

  static std::complex<double> exact(const std::string& network, double frequency_hz)
  {
    return waveio::parse_dut_network(network).impedance(2.0 * lcr::pi * frequency_hz).value_ohm();
  }

  static double phase_error_deg(std::complex<double> z, std::complex<double> truth)
  {
    return std::abs(std::arg(z / truth)) * 180.0 / lcr::pi;
  }

  // The five steps on the simulated set-up, 16 periods each.
  void calibrate(const lcr::tanalyser_grid& points)
  {
    lcr::tanalyser_step_capture capture;
    const lcr::tknown_part known{100.0, 0.0};
    for (const lcr::tcal_mode mode : {lcr::tcal_mode::crosstalk, lcr::tcal_mode::symmetry, lcr::tcal_mode::open,
                                      lcr::tcal_mode::short_circuit, lcr::tcal_mode::reference}) {
      SCOPED_TRACE(lcr::cal_mode_names[static_cast<std::size_t>(mode)]);
      quarvel_cli::place_fixture_for_calibration(mode, session->fixture(), known.rp_ohm, known.cp_ff);
      lcr::tanalyser_measurement measurement(points, 16);
      ASSERT_FALSE(curve(measurement, 16).empty());
      const lcr::tanalyser_step_outcome outcome =
          lcr::analyser_store_step(mode, measurement, calibration, capture, known);
      EXPECT_TRUE(outcome.ok()) << outcome.refusal;
      EXPECT_EQ(outcome.stored, static_cast<int>(points.size()));
    }
  }

  static void expect_corrected(const std::string& network, const std::vector<lcr::tanalyser_row>& rows)
  {
    for (const lcr::tanalyser_row& entry : rows) {
      const std::complex<double> truth = exact(network, entry.row.frequency_hz);
      SCOPED_TRACE(entry.row.frequency_hz);
      EXPECT_TRUE(entry.calibrated);
      if (entry.doubtful) continue;
      EXPECT_LT(std::abs(lcr::c_abs(entry.row.z) / std::abs(truth) - 1.0), 2e-3);
      EXPECT_LE(std::abs(lcr::c_abs(entry.row.z) - std::abs(truth)), entry.row.z_deviation);
      EXPECT_LE(phase_error_deg(std::complex<double>(entry.row.z.re, entry.row.z.im), truth),
                entry.row.phase_deviation);
    }
  }

  lcr::tanalyser_calibration calibration;
};

TEST_F(ImpedanceAnalyser, AWoofersCurveIsExactWhereTheDividerMeasuresWellAndCoveredEverywhere)
{
  open_on(woofer, 0);
  lcr::tanalyser_measurement measurement(grid(10.0, 20000.0, 24), 1);
  const std::int64_t start = session->frames_processed();
  const std::vector<lcr::tanalyser_row> rows = curve(measurement);
  ASSERT_EQ(rows.size(), measurement.grid().size());
  // The output's lead, the fixture's memory of its drive, one period of a
  // second and the blocks it is read in: nothing more.
  EXPECT_LT(session->frames_processed() - start,
            14 * waveio::block_frames + waveio::latency_frames() + lcr::analyser_period_samples);
  int judged = 0;
  for (const lcr::tanalyser_row& entry : rows) {
    const lcr::tsweep_row& row = entry.row;
    const std::complex<double> z(row.z.re, row.z.im);
    const std::complex<double> truth = exact(woofer, row.frequency_hz);
    SCOPED_TRACE(row.frequency_hz);
    EXPECT_LE(std::abs(std::abs(z) - std::abs(truth)), row.z_deviation);
    EXPECT_LE(phase_error_deg(z, truth), row.phase_deviation);
    EXPECT_FALSE(entry.calibrated);
    const double h = std::abs(truth / (truth + 10.0));
    EXPECT_EQ(entry.doubtful, std::min(h, std::abs(1.0 - truth / (truth + 10.0))) < 0.05);
    if (row.frequency_hz < 20.0 || entry.doubtful) continue;
    ++judged;
    EXPECT_LT(std::abs(std::abs(z) / std::abs(truth) - 1.0), 1e-3);
    EXPECT_LT(phase_error_deg(z, truth), 0.1);
  }
  EXPECT_GT(judged, 200);
}

TEST_F(ImpedanceAnalyser, APointAgreesWithTheMetersSingleToneReadingAtTheSameFrequency)
{
  const std::string network = "C=1u + R=47";
  open_on(network, 1);
  const lcr::tmeasurement_snapshot single = settled_snapshot();
  ASSERT_EQ(single.tag.freq_index, 3);
  const lcr::tquantity_reading meter = lcr::quantity_reading(single, lcr::quantity_key::Z, false);
  std::vector<lcr::tanalyser_row> rows;
  {
    lcr::tanalyser_measurement measurement(grid(1000.0, 4000.0, 6), 1);
    rows = curve(measurement);
  }
  ASSERT_FALSE(rows.empty());
  ASSERT_EQ(rows.front().row.frequency_hz, 1000.0);
  const lcr::tsweep_row& point = rows.front().row;
  EXPECT_NEAR(lcr::c_abs(point.z), meter.value, meter.uncertainty + point.z_uncertainty);
  // Once the analyser has stopped, the meter's tone and readings return.
  EXPECT_EQ(lcr::engine.analyser_job, nullptr);
  const lcr::tmeasurement_snapshot after = settled_snapshot();
  EXPECT_NEAR(lcr::c_abs(after.display_z), meter.value, 2.0 * meter.uncertainty);
}

TEST_F(ImpedanceAnalyser, ADropoutStartsAFreshRunAndLeavesNoPeriodSpanningIt)
{
  const std::string network = "R=22";
  open_on(network, 1);
  lcr::tanalyser_measurement measurement(grid(20.0, 2000.0, 6), 4);
  ASSERT_FALSE(curve(measurement, 4).empty());
  EXPECT_EQ(measurement.periods(), 4);
  session->fixture().inject_fault(waveio::tfixture_fault::drop_input_block, session->fixture().blocks_recorded() + 5, 1);
  run_seconds(0.5);
  const std::vector<lcr::tanalyser_row> rows = curve(measurement, 4);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(waveio::dropout_count(), 1);
  // The four periods averaged all lie after the dropout.
  EXPECT_EQ(measurement.periods(), 4);
  for (const lcr::tanalyser_row& entry : rows) {
    EXPECT_NEAR(entry.row.z.re, 22.0, 22.0 * 1e-4) << entry.row.frequency_hz;
  }
}

TEST_F(ImpedanceAnalyser, ACalibrationInOnePassPerStepCorrectsTheRealisticSetUp)
{
  const std::string network = "R=5.6 + L=0.9m";
  open_on(network, 0, true);
  const lcr::tanalyser_grid points = grid(20.0, 20000.0, 6);
  calibrate(points);
  place_device(network);
  lcr::tanalyser_measurement measurement(points, 4);
  expect_corrected(network, curve(measurement, 4));
}

// The level across the device follows the divider: 30 Ω against the 10 Ω
// reference takes 3/4 of the drive, 10 Ω half.
TEST_F(ImpedanceAnalyser, TheLevelAcrossTheDeviceFollowsTheDivider)
{
  open_on("R=10", 0);
  std::array<double, 2> shares{};
  for (const auto& [network, share] : {std::pair{"R=10", &shares[0]}, {"R=30", &shares[1]}}) {
    place_device(network);
    lcr::tanalyser_measurement measurement(grid(100.0, 1000.0, 6), 1);
    EXPECT_EQ(lcr::device_rms_full_scale(measurement), 0.0);  // nothing measured yet
    ASSERT_FALSE(curve(measurement).empty());
    *share = lcr::device_rms_full_scale(measurement);
  }
  EXPECT_GT(shares[0], 0.01);
  EXPECT_LT(shares[1], 1.0);
  EXPECT_NEAR(shares[1] / shares[0], 1.5, 1e-6);
}

// The fine bins between the calibrated ones, corrected with interpolated
// entries, as a closer look at a resonance measures them.
TEST_F(ImpedanceAnalyser, FinePointsBetweenCalibratedBinsAreCorrectedToo)
{
  const std::string network = "R=5.6 + L=0.9m";
  open_on(network, 0, true);
  calibrate(grid(20.0, 60.0, 24));
  place_device(network);
  lcr::tanalyser_measurement measurement(*lcr::dense_analyser_grid(24.0, 44.0, 96).grid, 2);
  const std::vector<lcr::tanalyser_row> rows = curve(measurement, 2);
  EXPECT_EQ(rows.size(), 81u);
  expect_corrected(network, rows);
}

TEST_F(ImpedanceAnalyser, AStepIsRefusedWholeUntilTheCurveIsCurrent)
{
  open_on("R=10", 0);
  lcr::tanalyser_measurement measurement(grid(100.0, 1000.0, 6), 1);
  lcr::tanalyser_step_capture capture;
  const lcr::tanalyser_step_outcome early =
      lcr::analyser_store_step(lcr::tcal_mode::crosstalk, measurement, calibration, capture);
  EXPECT_FALSE(early.ok());
  EXPECT_TRUE(calibration.points.empty());
  ASSERT_FALSE(curve(measurement).empty());
  // The reference step needs the open step's ratios of this run.
  const lcr::tanalyser_step_outcome reference =
      lcr::analyser_store_step(lcr::tcal_mode::reference, measurement, calibration, capture);
  EXPECT_EQ(reference.refusal, lcr::cal_step_result_text(lcr::tcal_step_result::no_open_ratio));
  EXPECT_TRUE(calibration.points.empty());
}

}  // namespace
