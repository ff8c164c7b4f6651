// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/quantities/quantity_texts.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

using lcr::tlcr_strings;

class QuantityTexts : public quarvel_test::fresh_engine {};

struct formatted {
  std::string value;
  std::string unit;
};

formatted format(const char* key, double v, int full_precision = 1)
{
  tlcr_strings record;
  record.quantity = key;
  lcr::format_quantity(full_precision, record, v);
  return {record.value_text, record.unit_text};
}

struct format_case {
  const char* key;
  double value;
  int full_precision;
  const char* value_text;  // with the comma
  const char* unit_text;
};

// One table per unit class, with the scaling edges of each prefix.
constexpr format_case format_cases[] = {
    // ohm
    {"R", 100.0, 1, "100,000", "Ohm"},
    {"R", 1500.0, 1, "1,500", "KOhm"},
    {"R", 4700.0, 1, "4,700", "KOhm"},
    {"R", 2.2e6, 1, "2,200", "MOhm"},
    {"R", 0.25, 1, "250,000", "mOhm"},
    {"R", 1000.0, 1, "1,000", "KOhm"},
    {"R", 999.9994, 1, "999,999", "Ohm"},
    {"Z", 3.3e9, 1, "3,300", "GOhm"},
    {"X", 4.5e12, 1, "4,500", "TOhm"},
    {"X", 0.0, 1, "0,000", "Ohm"},
    {"X", -12.5, 1, "-12,500", "Ohm"},
    {"Z", 1e15, 1, "> 1", "POhm"},
    // siemens
    {"G", -0.0576, 1, "-57,600", "mS"},
    {"Y", 0.070711, 1, "70,711", "mS"},
    {"B", 2.5e-6, 1, "2,500", "µS"},
    // farad: the micro sign is U+00B5
    {"C", 1.5e-9, 1, "1,500", "nF"},
    {"C", 4.7e-13, 1, "470,000", "fF"},
    {"C", 1e-6, 1, "1,000", "\xC2\xB5" "F"},
    {"C", 2e-16, 1, "< 1", "fF"},
    {"C", 1e-15, 1, "1,000", "fF"},
    {"C", 22e-12, 1, "22,000", "pF"},
    // henry
    {"L", 0.01, 1, "10,000", "mH"},
    {"L", 3.3e-6, 1, "3,300", "µH"},
    {"L", -2.0, 1, "-2,000", "H"},
    // degree: never a prefix
    {"phi_Z", -45.0, 1, "-45,000", "°"},
    {"phi_Y", 0.5, 1, "0,500", "°"},
    {"phi_Z", 0.0, 1, "0,000", "°"},
    {"phi_Z", 2e15, 1, "> 1", "P°"},
    // dimensionless: fixed thresholds
    {"Q", 0.00005, 1, "< 0,00010", ""},
    {"Q", 0.5, 1, "0,50000", ""},
    {"Q", 50.0, 1, "50,000", ""},
    {"Q", 500.0, 1, "500,00", ""},
    {"Q", 5000.0, 1, "5000,0", ""},
    {"Q", 20000.0, 1, "> 10000,0", ""},
    {"Q", 1.0, 1, "1,000", ""},
    {"Q", 100.0, 1, "100,000", ""},
    {"Q", 1000.0, 1, "1000,00", ""},
    {"Q", 10000.0, 1, "10000,0", ""},
    {"D", 0.0, 1, "< 0,00010", ""},
    {"D", -3.0, 1, "< 0,00010", ""},
    {"unknown", 42.0, 1, "42,000", ""},
    // full precision 0: down to the first significant digit, width 4
    {"R", 4700.0, 0, "   5", "KOhm"},
    {"R", 0.047, 0, "  47", "mOhm"},
    {"D", 0.3, 0, " 0,3", ""},
    {"D", 0.03, 0, "0,03", ""},
    {"phi_Z", 0.0042, 0, "0,004", "°"},
    {"R", 10.0, 0, "  10", "Ohm"},
    {"R", 0.0, 0, "   0", "Ohm"},
    {"Z", 2e16, 0, "> 1", "POhm"},
    {"C", 1e-18, 0, "< 1", "fF"},
};

TEST_F(QuantityTexts, FormatsEveryUnitClass)
{
  for (const format_case& c : format_cases) {
    const formatted text = format(c.key, c.value, c.full_precision);
    EXPECT_EQ(text.value, c.value_text) << c.key << " " << c.value << " full " << c.full_precision;
    EXPECT_EQ(text.unit, c.unit_text) << c.key << " " << c.value << " full " << c.full_precision;
  }
}

