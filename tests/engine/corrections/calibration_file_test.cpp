// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/corrections/calibration_file.h"
#include "support/file_text.h"
#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using lcr::tcomplex;

class CalibrationFile : public quarvel_test::fresh_engine {
protected:
  std::string path(const char* name) const { return directory.path() + "/" + name; }

  static std::string read(const std::string& file) { return quarvel_test::read_file(file); }
  static void write(const std::string& file, const std::string& text) { quarvel_test::write_file(file, text); }

  static lcr::tcalibration_tables tables()
  {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::calibration;
  }

  static void set_tables(const lcr::tcalibration_tables& tables)
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration = tables;
  }

  // The tables behind tests/data/golden.cal, computed the same way.
  static lcr::tcalibration_tables golden_tables()
  {
    lcr::tcalibration_tables t;
    for (int f = 0; f < 8; ++f) {
      const auto fi = static_cast<std::size_t>(f);
      t.h_short[fi] = {1e-5 * (f + 1), -2e-6 * f};
      t.h_direct[fi] = {0.99 + 0.001 * f, 0.0005 * f - 0.001};
      for (int r = 0; r < 6; ++r) {
        const auto ri = static_cast<std::size_t>(r);
        t.y_open[ri][fi] = {1e-9 * (r + 1) * (f + 1), 2.5e-8 * (f + 1)};
        t.z_short[ri][fi] = {0.03 + 0.001 * r, 1.2566e-4 * (f + 1)};
        t.z_ref[ri][fi] = {lcr::ref_resistors[ri] * (1 + 0.001 * (f - 3)), -123.456789e-3 * r * (f + 1)};
      }
    }
    return t;
  }

  quarvel_test::temporary_directory directory;
};

TEST_F(CalibrationFile, FieldsAreFifteenCharactersWithThreeDigitExponents)
{
  EXPECT_EQ(lcr::calibration_field(1000.0), " 1.0000000E+003");
  EXPECT_EQ(lcr::calibration_field(-2.5e-7), "-2.5000000E-007");
  EXPECT_EQ(lcr::calibration_field(0.0), " 0.0000000E+000");
  EXPECT_EQ(lcr::calibration_field(123456789.0), " 1.2345679E+008");
  EXPECT_EQ(lcr::calibration_field(1e-300), " 1.0000000E-300");
  EXPECT_EQ(lcr::calibration_field(-1.7976931348623157e308), "-1.7976931E+308");
  EXPECT_EQ(lcr::calibration_field(std::numeric_limits<double>::quiet_NaN()), " 0.0000000E+000");
}

TEST_F(CalibrationFile, WritesTheGoldenFileByteForByte)
{
  set_tables(golden_tables());
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  const std::string written = read(path("Quarvel.cal"));
  const std::string golden = read(QUARVEL_TEST_DATA "/golden.cal");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(written, golden);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 45);
  EXPECT_EQ(written.find(" 1.0000000E-005;  2.0000000E-005; "), 9u);
}

TEST_F(CalibrationFile, ReadsTheGoldenFile)
{
  ASSERT_TRUE(lcr::cal_load(QUARVEL_TEST_DATA "/golden.cal").ok);
  const lcr::tcalibration_tables loaded = tables();
  const lcr::tcalibration_tables expected = golden_tables();
  for (std::size_t f = 0; f < 8; ++f) {
    EXPECT_NEAR(loaded.h_direct[f].re, expected.h_direct[f].re, 1e-15);
    for (std::size_t r = 0; r < 6; ++r) {
      EXPECT_NEAR(loaded.z_ref[r][f].re, expected.z_ref[r][f].re, std::fabs(expected.z_ref[r][f].re) * 5e-8);
      EXPECT_NEAR(loaded.z_ref[r][f].im, expected.z_ref[r][f].im, std::fabs(expected.z_ref[r][f].im) * 5e-8);
      EXPECT_NEAR(loaded.y_open[r][f].im, expected.y_open[r][f].im, std::fabs(expected.y_open[r][f].im) * 5e-8);
    }
  }
}

