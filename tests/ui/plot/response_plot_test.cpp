// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency-response plot's scales: a flat curve of a steady part is
// drawn flat, every scale value differs from its neighbours, and the
// frame leaves room for the widest of them.

#include "ui/plot/response_plot.h"

#include "engine/quantities/quantity_texts.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <set>

namespace {

// 1 µF read with 10 ppm of scatter at the eight frequencies.
const std::vector<double> steady_capacitance{1.00001e-6, 0.99999e-6, 1.000005e-6, 0.999995e-6,
                                             1.00001e-6, 0.99999e-6, 1.0e-6,      1.000002e-6};

TEST(ResponsePlotScales, AFlatCurveStaysFlatAndItsValuesDiffer)
{
  lcr::set_decimal_separator(',');
  struct scale_case {
    std::vector<double> values;
    double least_half_span;
    std::string quantity;
    double expected_least_span;
  };
  const scale_case cases[] = {
      {steady_capacitance, 0.0, "C", 2e-8},     // ±1 % of 1 µF
      {steady_capacitance, 5e-8, "C", 1e-7},    // a few times the points' uncertainty
      {{2.0, 2.0001, 1.9999, 2.0}, 0.0, "R", 0.04},
      {{-89.9, -89.5, -88.0, -75.9}, 0.0, "phi_Z", 14.0},  // already wider than ±1 %
  };
  for (const scale_case& c : cases) {
    const graphic::tresponse_axis axis = graphic::linear_axis(c.values, c.least_half_span);
    EXPECT_GE(axis.high - axis.low, c.expected_least_span * 0.999) << c.quantity;
    for (const double value : c.values) {
      EXPECT_GE(value, axis.low) << c.quantity;
      EXPECT_LE(value, axis.high) << c.quantity;
    }
    const std::vector<QString> texts = graphic::scale_texts({c.values, axis, c.quantity, QString(), {}, {}});
    ASSERT_GE(texts.size(), 3u) << c.quantity;
    EXPECT_LE(texts.size(), 11u) << c.quantity;
    EXPECT_EQ(std::set<QString>(texts.begin(), texts.end()).size(), texts.size())
        << c.quantity << ": " << QStringList(texts.begin(), texts.end()).join(" | ").toStdString();
  }
  // One unit on a scale: "1,000 µF", not "1000 n" beside "1 µ".
  const std::vector<QString> texts =
      graphic::scale_texts({steady_capacitance, graphic::linear_axis(steady_capacitance), "C", QString(), {}, {}});
  for (const QString& text : texts) EXPECT_TRUE(text.endsWith(QStringLiteral(" µF"))) << text.toStdString();
  lcr::set_decimal_separator('.');
}

// The widest scale value on either side is drawn inside the image: the
// columns left of the left values and right of the right ones stay black.
TEST(ResponsePlotScales, NoScaleValueIsCut)
{
  const std::vector<double> frequencies{100, 200, 500, 1000, 2000, 5000, 10000, 20000};
  const std::vector<double> resistance{1234.5, 1234.6, 1234.4, 1234.5, 1234.7, 1234.5, 1234.4, 1234.6};
  const graphic::tresponse_trace first{resistance, graphic::linear_axis(resistance), "R", "Rs", {}, {}};
  const graphic::tresponse_trace second{steady_capacitance, graphic::linear_axis(steady_capacitance), "C", "Cs", {}, {}};
  const QImage image = graphic::draw_response_plot(QSize(222, 170), frequencies, first, second);
  for (const int x : {0, image.width() - 1}) {
    for (int y = 0; y < image.height(); ++y) {
      ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::black)) << "column " << x << ", row " << y;
    }
  }
}

// A point's deviation is a bar through it in its trace's colour, as long as
// the deviation on the scale; a doubtful point is a hollow grey square.
TEST(ResponsePlotScales, EachPointCarriesItsDeviationBar)
{
  const std::vector<double> frequencies{100, 1000, 20000};
  graphic::tresponse_trace first{{1.0, 1.0, 1.0}, {0.0, 2.0, false, 0.5}, "R", "Rs", {}, {}};
  const graphic::tresponse_trace second{{-45.0, -45.0, -45.0}, graphic::phase_axis(), "phi_Z", "phi", {}, {}};
  const QImage plain = graphic::draw_response_plot(QSize(222, 170), frequencies, first, second);
  first.deviations = {0.5, 0.0, 0.0};
  first.doubtful = {false, true, false};
  const QImage marked = graphic::draw_response_plot(QSize(222, 170), frequencies, first, second);
  const auto count_in_column = [](const QImage& image, int x, QColor colour) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) rows += image.pixelColor(x, y) == colour;
    return rows;
  };
  const QColor green(0, 255, 0);
  const QColor grey(128, 128, 128);
  int longest_bar = 0;
  int grey_added = 0;
  for (int x = 0; x < plain.width(); ++x) {
    longest_bar = std::max(longest_bar, count_in_column(marked, x, green) - count_in_column(plain, x, green));
    grey_added += std::max(0, count_in_column(marked, x, grey) - count_in_column(plain, x, grey));
  }
  // ±0.5 on a scale of 0 … 2: half of the frame's some 138 rows.
  EXPECT_GT(longest_bar, 55);
  EXPECT_LT(longest_bar, 80);
  EXPECT_GE(grey_added, 8);
}

}  // namespace
