// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/analyser/zma_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(ZmaText, ACurveReadsBackExactlyWithCommentsBlanksAndTabs)
{
  const std::vector<lcr::tzma_point> points{{10.0, 5.6123456789012345, -0.25}, {10.5, 40.0, 89.999}, {20000.0, 7.1e-3, -180.0}};
  const std::string text = lcr::format_zma(points, {" Quarvel", " two\nlines"});
  EXPECT_EQ(text.substr(0, 10), "* Quarvel\n");
  EXPECT_NE(text.find("* two lines\n"), std::string::npos);
  EXPECT_EQ(lcr::parse_zma(text).points, points);

  const lcr::tzma_curve written_elsewhere = lcr::parse_zma("* from a datasheet\r\n\r\n 20\t6.1  -3.5\r\n*\r\n  25 6.3 12\r\n");
  ASSERT_TRUE(written_elsewhere.ok()) << written_elsewhere.refusal;
  EXPECT_EQ(written_elsewhere.points, (std::vector<lcr::tzma_point>{{20.0, 6.1, -3.5}, {25.0, 6.3, 12.0}}));
}

TEST(ZmaText, ABadFileIsRefusedWholeNamingItsLine)
{
  const struct {
    std::string text;
    std::string refusal;
  } bad[] = {
      {"20 6.1\n", "Zeile 1: drei Zahlen erwartet (Frequenz in Hz, |Z| in Ohm, Phase in Grad)"},
      {"20 6.1 3 4\n", "Zeile 1: drei Zahlen erwartet (Frequenz in Hz, |Z| in Ohm, Phase in Grad)"},
      {"*c\n20 6.1 3\n25 6,2 4\n", "Zeile 3: \"6,2\" ist keine Zahl"},
      {"20 6.1 nan\n", "Zeile 1: \"nan\" ist keine Zahl"},
      {"20 6.1 3\n20 6.2 3\n", "Zeile 2: Frequenz nicht steigend"},
      {"20 6.1 3\n10 6.2 3\n", "Zeile 2: Frequenz nicht steigend"},
      {"-20 6.1 3\n", "Zeile 1: Frequenz nicht positiv"},
      {"0 6.1 3\n", "Zeile 1: Frequenz nicht positiv"},
      {"20 -6.1 3\n", "Zeile 1: |Z| negativ"},
      {"20 6.1 270\n", "Zeile 1: Phase außerhalb ±180°"},
      {"\x7f" "ELF\x01\x02 x y\n", "Zeile 1: \"?ELF??\" ist keine Zahl"},
      {"* only a comment\n\n", "keine Punkte"},
      {"", "keine Punkte"},
      {std::string(lcr::zma_largest_text + 1, 'x'), "Datei größer als 8 MB"},
  };
  for (const auto& [text, refusal] : bad) {
    const lcr::tzma_curve curve = lcr::parse_zma(text);
    EXPECT_EQ(curve.refusal, refusal) << text.substr(0, 40);
    EXPECT_TRUE(curve.points.empty());
  }
  std::string too_many;
  for (std::size_t i = 1; i <= lcr::zma_most_points + 1; ++i) too_many += std::to_string(i) + " 1 0\n";
  EXPECT_EQ(lcr::parse_zma(too_many).refusal, "mehr als 100000 Punkte");
}

TEST(ZmaText, TheLocaleDoesNotChangeTheDecimalPoint)
{
  const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (!previous) GTEST_SKIP() << "no German locale on this machine";
  const std::string text = lcr::format_zma({{12.5, 3.25, -1.5}});
  const lcr::tzma_curve curve = lcr::parse_zma(text);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(text, "12.5 3.25 -1.5\n");
  EXPECT_EQ(curve.points, (std::vector<lcr::tzma_point>{{12.5, 3.25, -1.5}}));
}

}  // namespace