TEST_F(CalibrationFile, RoundTripKeepsEightSignificantDigits)
{
  std::mt19937_64 generator(5);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-250, 250);
  const auto random_value = [&] { return mantissa(generator) * std::pow(10.0, exponent(generator)); };
  lcr::tcalibration_tables written;
  const auto fill_row = [&](lcr::tfreq_row& row) {
    for (tcomplex& value : row) value = {random_value(), random_value()};
  };
  fill_row(written.h_short);
  fill_row(written.h_direct);
  for (auto* table : {&written.y_open, &written.z_short, &written.z_ref}) {
    for (lcr::tfreq_row& row : *table) fill_row(row);
  }
  set_tables(written);
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  lcr::reset_calibration_tables();
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  const lcr::tcalibration_tables read_back = tables();
  const auto close = [](double a, double b) { return std::fabs(a - b) <= std::fabs(b) * 5e-8; };
  for (std::size_t f = 0; f < 8; ++f) {
    EXPECT_TRUE(close(read_back.h_short[f].im, written.h_short[f].im));
    EXPECT_TRUE(close(read_back.h_direct[f].re, written.h_direct[f].re));
    for (std::size_t r = 0; r < 6; ++r) {
      EXPECT_TRUE(close(read_back.y_open[r][f].re, written.y_open[r][f].re)) << r << " " << f;
      EXPECT_TRUE(close(read_back.z_short[r][f].im, written.z_short[r][f].im)) << r << " " << f;
      EXPECT_TRUE(close(read_back.z_ref[r][f].re, written.z_ref[r][f].re)) << r << " " << f;
      EXPECT_TRUE(close(read_back.z_ref[r][f].im, written.z_ref[r][f].im)) << r << " " << f;
    }
  }
}

// The window's toolkit sets the process locale from the environment; the
// file must not follow it.
TEST_F(CalibrationFile, IndependentOfTheProcessLocale)
{
  struct comma_point : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new comma_point));
  const bool c_locale_german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  set_tables(golden_tables());
  const lcr::tfile_result saved = lcr::cal_save(path("Quarvel.cal"));
  lcr::reset_calibration_tables();
  const lcr::tfile_result loaded = lcr::cal_load(path("Quarvel.cal"));
  std::locale::global(previous);
  std::setlocale(LC_ALL, "C");
  ASSERT_TRUE(saved.ok);
  ASSERT_TRUE(loaded.ok) << loaded.message;
  EXPECT_EQ(read(path("Quarvel.cal")), read(QUARVEL_TEST_DATA "/golden.cal"));
  EXPECT_EQ(tables().z_ref[2][3].re, 1000.0);
  if (!c_locale_german) std::cout << "[ note     ] de_DE.UTF-8 is not installed; only the C++ locale was German\n";
}

TEST_F(CalibrationFile, DataLinesNeedExactlyEightSemicolons)
{
  std::string text = read(QUARVEL_TEST_DATA "/golden.cal");
  const std::string seven = " 5.0E+000; 5.0E+000; 5.0E+000; 5.0E+000; 5.0E+000; 5.0E+000; 5.0E+000\r\n";
  const std::string nine = seven.substr(0, seven.size() - 2) + "; 5.0E+000; 5.0E+000;\r\n";
  // Line 2 (h_short real parts) gets seven, line 5 (h_direct real parts) nine.
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line + "\n");
  lines[1] = seven;
  lines[4] = nine;
  text.clear();
  for (const std::string& line : lines) text += line;
  write(path("Quarvel.cal"), text);
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  const lcr::tcalibration_tables loaded = tables();
  EXPECT_EQ(loaded.h_short[0].re, 0.0);   // unchanged from nominal
  EXPECT_EQ(loaded.h_direct[0].re, 0.0);
  EXPECT_NEAR(loaded.h_short[1].im, -2e-6, 1e-20);  // the next line was still read as its own row
  EXPECT_NEAR(loaded.z_ref[5][7].re, golden_tables().z_ref[5][7].re, 1.0);
}