TEST_F(QuantityTexts, PointSeparatorForEnglishLocales)
{
  lcr::set_decimal_separator('.');
  EXPECT_EQ(format("R", 1500.0).value, "1.500");
  EXPECT_EQ(format("Q", 0.00005).value, "< 0.00010");
  EXPECT_EQ(format("Q", 20000.0).value, "> 10000.0");
  EXPECT_EQ(format("D", 0.3, 0).value, " 0.3");
  EXPECT_EQ(lcr::format_fixed(-2.5, 2, 8, '.'), "   -2.50");
}

TEST_F(QuantityTexts, FormattingKeepsRecordRoomAndOtherFields)
{
  tlcr_strings record;
  record.quantity = "R";
  record.circuit = "ser";
  record.symbol = "Rs";
  lcr::format_quantity(1, record, 123.0);
  EXPECT_EQ(record.quantity, "R");
  EXPECT_EQ(record.circuit, "ser");
  EXPECT_EQ(record.symbol, "Rs");
  EXPECT_EQ(record.value_text, "123,000");
}

TEST_F(QuantityTexts, NamesWithCircuitSuffixes)
{
  struct name_case {
    const char* key;
    const char* circuit;
    const char* symbol;
    const char* long_name;
  };
  constexpr name_case cases[] = {
      {"R", "par", "Rp", "Wirkwiderstand, Resistanz, Parallelschaltung"},
      {"C", "par", "Cp", "Kapazität, Parallelschaltung"},
      {"X", "ser", "Xs", "Blindwiderstand, Reaktanz, Reihenschaltung"},
      {"Q", "", "Q", "Güte"},
      {"C", "", "C", "Kapazität"},
      {"phi_Z", "", "phi", "Phasenwinkel"},
      {"phi_Y", "", "phi", "Phasenwinkel"},
      {"Z", "", "Z", "Scheinwiderstand, Impedanz"},
      {"Y", "", "Y", "Scheinleitwert, Admittanz"},
      {"G", "ser", "Gs", "Wirkleitwert, Konduktanz, Reihenschaltung"},
      {"B", "par", "Bp", "Blindleitwert, Suszeptanz, Parallelschaltung"},
      {"D", "", "D", "Verlustfaktor"},
      {"L", "ser", "Ls", "Induktivität, Reihenschaltung"},
  };
  for (const name_case& c : cases) {
    tlcr_strings record;
    record.quantity = c.key;
    record.circuit = c.circuit;
    lcr::name_quantity(record);
    EXPECT_EQ(record.symbol, c.symbol) << c.key << " " << c.circuit;
    EXPECT_EQ(record.long_name, c.long_name) << c.key << " " << c.circuit;
  }
}

TEST_F(QuantityTexts, UnknownKeyKeepsItsNames)
{
  tlcr_strings record;
  record.quantity = "W";
  record.symbol = "old";
  record.long_name = "alt";
  lcr::name_quantity(record);
  EXPECT_EQ(record.symbol, "old");
  EXPECT_EQ(record.long_name, "alt");
}

// Qt sets the C library's locale from the environment; the texts follow the
// separator setting only.
TEST_F(QuantityTexts, UnaffectedByTheProcessLocale)
{
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  lcr::set_decimal_separator('.');
  const formatted text = format("C", 1.5e-9);
  lcr::set_decimal_separator(',');
  const formatted german = format("Q", 0.5);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(text.value, "1.500");
  EXPECT_EQ(german.value, "0,50000");
}

// The separator comes from the user's locale name, without setting any
// process locale.
TEST_F(QuantityTexts, SeparatorOfTheUsersLocale)
{
  const char* const saved = std::getenv("LC_ALL");
  const std::string saved_value = saved != nullptr ? saved : "";
  const auto separator_for = [](const char* name) {
    ::setenv("LC_ALL", name, 1);
    return lcr::locale_decimal_separator();
  };
  EXPECT_EQ(separator_for("de_DE.UTF-8"), ',');
  EXPECT_EQ(separator_for("C"), '.');
  EXPECT_EQ(separator_for("en_US.UTF-8"), '.');
  EXPECT_EQ(separator_for("fr_FR.UTF-8"), ',');
  if (saved != nullptr) {
    ::setenv("LC_ALL", saved_value.c_str(), 1);
  } else {
    ::unsetenv("LC_ALL");
  }
  EXPECT_EQ(format("R", 1500.0).value, "1,500");  // the setting, not the environment
}

}  // namespace
