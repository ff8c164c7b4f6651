// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration entries' spreads beside the calibration file: kept across
// a restart, bound to the values they were saved with, refused whole when
// the file is not theirs, and unknown (not zero) without it.
#include "engine/corrections/calibration_file.h"
#include "engine/corrections/calibration_spread_file.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"
#include "support/file_text.h"
#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lcr::tcomplex;

class CalibrationSpreadFile : public quarvel_test::fresh_engine {
protected:
  std::string path(const char* name) const { return directory.path() + "/" + name; }

  // A calibration of reference 2 at 1 kHz and of the crosstalk at 100 Hz,
  // with the spreads its steps would have stored.
  static void calibrate()
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration.h_short[0] = {1.5e-5, -2e-6};
    lcr::calibration.z_ref[2][3] = {1003.21, -0.4567};
    lcr::calibration.y_open[2][3] = {2e-9, 9.4e-8};
    lcr::calibration_spreads.h_short[0] = lcr::tentry_spread::known({true, 1e-14, 2e-14, 1e-15});
    lcr::calibration_spreads.z_ref[2][3] = lcr::tentry_spread::known({true, 4e-4, 3e-4, -1e-4});
    lcr::calibration_spreads.y_open[2][3] = lcr::tentry_spread{{}, true};  // stored without one
  }

  static lcr::tcalibration_spreads spreads()
  {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::calibration_spreads;
  }

  quarvel_test::temporary_directory directory;
};

TEST_F(CalibrationSpreadFile, ARestartKeepsEachEntrysSpread)
{
  calibrate();
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  EXPECT_TRUE(quarvel_test::read_file(path("Quarvel.cal.spread")).starts_with("Quarvel calibration spreads 1\n"));
  lcr::reset_calibration_tables();

  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  const lcr::tcalibration_spreads loaded = spreads();
  const lcr::tratio_spread z_ref = loaded.z_ref[2][3].spread;
  ASSERT_TRUE(z_ref.valid);
  EXPECT_FALSE(loaded.z_ref[2][3].unknown);
  // The variances come back, with the file's rounding to eight digits on
  // top: a step of 1e-4 Ω in 1003.21 Ω, 1e-8 Ω in 0.4567 Ω.
  EXPECT_NEAR(z_ref.var_re, 4e-4 + 1e-8 / 12.0, 1e-12);
  EXPECT_NEAR(z_ref.var_im, 3e-4 + 1e-16 / 12.0, 1e-12);
  EXPECT_DOUBLE_EQ(z_ref.cov, -1e-4);
  EXPECT_TRUE(loaded.h_short[0].spread.valid);
  EXPECT_TRUE(loaded.y_open[2][3].unknown);        // kept as unknown
  EXPECT_EQ(loaded.z_ref[2][2], lcr::tentry_spread{});  // nominal: none
  EXPECT_EQ(loaded.h_short[1], lcr::tentry_spread{});
}

TEST_F(CalibrationSpreadFile, WithoutTheFileEveryCalibratedEntryIsUnknown)
{
  calibrate();
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  std::filesystem::remove(path("Quarvel.cal.spread"));
  lcr::reset_calibration_tables();
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  const lcr::tcalibration_spreads loaded = spreads();
  EXPECT_TRUE(loaded.z_ref[2][3].unknown);
  EXPECT_TRUE(loaded.h_short[0].unknown);
  EXPECT_FALSE(loaded.z_ref[2][2].unknown);

  // A reading through those entries says its uncertainty is not known; one
  // through nominal entries only still has one.
  lcr::tmeasurement_snapshot snapshot;
  snapshot.avg_ratio = {0.5, 0.01};
  snapshot.channel1_amplitude = 10000.0;
  snapshot.transform_length = 960;
  snapshot.settled = true;
  snapshot.ratio_spread = {true, 1e-10, 1e-10, 0.0};
  snapshot.tag.ref_index = 2;
  snapshot.tag.freq_index = 3;
  const lcr::tuncertainty through_entries = lcr::reading_uncertainty(snapshot, lcr::quantity_key::Z, false);
  EXPECT_TRUE(std::isnan(through_entries.expanded));
  EXPECT_EQ(through_entries.gap, lcr::tuncertainty_gap::calibration_unknown);
  snapshot.tag.ref_index = 3;
  snapshot.tag.freq_index = 5;
  const lcr::tuncertainty nominal = lcr::reading_uncertainty(snapshot, lcr::quantity_key::Z, false);
  EXPECT_TRUE(std::isfinite(nominal.expanded));
  EXPECT_EQ(nominal.gap, lcr::tuncertainty_gap::none);
}

