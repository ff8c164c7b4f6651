// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/plot_drawing.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace graphic {

tplot_bitmaps plot_bitmaps;

namespace {

constexpr int dots_per_division = 5;  // a grid dot every 8 pixels
constexpr int dot_step_px = division_px / dots_per_division;
constexpr int long_tick_px = 6;
constexpr int short_tick_px = 2;

enum class tend_point { included, excluded };

void put_pixel(QImage& image, int x, int y, QRgb colour)
{
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
  reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

bool both_outside(int a, int b, int limit)
{
  return (a < 0 && b < 0) || (a >= limit && b >= limit);
}

// Our own integer line (Bresenham, all octants) rather than QPainter: the
// paint engines differ in which pixels a one-pixel line covers and whether
// its last pixel is set, and the pictures must be the same pixels on every
// system. Clipped to the image pixel by pixel; a segment wholly beyond one
// edge (a trace above the picture) is skipped at once.
void draw_line(QImage& image, tplot_point from, tplot_point to, QRgb colour, tend_point end)
{
  if (both_outside(from.x, to.x, image.width()) || both_outside(from.y, to.y, image.height())) return;
  const int dx = std::abs(to.x - from.x);
  const int dy = -std::abs(to.y - from.y);
  const int sx = from.x < to.x ? 1 : -1;
  const int sy = from.y < to.y ? 1 : -1;
  int err = dx + dy;
  int x = from.x;
  int y = from.y;
  while (x != to.x || y != to.y) {
    put_pixel(image, x, y, colour);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  if (end == tend_point::included) put_pixel(image, x, y, colour);
}

void draw_tick(QImage& image, tplot_point from, tplot_point to)
{
  draw_line(image, from, to, grid_tick_colour, tend_point::excluded);
}

void draw_grid_dots(QImage& image, int columns, int rows)
{
  for (int e = 1; e <= dots_per_division * columns - 1; ++e) {
    for (int g = 1; g <= rows - 1; ++g) put_pixel(image, dot_step_px * e, division_px * g, grid_dot_colour);
  }
  for (int f = 1; f <= columns - 1; ++f) {
    for (int h = 1; h <= dots_per_division * rows - 1; ++h) {
      put_pixel(image, division_px * f, dot_step_px * h, grid_dot_colour);
    }
  }
}

// Ticks on all four edges: long ones at the divisions, short ones at the
// dots. Lines run from the edge (or one past it) inwards, end point
// excluded, so a tick from beyond the bottom or right edge shows one pixel
// less than its counterpart on the top or left.
void draw_grid_ticks(QImage& image, int columns, int rows)
{
  const int width = image.width();
  const int height = image.height();
  for (int g = 1; g <= columns - 1; ++g) {
    const int x = division_px * g;
    draw_tick(image, {x, 0}, {x, long_tick_px});
    draw_tick(image, {x, height}, {x, height - long_tick_px});
  }
  for (int h = 1; h <= dots_per_division * columns - 1; ++h) {
    const int x = dot_step_px * h;
    draw_tick(image, {x, 0}, {x, short_tick_px});
    draw_tick(image, {x, height - short_tick_px}, {x, height});
  }
  for (int m = 1; m <= rows - 1; ++m) {
    const int y = division_px * m;
    draw_tick(image, {0, y}, {long_tick_px, y});
    draw_tick(image, {width, y}, {width - long_tick_px, y});
  }
  for (int m = 1; m <= dots_per_division * rows - 1; ++m) {
    const int y = dot_step_px * m;
    draw_tick(image, {0, y}, {short_tick_px, y});
    draw_tick(image, {width - short_tick_px, y}, {width, y});
  }
}

// Fresh zeros are made outside the lock; under it the vectors only swap.
void size_engine_history()
{
  const auto length = static_cast<std::size_t>(lcr::plot_history_length);
  std::array<std::vector<double>, trace_count> fresh{std::vector<double>(length, 0.0),
                                                     std::vector<double>(length, 0.0)};
  std::vector<std::uint8_t> fresh_settled(length, 0);
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::engine.plot_history.swap(fresh);
    lcr::engine.plot_settled.swap(fresh_settled);
    lcr::engine.plot_write_index = 0;
  }
  plot.plot_read_index = 0;
  for (auto& copy : plot_bitmaps.pending) copy.reserve(length);
  plot_bitmaps.pending_settled.reserve(length);
}

// One write index for both traces, so both statistics and both traces take
// over the same values.
void copy_pending_values()
{
  const std::lock_guard lock(lcr::publication_lock);
  const auto& history = lcr::engine.plot_history;
  const bool sized = history[0].size() == history[1].size();
  const int length = sized ? static_cast<int>(history[0].size()) : 0;
  const int d = pending_values(lcr::engine.plot_write_index, plot.plot_read_index, length);
  for (std::size_t t = 0; t < history.size(); ++t) {
    auto& copy = plot_bitmaps.pending[t];
    copy.clear();
    for (int i = 0; i < d; ++i) {
      copy.push_back(history[t][static_cast<std::size_t>((plot.plot_read_index + i) % length)]);
    }
  }
  const auto& settled = lcr::engine.plot_settled;
  plot_bitmaps.pending_settled.clear();
  for (int i = 0; i < d && static_cast<int>(settled.size()) == length; ++i) {
    plot_bitmaps.pending_settled.push_back(settled[static_cast<std::size_t>((plot.plot_read_index + i) % length)]);
  }
}

void draw_trace(QImage& image, const tplot_trace& trace, QRgb colour)
{
  for (int i = 1; i < trace.npoints; ++i) {
    const auto k = static_cast<std::size_t>(i);
    draw_line(image, trace.points[k - 1], trace.points[k], colour, tend_point::included);
  }
}

void compose_picture()
{
  QImage& picture = plot_bitmaps.plot_bitmap;
  const QImage& grid = plot_bitmaps.grid_bitmap;
  if (picture.isNull() || picture.size() != grid.size()) return;
  std::memcpy(picture.bits(), grid.constBits(), static_cast<std::size_t>(grid.sizeInBytes()));
  draw_trace(picture, plot.plot_trace[0], trace_colour_1);
  draw_trace(picture, plot.plot_trace[1], trace_colour_2);
}

}  // namespace

void reset_plot_bitmaps()
{
  plot_bitmaps = tplot_bitmaps{};
}

void plot_setup(int columns, int rows)
{
  plot_set_geometry(columns, rows);
  const int used_columns = plot.plot_width / division_px;
  const int used_rows = plot.plot_height / division_px;
  plot_bitmaps.grid_bitmap = QImage(plot.plot_width, plot.plot_height, QImage::Format_RGB32);
  plot_bitmaps.plot_bitmap = QImage(plot.plot_width, plot.plot_height, QImage::Format_RGB32);
  plot_bitmaps.grid_bitmap.fill(qRgb(0, 0, 0));
  plot_bitmaps.plot_bitmap.fill(qRgb(0, 0, 0));
  size_engine_history();
  draw_grid_dots(plot_bitmaps.grid_bitmap, used_columns, used_rows);
  draw_grid_ticks(plot_bitmaps.grid_bitmap, used_columns, used_rows);
}

const QImage& plot_draw()
{
  copy_pending_values();
  const auto& pending = plot_bitmaps.pending;
  plot_feed_statistics(0, pending[0]);
  plot_feed_statistics(1, pending[1]);
  plot_update_points(0, pending[0], plot_bitmaps.pending_settled);
  plot_update_points(1, pending[1], plot_bitmaps.pending_settled);
  compose_picture();
  return plot_bitmaps.plot_bitmap;
}

}  // namespace graphic