TEST_F(CalibrationFile, AFileWithoutTheFirstKeyLoadsNothing)
{
  const std::string golden = read(QUARVEL_TEST_DATA "/golden.cal");
  write(path("Quarvel.cal"), golden.substr(golden.find("h_direct")));
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  const lcr::tcalibration_tables loaded = tables();
  const lcr::tcalibration_tables nominal = lcr::nominal_calibration_tables();
  EXPECT_EQ(loaded.h_direct, nominal.h_direct);
  EXPECT_EQ(loaded.z_ref, nominal.z_ref);
  EXPECT_EQ(loaded.y_open, nominal.y_open);
}

TEST_F(CalibrationFile, BadNumberStopsReadingAndKeepsEarlierRows)
{
  std::string text = read(QUARVEL_TEST_DATA "/golden.cal");
  // In the z_short section's first real line, the third field.
  const auto section = text.find("z_short\r\n");
  const auto line_start = section + 9;
  const auto third = text.find(';', text.find(';', line_start) + 1) + 2;
  text.replace(third, 15, " 1,0000000E+000");
  write(path("Quarvel.cal"), text);
  const lcr::tfile_result result = lcr::cal_load(path("Quarvel.cal"));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "'1,0000000E+000' ist kein gültiger Gleitkommawert");
  const lcr::tcalibration_tables loaded = tables();
  const lcr::tcalibration_tables golden = golden_tables();
  EXPECT_NEAR(loaded.y_open[5][7].im, golden.y_open[5][7].im, 1e-20);  // read before the error
  EXPECT_EQ(loaded.z_short[0][0].re, 0.0);                             // the bad row stays
  EXPECT_EQ(loaded.z_ref[3][3].re, 10000.0);                           // after it: nominal
}

TEST_F(CalibrationFile, MissingFileIsNoErrorAndChangesNothing)
{
  const lcr::tfile_result result = lcr::cal_load(path("absent.cal"));
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.message.empty());
  EXPECT_EQ(tables().z_ref, lcr::nominal_calibration_tables().z_ref);
  EXPECT_TRUE(lcr::cal_backup(path("absent.cal"), path("backup.cal")).ok);
}

TEST_F(CalibrationFile, ErrorsCarryTheErrorNumber)
{
  const lcr::tfile_result no_directory = lcr::cal_save(directory.path() + "/no/such/dir/Quarvel.cal");
  EXPECT_EQ(no_directory.message, "E/A-Fehler 2");
  EXPECT_EQ(no_directory.text(), directory.path() + "/no/such/dir/Quarvel.cal: E/A-Fehler 2");
  const lcr::tfile_result directory_load = lcr::cal_load(directory.path());
  EXPECT_FALSE(directory_load.ok);
  EXPECT_EQ(directory_load.message, "E/A-Fehler 21");
  // Neither a device that never ends nor a pipe that would block is read.
  EXPECT_EQ(lcr::cal_load("/dev/zero").message, "E/A-Fehler 22");
  ASSERT_EQ(::mkfifo(path("pipe.cal").c_str(), 0600), 0);
  EXPECT_EQ(lcr::cal_load(path("pipe.cal")).message, "E/A-Fehler 22");
  EXPECT_EQ(tables().z_ref, lcr::nominal_calibration_tables().z_ref);
}

// A line longer than any data line is none, however it begins or ends.
TEST_F(CalibrationFile, OverlongLinesAreSkippedWhole)
{
  const std::string golden = read(QUARVEL_TEST_DATA "/golden.cal");
  const std::size_t first_data_line_end = golden.find("\r\n", 9);
  const std::string eight_fields = golden.substr(9, first_data_line_end - 9);

  // A megabyte of blanks after the eight fields of h_short's real parts.
  std::string text = golden;
  text.insert(first_data_line_end, std::string(1 << 20, ' '));
  write(path("Quarvel.cal"), text);
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  EXPECT_EQ(tables().h_short[0].re, 0.0);  // the row stays nominal
  EXPECT_NEAR(tables().h_short[0].im, golden_tables().h_short[0].im, 1e-20);
  EXPECT_NEAR(tables().z_ref[5][7].re, golden_tables().z_ref[5][7].re, 1.0);

  // Eight good fields, and a ninth semicolon only past byte 4096: the cut
  // line would pass for a data line of 500 Ω.
  lcr::reset_calibration_tables();
  std::string fields_500;
  for (int f = 0; f < 8; ++f) fields_500 += lcr::calibration_field(500.0) + "; ";
  text = golden;
  const std::size_t z_ref_1k = text.find("z_ref\r\n") + 7 + 2 * (eight_fields.size() + 2);
  text.replace(z_ref_1k, eight_fields.size(), fields_500 + std::string(4200, ' ') + ";");
  write(path("Quarvel.cal"), text);
  ASSERT_TRUE(lcr::cal_load(path("Quarvel.cal")).ok);
  EXPECT_EQ(tables().z_ref[2][0].re, 1000.0);  // nominal: the row was left alone
  EXPECT_NEAR(tables().z_ref[3][3].re, golden_tables().z_ref[3][3].re, 1e-3);
}

