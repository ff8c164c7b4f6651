// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "ui/plot/plot_drawing.h"
#include "ui/plot/plot_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using graphic::plot;

std::vector<double> repeated(int n, double v)
{
  return std::vector<double>(static_cast<std::size_t>(n), v);
}

// One display tick's take-over without the engine: both traces get `values`.
void take_over(const std::vector<double>& values)
{
  for (int t = 0; t < 2; ++t) graphic::plot_feed_statistics(t, values);
  for (int t = 0; t < 2; ++t) graphic::plot_update_points(t, values);
}

int row(int t, int i)
{
  return plot.plot_trace[static_cast<std::size_t>(t)].points[static_cast<std::size_t>(i)].y;
}

class PlotModel : public ::testing::Test {
 protected:
  void SetUp() override
  {
    graphic::reset_plot_state();
    graphic::plot_set_geometry(10, 6);
  }
};

TEST_F(PlotModel, ScaleSeriesStepsOneTwoFiveAndIsTheNearestDouble)
{
  EXPECT_EQ(graphic::scale_value(45), 1.0);
  EXPECT_EQ(graphic::scale_value(46), 2.0);
  EXPECT_EQ(graphic::scale_value(47), 5.0);
  EXPECT_EQ(graphic::scale_value(48), 10.0);
  EXPECT_EQ(graphic::scale_value(0), 1e-15);
  EXPECT_EQ(graphic::scale_value(90), 1e15);
  for (int j = 0; j <= 91; ++j) {
    const std::string text = std::string(1, "125"[j % 3]) + "e" + std::to_string(j / 3 - 15);
    EXPECT_EQ(graphic::scale_value(j), std::strtod(text.c_str(), nullptr)) << text;
  }
}

TEST_F(PlotModel, StartStateDrawsMinusTwoAtRowEightyAndPositiveValuesAboveTheTop)
{
  take_over({-2.0, 0.0, 0.02, 3.0});
  EXPECT_EQ(row(0, 0), 80);
  EXPECT_EQ(row(0, 1), 0);
  EXPECT_LT(row(0, 2), 0);
  EXPECT_LT(row(0, 3), 0);
  EXPECT_EQ(plot.plot_trace[0].points[3].x, 3);
  EXPECT_EQ(plot.plot_trace[0].npoints, 4);
}

TEST_F(PlotModel, EveryTickRemapsTheStoredValuesWithTheCurrentScaleOffsetAndPosition)
{
  take_over({100.0, 110.0, 90.0, 1e30, -1e30});
  plot.trace_scale_index[0] = 48;  // 10 per division
  graphic::plot_set_scale(0);
  plot.trace_ypos[0] = 120;
  graphic::plot_set_position(0);
  plot.plot_trace[0].offset = 100.0;
  take_over({});
  EXPECT_EQ(plot.trace_scale_value[0], 10.0);
  EXPECT_EQ(row(0, 0), 120);  // the offset sits on row pos
  EXPECT_EQ(row(0, 1), 80);   // one scale step higher: a division up
  EXPECT_EQ(row(0, 2), 160);
  EXPECT_EQ(row(0, 3), -1000);  // clamped, so any value can be drawn
  EXPECT_EQ(row(0, 4), 1000);
  EXPECT_EQ(plot.plot_trace[1].scale, 1.0);  // trace 2 kept the start state
  EXPECT_EQ(plot.plot_trace[1].pos, 0.0);
}

TEST_F(PlotModel, AFullBufferShiftsOutTheOldestAndKeepsTheNewestAtTheRightEdge)
{
  // Value k maps to row k.
  std::vector<double> all;
  for (int k = 0; k < 403; ++k) all.push_back(-k / 40.0);
  for (std::size_t from = 0; from < all.size(); from += 31) {
    const std::size_t to = std::min(all.size(), from + 31);
    take_over(
        std::vector<double>(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to)));
  }
  ASSERT_EQ(plot.plot_trace[0].count, 400);
  ASSERT_EQ(plot.plot_trace[0].npoints, 400);
  for (int i = 0; i < 400; ++i) ASSERT_EQ(row(0, i), i + 3) << "column " << i;
}

TEST_F(PlotModel, FortyOrMorePendingValuesEnterTheStatisticsButNotTheTrace)
{
  take_over(repeated(39, 1.0));
  EXPECT_EQ(plot.plot_trace[0].count, 39);
  take_over(repeated(40, 2.0));
  take_over(repeated(45, 3.0));
  EXPECT_EQ(plot.plot_trace[1].npoints, 39);
  EXPECT_EQ(row(1, 38), -40);
  EXPECT_EQ(plot.trace_stats[0].count, 100);
  EXPECT_EQ(plot.plot_trace[0].max, 3.0);
  EXPECT_EQ(plot.plot_read_index, 124);  // caught up, drawn or not
}

