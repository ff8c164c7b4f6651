// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser's calibration: entries where they were taken or
// interpolated between close neighbours with their error bound, a file
// that gives back every value exactly, and refusals that name the line and
// keep the calibration in use.
#include "engine/analyser/analyser_calibration.h"
#include "engine/analyser/analyser_calibration_file.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using lcr::tanalyser_entry;
using lcr::tentry_spread;

lcr::tanalyser_calibration example_calibration()
{
  lcr::tanalyser_calibration calibration;
  auto& at_100 = calibration.points[100.0];
  at_100.h_short = {{1.2345678901234567e-5, -3.3e-7}, tentry_spread::known({true, 1e-14, 2e-14, -1e-14}), true};
  at_100.h_direct = {{0.99871234567, 0.00123}, tentry_spread{{}, true}, true};
  at_100.y_open[2] = {{1e-9, 3.1415926535897931e-7}, tentry_spread::known({true, 1e-22, 1e-22, 0.0}), true};
  at_100.z_ref[2] = {{1000.4321, -0.25}, tentry_spread::known({true, 1e-4, 2e-4, 0.0}), true};
  calibration.points[20000.0].z_short[5] = {{0.0123, 4.5e-3}, tentry_spread::known({true, 1e-10, 1e-10, 0.0}), true};
  return calibration;
}

TEST(AnalyserCalibration, APointIsCorrectedOnlyWithEntriesTakenAtItsFrequencyAndReference)
{
  const lcr::tanalyser_calibration calibration = example_calibration();
  const auto at_100 = lcr::analyser_entries(calibration, 2, 100.0);
  EXPECT_TRUE(at_100.calibrated);
  EXPECT_TRUE(at_100.reference_calibrated);
  EXPECT_EQ(at_100.entries.z_ref, (lcr::tcomplex{1000.4321, -0.25}));
  EXPECT_EQ(at_100.entries.h_short, calibration.points.at(100.0).h_short.value);
  EXPECT_TRUE(at_100.spreads.h_direct.unknown);
  EXPECT_EQ(at_100.entries.z_short, (lcr::tcomplex{}));  // not taken: nominal

  // Another reference at 100 Hz: the crosstalk and symmetry hold, its own
  // reference is nominal.
  const auto other_reference = lcr::analyser_entries(calibration, 3, 100.0);
  EXPECT_TRUE(other_reference.calibrated);
  EXPECT_FALSE(other_reference.reference_calibrated);
  EXPECT_EQ(other_reference.entries.z_ref, (lcr::tcomplex{lcr::ref_resistors[3], 0.0}));
  EXPECT_EQ(other_reference.entries.y_open, (lcr::tcomplex{}));

  // Between and beside the calibrated frequencies nothing is borrowed.
  for (const double hz : {99.0, 101.0, 1000.0, 10.0, 21000.0}) {
    const auto between = lcr::analyser_entries(calibration, 2, hz);
    EXPECT_FALSE(between.calibrated) << hz;
    EXPECT_EQ(between.entries.z_ref, (lcr::tcomplex{lcr::ref_resistors[2], 0.0}));
    EXPECT_EQ(between.entries.h_short, (lcr::tcomplex{}));
  }
  EXPECT_FALSE(lcr::analyser_entries(calibration, 2, 20000.0).calibrated);
  EXPECT_TRUE(lcr::analyser_entries(calibration, 5, 20000.0).calibrated);
}

TEST(AnalyserCalibration, BetweenCloseCalibratedFrequenciesEntriesAreInterpolatedWithinTheirWidenedSpread)
{
  // A reference entry bending with f² (curvature 0.01 Ω/Hz²), taken every hertz from 30 to 33 Hz.
  const auto bent = [](double hz) { return lcr::tcomplex{1000.0 + 0.01 * hz * hz, -0.002 * hz * hz}; };
  lcr::tanalyser_calibration calibration;
  for (const double hz : {30.0, 31.0, 32.0, 33.0}) {
    calibration.points[hz].z_ref[2] = {bent(hz), tentry_spread::known({true, 1e-6, 1e-6, 0.0}), true};
  }
  calibration.points[100.0].z_ref[2] = {bent(100.0), tentry_spread::known({true, 1e-6, 1e-6, 0.0}), true};

  for (const double hz : {30.25, 31.5, 32.75}) {
    SCOPED_TRACE(hz);
    const auto between = lcr::analyser_entries(calibration, 2, hz);
    ASSERT_TRUE(between.reference_calibrated);
    const lcr::tcomplex truth = bent(hz);
    const lcr::tratio_spread& spread = between.spreads.z_ref.spread;
    // The line's error, |g''|/2 · (f − a)(b − f), inside k = 2 of the widened spread …
    EXPECT_LE(std::fabs(between.entries.z_ref.re - truth.re), 2.0 * std::sqrt(spread.var_re));
    EXPECT_LE(std::fabs(between.entries.z_ref.im - truth.im), 2.0 * std::sqrt(spread.var_im));
    // … which is not widened beyond three times the error.
    const double error = std::hypot(0.01, 0.002) * (hz - std::floor(hz)) * (std::ceil(hz) - hz);
    EXPECT_LT(2.0 * std::sqrt(spread.var_re - 1e-6), 3.0 * error);
  }
  // Across a gap wider than a sixth of an octave, or without a third point
  // to tell the curvature, nothing is interpolated.
  EXPECT_FALSE(lcr::analyser_entries(calibration, 2, 50.0).calibrated);
  EXPECT_FALSE(lcr::analyser_entries(calibration, 3, 31.5).calibrated);
  calibration.points.erase(32.0);
  calibration.points.erase(33.0);
  EXPECT_FALSE(lcr::analyser_entries(calibration, 2, 30.5).calibrated);
}

