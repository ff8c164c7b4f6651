// SPDX-License-Identifier: GPL-3.0-or-later
// The bench features' rules: "Auto" chooses the pair without flicker, the
// comparator's verdicts at their boundaries, and CSV that programs read
// back to the same numbers whatever the locale.

#include "engine/core/csv_text.h"
#include "engine/quantities/auto_mode.h"
#include "engine/quantities/comparator.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using lcr::tauto_pair;

std::vector<tauto_pair> pairs_shown(std::initializer_list<double> phases_deg)
{
  lcr::tauto_mode state;
  std::vector<tauto_pair> shown;
  for (const double phase : phases_deg) shown.push_back(lcr::auto_mode_update(state, phase));
  return shown;
}

TEST(AutoMode, TheFirstReadingChoosesByTheBoundaries)
{
  EXPECT_EQ(pairs_shown({0.0}).back(), tauto_pair::resistive);
  EXPECT_EQ(pairs_shown({-10.0}).back(), tauto_pair::resistive);
  EXPECT_EQ(pairs_shown({-10.5}).back(), tauto_pair::capacitive);
  EXPECT_EQ(pairs_shown({89.0}).back(), tauto_pair::inductive);
  EXPECT_EQ(lcr::meas_mode_of(tauto_pair::resistive), 2);
  EXPECT_EQ(lcr::meas_mode_of(tauto_pair::capacitive), 11);
  EXPECT_EQ(lcr::meas_mode_of(tauto_pair::inductive), 12);
}

// A capacitor of 1.6 kΩ read through a 10 Ω reference can come out with a
// resistance slightly below zero; it stays a capacitor. A pure reactance
// is reactive, not a resistor.
TEST(AutoMode, ThePhaseThatChoosesIgnoresTheSignOfTheResistance)
{
  EXPECT_NEAR(lcr::auto_phase_deg({-22.3, -1594.2}), -89.2, 0.01);
  EXPECT_NEAR(lcr::auto_phase_deg({-22.3, 1594.2}), 89.2, 0.01);
  EXPECT_EQ(lcr::auto_phase_deg({0.0, -1.0}), -90.0);
  EXPECT_EQ(lcr::auto_phase_deg({0.0, 2.0}), 90.0);
  EXPECT_EQ(lcr::auto_phase_deg({-5.0, 0.0}), 0.0);
}

// A lossy device whose phase wanders across −10°: no flicker; five readings
// past −12° switch to D/C, and five past −8° switch back.
TEST(AutoMode, NearABoundaryThePairSwitchesOnlyAfterFiveReadingsPastTheHysteresis)
{
  const auto wandering = pairs_shown({-9.0, -11.5, -9.5, -11.9, -10.2, -11.0, -9.0, -11.8, -9.9});
  for (const tauto_pair pair : wandering) EXPECT_EQ(pair, tauto_pair::resistive);

  const auto crossing = pairs_shown({-5.0, -12.5, -13.0, -12.1, -20.0, -12.5});
  EXPECT_EQ(crossing[4], tauto_pair::resistive);  // four readings past −12°
  EXPECT_EQ(crossing[5], tauto_pair::capacitive);

  // An interruption starts the count again.
  const auto interrupted = pairs_shown({-5.0, -13.0, -13.0, -13.0, -13.0, -11.0, -13.0, -13.0, -13.0, -13.0, -13.0});
  EXPECT_EQ(interrupted[9], tauto_pair::resistive);
  EXPECT_EQ(interrupted[10], tauto_pair::capacitive);

  const auto back = pairs_shown({-30.0, -9.0, -8.5, -7.9, -7.0, -6.0, -5.0, -1.0});
  EXPECT_EQ(back[5], tauto_pair::capacitive);  // −9 and −8.5 are not past −8°
  EXPECT_EQ(back[6], tauto_pair::capacitive);
  EXPECT_EQ(back[7], tauto_pair::resistive);

  // Straight across from capacitive to inductive.
  const auto across = pairs_shown({-45.0, 45.0, 45.0, 45.0, 45.0, 45.0});
  EXPECT_EQ(across[4], tauto_pair::capacitive);
  EXPECT_EQ(across[5], tauto_pair::inductive);
}

TEST(Comparator, VerdictsAtTheirBoundaries)
{
  const struct {
    double value;
    double deviation;
    lcr::tverdict verdict;
    double delta_percent;
  } cases[] = {
      {1010.0, 0.0, lcr::tverdict::pass, 1.0},        // exactly at +1 %
      {990.0, 0.0, lcr::tverdict::pass, -1.0},        // exactly at −1 %
      {1010.01, 0.0, lcr::tverdict::fail, 1.001},     // just outside
      {1005.0, 4.9, lcr::tverdict::pass, 0.5},        // 0.5 % + 0.49 % stays inside
      {1005.0, 5.1, lcr::tverdict::marginal, 0.5},    // its deviation reaches past 1 %
      {985.0, 1.0, lcr::tverdict::fail, -1.5},
  };
  for (const auto& c : cases) {
    const lcr::tcomparison result = lcr::compare_to_nominal(c.value, c.deviation, 1000.0, 1.0);
    EXPECT_EQ(result.verdict, c.verdict) << c.value << " ± " << c.deviation;
    EXPECT_NEAR(result.delta_percent, c.delta_percent, 1e-9) << c.value;
  }
  // A negative nominal (a capacitance of an inductive device) judges by size.
  EXPECT_EQ(lcr::compare_to_nominal(-99.5, 0.1, -100.0, 1.0).verdict, lcr::tverdict::pass);
  EXPECT_EQ(lcr::compare_to_nominal(5.0, 0.0, 0.0, 1.0).verdict, lcr::tverdict::fail);
  EXPECT_STREQ(lcr::verdict_text(lcr::tverdict::marginal), "Grenzwertig");
  EXPECT_STREQ(lcr::verdict_key(lcr::tverdict::fail), "fail");
}

// Numbers come back bit for bit, also where the process runs under a locale
// with a decimal comma; texts with commas and quotes stay one field.
TEST(CsvText, NumbersReadBackExactlyWhateverTheLocale)
{
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  const double values[] = {1e-15, -0.1, 4700.000000000001, 1.7976931348623157e308, 0.0, -2.2250738585072014e-308};
  for (const double value : values) {
    const std::string text = lcr::csv_number(value);
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    double back = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(error, std::errc{}) << text;
    EXPECT_EQ(back, value) << text;
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(lcr::csv_number(std::numeric_limits<double>::quiet_NaN()), "");
  EXPECT_EQ(lcr::csv_field("Wirkwiderstand, Resistanz"), "\"Wirkwiderstand, Resistanz\"");
  EXPECT_EQ(lcr::csv_field("a \"b\""), "\"a \"\"b\"\"\"");
  EXPECT_EQ(lcr::csv_field("Rs"), "Rs");
  EXPECT_EQ(lcr::csv_line({"1", "", "x"}), "1,,x\r\n");
  if (!german) std::cout << "[ note     ] de_DE.UTF-8 is not installed; checked under the C locale only\n";
}

}  // namespace