// A save that fails half-way leaves the previous calibration intact.
TEST_F(CalibrationFile, FailedSaveKeepsThePreviousFile)
{
  set_tables(golden_tables());
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  const std::string before = read(path("Quarvel.cal"));
  lcr::reset_calibration_tables();

  // Files may grow to 1000 bytes only: the write fails part-way.
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const lcr::tfile_result result = lcr::cal_save(path("Quarvel.cal"));
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "E/A-Fehler 27");  // EFBIG
  EXPECT_EQ(read(path("Quarvel.cal")), before);
  EXPECT_EQ(directory.entries(), std::vector<std::string>{"Quarvel.cal"});  // no temporary left
}

TEST_F(CalibrationFile, BackupCopiesTheCalibration)
{
  set_tables(golden_tables());
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  ASSERT_TRUE(lcr::cal_backup(path("Quarvel.cal"), path("Quarvel_bak.cal")).ok);
  EXPECT_EQ(read(path("Quarvel_bak.cal")), read(path("Quarvel.cal")));
}

// Thousands of random mutations of a valid file: the loader never crashes,
// never loads a value that is not finite, and reports an error or loads.
TEST_F(CalibrationFile, MutatedFilesNeverLoadNonFiniteValues)
{
  const std::string golden = read(QUARVEL_TEST_DATA "/golden.cal");
  std::mt19937 generator(2026);
  const std::string alphabet = "0123456789.+-eEinfa; \r\n\t,xX_hszryodtr";
  std::uniform_int_distribution<int> pick_char(0, static_cast<int>(alphabet.size()) - 1);
  int errors = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text = golden;
    const int mutations = 1 + static_cast<int>(generator() % 6);
    for (int m = 0; m < mutations && !text.empty(); ++m) {
      const std::size_t at = generator() % text.size();
      switch (generator() % 5) {
        case 0: text[at] = alphabet[static_cast<std::size_t>(pick_char(generator))]; break;
        case 1: text.erase(at, 1 + generator() % 20); break;
        case 2: text.insert(at, 1, alphabet[static_cast<std::size_t>(pick_char(generator))]); break;
        case 3: text.resize(at); break;
        default: text.insert(at, text.substr(at, generator() % 200)); break;
      }
    }
    write(path("Quarvel.cal"), text);
    lcr::reset_calibration_tables();
    const lcr::tfile_result result = lcr::cal_load(path("Quarvel.cal"));
    if (!result.ok) {
      ++errors;
      ASSERT_FALSE(result.message.empty());
    }
    const lcr::tcalibration_tables loaded = tables();
    const auto finite_row = [](const lcr::tfreq_row& row) {
      return std::all_of(row.begin(), row.end(),
                         [](tcomplex v) { return std::isfinite(v.re) && std::isfinite(v.im); });
    };
    ASSERT_TRUE(finite_row(loaded.h_short) && finite_row(loaded.h_direct)) << "trial " << trial;
    for (const auto* table : {&loaded.y_open, &loaded.z_short, &loaded.z_ref}) {
      for (const lcr::tfreq_row& row : *table) ASSERT_TRUE(finite_row(row)) << "trial " << trial;
    }
  }
  EXPECT_GT(errors, 100);  // the mutations do reach the number parser
}

}  // namespace