TEST_F(PlotModel, OnlyTheSecondTraceMovesTheReadIndexRoundTheRing)
{
  plot.plot_read_index = 995;
  graphic::plot_update_points(0, repeated(8, 0.0));
  EXPECT_EQ(plot.plot_read_index, 995);
  graphic::plot_update_points(1, repeated(8, 0.0));
  EXPECT_EQ(plot.plot_read_index, 3);
  EXPECT_EQ(graphic::pending_values(3, 995, 1000), 8);
  EXPECT_EQ(graphic::pending_values(7, 7, 1000), 0);
  EXPECT_EQ(graphic::pending_values(5, 0, 0), 0);  // history not yet sized
}

class TraceStats : public ::testing::Test {
 protected:
  void feed(double v, int n = 1)
  {
    for (int i = 0; i < n; ++i) graphic::stats_update(s, v);
  }
  graphic::ttrace_stats s;
};

TEST_F(TraceStats, AnExtremeLeavesAfterAHundredNewerValues)
{
  s.restart = -1;  // clear with the first value
  feed(5.0);
  feed(-5.0);
  feed(1.0, 98);
  EXPECT_EQ(s.max, 5.0);
  EXPECT_EQ(s.min, -5.0);
  feed(1.0);
  EXPECT_EQ(s.max, 1.0);
  EXPECT_EQ(s.min, -5.0);
  feed(1.0);
  EXPECT_EQ(s.min, 1.0);
  EXPECT_EQ(s.count, 100);
  EXPECT_EQ(s.mean, 1.0);
}

TEST_F(TraceStats, TheRescanKeepsTheNewestOfEqualExtremes)
{
  s.restart = -1;
  feed(5.0);  // age 99 at the rescan
  feed(1.0, 49);
  feed(5.0);  // age 49 at the rescan
  feed(1.0, 48);
  EXPECT_EQ(s.max_age, 99);
  feed(1.0);  // brings max_age to 100
  EXPECT_EQ(s.max, 5.0);
  EXPECT_EQ(s.max_age, 49);
  EXPECT_EQ(s.min, 1.0);
}

TEST_F(TraceStats, ARestartClearsWithTheTenthValueAndNotBefore)
{
  feed(-5.0);  // program start: nothing is cleared, the zero maximum stays
  EXPECT_EQ(s.max, 0.0);
  EXPECT_EQ(s.min, -5.0);
  feed(100.0, 20);
  s.restart = -10;
  feed(1.0, 9);
  EXPECT_EQ(s.max, 100.0);
  EXPECT_EQ(s.count, 30);
  feed(2.0);
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.max, 2.0);
  EXPECT_EQ(s.min, 2.0);
  EXPECT_EQ(s.mean, 2.0);
  feed(4.0);  // no further clearing
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(s.mean, 3.0);
}

TEST_F(PlotModel, AutosetRangeOfOnePointFourGetsTwoPerDivisionAroundTheMean)
{
  graphic::plot_restart_statistics();
  std::vector<double> values;
  double sum = 0.0;
  for (int i = 0; i < 110; ++i) values.push_back(99.2 + 0.1 * (i % 15));  // 99.2 … 100.6
  for (int i = 10; i < 110; ++i) sum += values[static_cast<std::size_t>(i)];
  graphic::plot_feed_statistics(0, values);
  graphic::plot_feed_statistics(1, repeated(20, 7.0));
  graphic::plot_autoset();
  EXPECT_EQ(plot.trace_scale_index[0], 46);
  EXPECT_EQ(plot.plot_trace[0].scale, 2.0);
  EXPECT_DOUBLE_EQ(plot.plot_trace[0].offset, sum / 100.0);
  EXPECT_EQ(plot.plot_trace[0].pos, 80.0);
  EXPECT_EQ(plot.trace_ypos[0], 80);
  // A constant trace: the range counts as 1e-20, the smallest scale.
  EXPECT_EQ(plot.trace_scale_index[1], 0);
  EXPECT_EQ(plot.plot_trace[1].scale, 1e-15);
  EXPECT_EQ(plot.plot_trace[1].offset, 7.0);
  EXPECT_EQ(plot.plot_trace[1].pos, 160.0);
  EXPECT_EQ(plot.trace_ypos[1], 160);
}

TEST_F(PlotModel, AutosetHugeRangesEndPastTheBarAndAreLimitedToTenToTheTwenty)
{
  graphic::plot_restart_statistics();
  std::vector<double> wide(10, 0.0);
  wide.push_back(5e15);  // start 87; nothing up to 90 exceeds it
  graphic::plot_feed_statistics(0, wide);
  std::vector<double> huge(10, 0.0);
  huge.push_back(1e40);  // counts as 1e20: start and end 102
  graphic::plot_feed_statistics(1, huge);
  graphic::plot_autoset();
  EXPECT_EQ(plot.trace_scale_index[0], 91);
  EXPECT_EQ(plot.plot_trace[0].scale, 2e15);
  EXPECT_EQ(plot.trace_scale_index[1], 102);
  EXPECT_EQ(plot.plot_trace[1].scale, 1e19);
}