// A spread travels only with the value it was saved with: an entry edited
// since, or a backup put back, has an unknown one.
TEST_F(CalibrationSpreadFile, ASpreadStaysWithItsValue)
{
  calibrate();
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  const std::string spread_text = quarvel_test::read_file(path("Quarvel.cal.spread"));
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration.z_ref[2][3] = {1003.22, -0.4567};
  }
  lcr::tcalibration_tables tables;
  {
    const std::lock_guard lock(lcr::publication_lock);
    tables = lcr::calibration;
  }
  lcr::tcalibration_spreads read;
  ASSERT_TRUE(lcr::read_calibration_spread_text(spread_text, tables, read).ok);
  EXPECT_TRUE(read.z_ref[2][3].unknown);
  EXPECT_TRUE(read.h_short[0].spread.valid);
}

TEST_F(CalibrationSpreadFile, AFileNotOfTheFormatGivesNothingAndNamesTheLine)
{
  calibrate();
  lcr::tcalibration_tables tables;
  {
    const std::lock_guard lock(lcr::publication_lock);
    tables = lcr::calibration;
  }
  const std::string good = "Quarvel calibration spreads 1\nh_short - 0 1.5000000E-005 -2.0000000E-006 known 1e-14 2e-14 0\n";
  const struct {
    std::string text;
    std::string message;
  } cases[]{
      {"Quarvel calibration spreads 2\n", "Zeile 1: keine Streuungen einer Quarvel-Kalibrierung (Version 1)"},
      {"", "Zeile 1: keine Streuungen einer Quarvel-Kalibrierung (Version 1)"},
      {good + "z_ref 6 3 1 0 unknown\n", "Zeile 3: keine Streuung eines Kalibrierwerts"},       // no reference 6
      {good + "z_ref 2 3 1 0 known -1 1 0\n", "Zeile 3: keine Streuung eines Kalibrierwerts"},  // a negative variance
      {good + "z_ref 2 3 1 0 known 1 1 2\n", "Zeile 3: keine Streuung eines Kalibrierwerts"},   // |cov| beyond both
      {good + "h_short 0 0 1 0 unknown\n", "Zeile 3: keine Streuung eines Kalibrierwerts"},     // a reference where none is
      {good + "# note\n\ny_open 2 3 2e-9 nan known 1 1 0\n", "Zeile 5: keine Streuung eines Kalibrierwerts"},
  };
  for (const auto& c : cases) {
    lcr::tcalibration_spreads read;
    const lcr::tfile_result result = lcr::read_calibration_spread_text(c.text, tables, read);
    EXPECT_FALSE(result.ok) << c.text;
    EXPECT_EQ(result.message, c.message) << c.text;
    EXPECT_EQ(read, lcr::spreads_without_record(tables)) << c.text;
  }
  lcr::tcalibration_spreads read;
  ASSERT_TRUE(lcr::read_calibration_spread_text(good + "\r\n# fine\r\n", tables, read).ok);
  EXPECT_TRUE(read.h_short[0].spread.valid);
}

TEST_F(CalibrationSpreadFile, TheBackupKeepsTheSpreadsBesideIt)
{
  calibrate();
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  ASSERT_TRUE(lcr::cal_save_with_backup(path("Quarvel.cal"), path("Quarvel_bak.cal")).ok);
  EXPECT_EQ(quarvel_test::read_file(path("Quarvel_bak.cal.spread")),
            quarvel_test::read_file(path("Quarvel.cal.spread")));
}

}  // namespace
