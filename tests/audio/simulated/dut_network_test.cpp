// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/simulated/dut_network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <string>

namespace {

using waveio::dut_error;
using waveio::parse_dut_network;
using zcomplex = std::complex<double>;

zcomplex z_at(const std::string& text, double omega_rad_s)
{
  return parse_dut_network(text).impedance(omega_rad_s).value_ohm();
}

double relative_error(zcomplex measured, zcomplex expected)
{
  return std::abs(measured - expected) / std::abs(expected);
}

TEST(DutParser, ValuesWithEverySiPrefix)
{
  const struct {
    const char* text;
    double ohm;
  } cases[] = {
      {"R=4u", 4e-6},     {"R=4\u00b5", 4e-6}, {"R=4\u03bc", 4e-6}, {"R=5m", 5e-3},        {"R=4.7k", 4700.0},
      {"R=2.2M", 2.2e6},  {"R=1G", 1e9},       {"R=0", 0.0},        {"R=.5", 0.5},        {"R=5.", 5.0},
      {"R=0.001k", 1.0},  {"R=12345.678", 12345.678},               {"r=47", 47.0},
  };
  for (const auto& c : cases) {
    const zcomplex z = z_at(c.text, 1000.0);
    EXPECT_NEAR(z.real(), c.ohm, c.ohm * 1e-15) << c.text;
    EXPECT_EQ(z.imag(), 0.0) << c.text;
  }
  // The small prefixes on the elements that use them.
  EXPECT_LT(relative_error(z_at("C=1f", 1e6), {0.0, -1e9}), 1e-15);
  EXPECT_LT(relative_error(z_at("C=2p", 1e6), {0.0, -5e5}), 1e-15);
  EXPECT_LT(relative_error(z_at("L=3n", 1e6), {0.0, 3e-3}), 1e-15);
}

// Values beyond any fixture are refused at their first character; the
// range's ends and zero (a wire or an open) are accepted.
TEST(DutParser, ValuesOutsideTheirRangeAreRefused)
{
  const std::string zeros_155(155, '0');
  const struct {
    std::string text;
    std::size_t position;
    const char* fragment;
  } refused[] = {
      {"R=1" + zeros_155 + " | R=1" + zeros_155, 3, "resistance out of range; use 0 or 1 \u00b5\u03a9 \u2026 1 T\u03a9"},
      {"C=1" + std::string(305, '0') + " + R=2", 3, "capacitance out of range; use 0 or 1 aF \u2026 1 F"},
      {"R=1" + std::string(300, '0') + "G", 3, "resistance out of range"},
      {"R=2+L=1.01M", 7, "inductance out of range; use 0 or 1 pH \u2026 1 MH"},
      {"R=0.9u", 3, "resistance out of range"},
      {"C=0.0009f", 3, "capacitance out of range"},  // below 1 aF
      {"L=0.5p", 3, "inductance out of range"},
      {"R=1001G", 3, "resistance out of range"},
      {"C=1.5", 3, "capacitance out of range"},
  };
  for (const auto& c : refused) {
    try {
      parse_dut_network(c.text);
      ADD_FAILURE() << "accepted \"" << c.text.substr(0, 40) << "\"";
    } catch (const dut_error& error) {
      EXPECT_EQ(error.position(), c.position) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.fragment), std::string::npos) << error.what();
    }
  }
  for (const char* accepted : {"R=1u", "R=1000G", "C=0.001f", "C=1", "L=1p", "L=1M", "R=0", "C=0", "L=0"}) {
    EXPECT_NO_THROW(parse_dut_network(accepted)) << accepted;
  }
}

TEST(DutParser, CapacitorsAndInductorsTakeTheirValues)
{
  EXPECT_LT(relative_error(z_at("C=100n", 1e4), {0.0, -1000.0}), 1e-15);
  EXPECT_LT(relative_error(z_at("L=10m", 1e3), {0.0, 10.0}), 1e-15);
  EXPECT_LT(relative_error(z_at("c=1u", 1e3), {0.0, -1000.0}), 1e-15);
}

TEST(DutParser, ParallelBindsTighterThanSeries)
{
  EXPECT_EQ(z_at("R=1+R=2|R=2", 1.0), zcomplex(2.0));  // 1 + (2 | 2), not (1 + 2) | 2
  EXPECT_EQ(z_at("R=2|R=2+R=1", 1.0), zcomplex(2.0));
  EXPECT_EQ(z_at("R=6|R=3|R=2", 1.0), zcomplex(1.0));
  EXPECT_EQ(z_at("R=1+R=2+R=3", 1.0), zcomplex(6.0));
}

TEST(DutParser, ParenthesesGroup)
{
  EXPECT_EQ(z_at("(R=1+R=2)|R=3", 1.0), zcomplex(1.5));
  EXPECT_EQ(z_at("R=3|(R=1+R=2)", 1.0), zcomplex(1.5));
  EXPECT_EQ(z_at("((R=1))", 1.0), zcomplex(1.0));
  EXPECT_EQ(z_at("(R=2|(R=1+R=5))+R=1", 1.0), zcomplex(2.5));
}

TEST(DutParser, WhitespaceBetweenParts)
{
  const zcomplex compact = z_at("R=4.7k+C=1u|L=2m", 5000.0);
  EXPECT_EQ(z_at("  R = 4.7k  +\tC = 1u | L =2m ", 5000.0), compact);
  EXPECT_EQ(z_at("( R=1 + R=2 ) | R=3", 1.0), zcomplex(1.5));
}