class PlotDrawing : public ::testing::Test {
 protected:
  void SetUp() override
  {
    lcr::reset_engine_state();
    graphic::reset_plot_state();
    graphic::reset_plot_bitmaps();
    graphic::plot_setup(10, 6);
  }

  // What the measurement cycle does at each evaluation.
  static void publish(double first, double second)
  {
    const std::lock_guard lock(lcr::publication_lock);
    auto& e = lcr::engine;
    e.plot_history[0][static_cast<std::size_t>(e.plot_write_index)] = first;
    e.plot_history[1][static_cast<std::size_t>(e.plot_write_index)] = second;
    e.plot_write_index = (e.plot_write_index + 1) % lcr::plot_history_length;
  }
};

// Written from the pixel rules alone: dots every 8 pixels along the inner
// division lines, 6-pixel ticks at the divisions and 2-pixel ticks at the
// dots on every edge, lines ending one pixel short of their end point.
QRgb expected_grid_pixel(int x, int y)
{
  const bool inner_x = x > 0 && x < 400;
  const bool inner_y = y > 0 && y < 240;
  const bool tick =
      (inner_x && x % 40 == 0 && (y <= 5 || y >= 235)) || (inner_x && x % 8 == 0 && (y <= 1 || y >= 238)) ||
      (inner_y && y % 40 == 0 && (x <= 5 || x >= 395)) || (inner_y && y % 8 == 0 && (x <= 1 || x >= 398));
  const bool dot = inner_x && inner_y && ((x % 8 == 0 && y % 40 == 0) || (x % 40 == 0 && y % 8 == 0));
  if (tick) return qRgb(160, 160, 160);
  return dot ? qRgb(128, 128, 128) : qRgb(0, 0, 0);
}

TEST_F(PlotDrawing, GridMatchesTheDotAndTickRulesPixelByPixel)
{
  const QImage& grid = graphic::plot_bitmaps.grid_bitmap;
  ASSERT_EQ(grid.size(), QSize(400, 240));
  ASSERT_EQ(grid.format(), QImage::Format_RGB32);
  int mismatches = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 400; ++x) {
      if (grid.pixel(x, y) == expected_grid_pixel(x, y)) continue;
      ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << grid.pixel(x, y);
      if (++mismatches == 10) return;
    }
  }
  EXPECT_TRUE(graphic::plot_draw() == grid);  // no values yet: the picture is the grid
}

TEST_F(PlotDrawing, TracesAreDrawnInTheirColoursThroughEveryPointTheSecondOnTop)
{
  publish(-1.0, -3.0);
  publish(-2.0, -2.0);
  publish(-2.0, -2.0);
  const QImage picture = graphic::plot_draw();
  const QRgb green = qRgb(0, 255, 0);
  const QRgb yellow = qRgb(255, 255, 0);
  // Steep segments from column 0 to 1: trace 1 from row 40 down to 80, trace
  // 2 from row 120 up to 80, each one pixel per row without a gap.
  for (int y = 40; y < 80; ++y) {
    EXPECT_EQ((picture.pixel(0, y) == green) + (picture.pixel(1, y) == green), 1) << "row " << y;
  }
  for (int y = 81; y <= 120; ++y) {
    EXPECT_EQ((picture.pixel(0, y) == yellow) + (picture.pixel(1, y) == yellow), 1) << "row " << y;
  }
  EXPECT_EQ(picture.pixel(0, 40), green);
  EXPECT_EQ(picture.pixel(0, 120), yellow);
  // Both then run along row 80; the last point is drawn, in trace 2's colour.
  EXPECT_EQ(picture.pixel(1, 80), yellow);
  EXPECT_EQ(picture.pixel(2, 80), yellow);
  EXPECT_EQ(picture.pixel(3, 80), expected_grid_pixel(3, 80));
  EXPECT_EQ(picture.pixel(0, 39), expected_grid_pixel(0, 39));
}

TEST_F(PlotDrawing, AFrozenStretchFeedsTheStatisticsAndTheTraceResumesAcrossTheRingEnd)
{
  {
    const std::lock_guard lock(lcr::publication_lock);
    for (const auto& history : lcr::engine.plot_history) ASSERT_EQ(history, repeated(1000, 0.0));
  }
  for (int i = 0; i < 990; ++i) publish(-1.0, 0.0);
  graphic::plot_draw();  // 990 pending, as after a long freeze
  EXPECT_EQ(plot.plot_trace[0].npoints, 0);
  EXPECT_EQ(plot.trace_stats[0].count, 100);
  EXPECT_EQ(plot.plot_read_index, 990);
  for (int i = 0; i < 15; ++i) publish(-i / 40.0, 0.0);  // rows 0 … 14, wrapping at 1000
  graphic::plot_draw();
  EXPECT_EQ(plot.plot_read_index, 5);
  ASSERT_EQ(plot.plot_trace[0].npoints, 15);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(row(0, i), i);
}

}  // namespace