TEST(AnalyserCalibration, TheFileGivesBackEveryValueAndSpreadExactly)
{
  const lcr::tanalyser_calibration calibration = example_calibration();
  quarvel_test::temporary_directory directory;
  const std::string path = lcr::analyser_calibration_path(directory.path() + "/Quarvel.cal");
  EXPECT_EQ(path, directory.path() + "/Quarvel.zcal");
  EXPECT_EQ(lcr::analyser_calibration_path("x"), "x.zcal");

  lcr::tanalyser_calibration read;
  EXPECT_TRUE(lcr::load_analyser_calibration(path, read).ok);  // none yet: empty
  EXPECT_TRUE(read.points.empty());
  ASSERT_TRUE(lcr::save_analyser_calibration(path, calibration).ok);
  ASSERT_TRUE(lcr::load_analyser_calibration(path, read).ok);
  EXPECT_EQ(read, calibration);
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"Quarvel.zcal"});
}

TEST(AnalyserCalibration, AFileNotOfTheFormatIsRefusedWholeNamingTheLine)
{
  const std::string head = std::string(lcr::analyser_calibration_version_line) + "\n# comment\n";
  const struct {
    std::string text;
    std::string message;
  } bad[] = {
      {"Quarvel impedance calibration 2\n", "Zeile 1: keine Kalibrierung des Impedanzanalysators (Version 1)"},
      {"", "Zeile 1: keine Kalibrierung des Impedanzanalysators (Version 1)"},
      {head + "z_ref 100 2 1000 0 1e-4 1e-4\n", "Zeile 3: 6 oder 8 Felder erwartet"},
      {head + "z_load 100 2 1000 0 unknown\n", "Zeile 3: unbekannte Tabelle \"z_load\""},
      {head + "z_ref 0 2 1000 0 unknown\n", "Zeile 3: keine positive Frequenz"},
      {head + "z_ref nan 2 1000 0 unknown\n", "Zeile 3: keine positive Frequenz"},
      {head + "z_ref 100 6 1000 0 unknown\n", "Zeile 3: Referenz 0 bis 5 erwartet"},
      {head + "h_short 100 0 0.1 0 unknown\n", "Zeile 3: \"-\" als Referenz erwartet"},
      {head + "z_ref 100 2 1000,5 0 unknown\n", "Zeile 3: kein endlicher Wert"},
      {head + "z_ref 100 2 1000 0 maybe\n", "Zeile 3: \"unknown\" oder drei Streuungen erwartet"},
      {head + "z_ref 100 2 1000 0 -1e-4 1e-4 0\n", "Zeile 3: keine Streuung (Varianzen, Kovarianz)"},
      {head + "z_ref 100 2 1000 0 1e-4 1e-4 2e-4\n", "Zeile 3: keine Streuung (Varianzen, Kovarianz)"},
      {head + "z_ref 100 2 1000 0 unknown\r\nz_ref 100 2 1001 0 unknown\r\n", "Zeile 4: Eintrag doppelt"},
  };
  for (const auto& [text, message] : bad) {
    lcr::tanalyser_calibration calibration = example_calibration();
    const lcr::tfile_result result = lcr::read_analyser_calibration_text(text, calibration);
    EXPECT_FALSE(result.ok) << text;
    EXPECT_EQ(result.message, message) << text;
    EXPECT_EQ(calibration, example_calibration());
  }

  quarvel_test::temporary_directory directory;
  const std::string path = directory.path() + "/Quarvel.zcal";
  std::ofstream(path) << head << "z_ref 100 2 1000 0 unknown\nz_ref 100 2 1000\n";
  lcr::tanalyser_calibration calibration = example_calibration();
  const lcr::tfile_result result = lcr::load_analyser_calibration(path, calibration);
  EXPECT_EQ(result.text(), path + ": Zeile 4: 6 oder 8 Felder erwartet");
  EXPECT_EQ(calibration, example_calibration());
}

}  // namespace