TEST(DutParser, CountsElements)
{
  EXPECT_EQ(parse_dut_network("R=1").element_count(), 1u);
  EXPECT_EQ(parse_dut_network("(R=1+L=1m)|C=1n+R=5").element_count(), 4u);
}

// Each malformed text names the position (characters from 1) of the fault.
TEST(DutParser, ErrorsNameThePosition)
{
  const struct {
    std::string text;
    std::size_t position;
    const char* fragment;
  } cases[] = {
      {"", 1, "empty"},
      {"X=5", 1, "unknown element 'X'"},
      {"R=1+Q=2", 5, "unknown element 'Q'"},
      {"R=1k+C=", 8, "expected a value after 'C='"},
      {"L=", 3, "expected a value after 'L='"},
      {"R=-5", 3, "expected a value after 'R='"},
      {"R=.", 3, "expected a value after 'R='"},
      {"R 5", 3, "expected '=' after 'R'"},
      {"R=4.7q", 6, "unknown unit prefix 'q'"},
      {"R=1e3", 4, "unknown unit prefix 'e'"},
      {"R=1\u00e4", 4, "unknown unit prefix '\u00e4'"},
      {"C=1\u00b5+X=1", 6, "unknown element 'X'"},  // 'µ' counts as one character
      {"(R=1+R=2", 9, "missing ')' for the '(' at position 1"},
      {"R=1+(R=2|(C=1n)", 16, "missing ')' for the '(' at position 5"},
      {"R=1)", 4, "')' without matching '('"},
      {"(R=1 R=2)", 6, "expected '+', '|' or ')'"},
      {"R=1 R=2", 5, "unexpected 'R'"},
      {"R=1k2", 5, "unexpected '2'"},
      {"R=1+", 5, "expected an element"},
      {"R=1|", 5, "expected an element"},
      {"()", 2, "unknown element ')'"},
      {std::string(40, '(') + "R=1" + std::string(40, ')'), 33, "nested too deeply"},
      {"R=1" + std::string(400, '0'), 3, "out of range"},
      {"R=1" + std::string(400, '0') + "k", 3, "out of range"},
  };
  for (const auto& c : cases) {
    try {
      parse_dut_network(c.text);
      ADD_FAILURE() << "no error for \"" << c.text << "\"";
    } catch (const dut_error& error) {
      const std::string what = error.what();
      EXPECT_EQ(error.position(), c.position) << what;
      EXPECT_EQ(what.rfind("position " + std::to_string(c.position) + ": ", 0), 0u) << what;
      EXPECT_NE(what.find(c.fragment), std::string::npos) << "\"" << c.text << "\" gave: " << what;
    }
  }
}

TEST(DutNetwork, ImpedanceOfNetworksByHand)
{
  const struct {
    const char* text;
    double omega_rad_s;
    zcomplex ohm;
  } cases[] = {
      {"R=100+L=100m", 1000.0, {100.0, 100.0}},
      {"R=1k|C=1u", 1000.0, {500.0, -500.0}},
      {"(R=10+L=10m)|C=100u", 1000.0, {10.0, -10.0}},
      {"R=1k+(C=1u|(R=100+L=10m))", 1e4, {1100.0, -100.0}},
      {"L=1m|L=1m+C=2u|C=2u", 1e4, {0.0, 5.0 - 25.0}},
      {"R=5|C=1u", 0.0, {5.0, 0.0}},
      {"R=5+L=1m", 0.0, {5.0, 0.0}},
      {"(L=1m|L=2m)+R=3", 0.0, {3.0, 0.0}},  // two shorts in parallel
      {"(C=1u+C=1u)|R=7", 0.0, {7.0, 0.0}},  // two opens in series
  };
  for (const auto& c : cases) {
    EXPECT_LT(relative_error(z_at(c.text, c.omega_rad_s), c.ohm), 1e-14) << c.text << " at " << c.omega_rad_s;
  }
}

TEST(DutNetwork, OpenAndShortAreExact)
{
  const auto at = [](const char* text, double omega) { return parse_dut_network(text).impedance(omega); };
  EXPECT_TRUE(at("C=1u", 0.0).is_open());
  EXPECT_TRUE(at("R=5+C=1u", 0.0).is_open());
  EXPECT_TRUE(at("C=1u+C=2u", 0.0).is_open());
  EXPECT_TRUE(at("C=0", 1000.0).is_open());
  EXPECT_TRUE(at("L=1m", 0.0).is_short());
  EXPECT_TRUE(at("R=5|L=1m", 0.0).is_short());
  EXPECT_TRUE(at("L=1m|L=2m", 0.0).is_short());
  EXPECT_TRUE(at("R=0|R=0", 1000.0).is_short());
  // Series resonance of 1 mH and 1 mF at 1000 rad/s, parallel resonance.
  EXPECT_TRUE(at("L=1m+C=1m", 1000.0).is_short());
  EXPECT_TRUE(at("L=1m|C=1m", 1000.0).is_open());
  EXPECT_EQ(at("C=1u", 0.0).value_ohm().real(), std::numeric_limits<double>::infinity());
}

TEST(DutNetwork, LongChainsNeitherOverflowNorUnderflow)
{
  // 60 × 1 fF in series at 1 rad/s: the denominators' product alone would be
  // 1e-900.
  std::string chain = "C=1f";
  for (int i = 1; i < 60; ++i) chain += "+C=1f";
  EXPECT_LT(relative_error(z_at(chain, 1.0), {0.0, -60e15}), 1e-13);
  std::string bank = "R=1G";
  for (int i = 1; i < 60; ++i) bank += "|R=1G";
  EXPECT_LT(relative_error(z_at(bank, 1.0), {1e9 / 60.0, 0.0}), 1e-13);
}

}  // namespace
