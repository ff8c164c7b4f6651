// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The time-course plot's pictures: the grid drawn once, and the composition
// of grid and both traces at every display tick.
//
// Window's thread only. plot_setup sizes the engine's plot history (under
// `lcr::publication_lock`, so the worker starts writing it from its next
// evaluation); plot_draw takes the engine's write index once and copies the
// pending history values of both traces under the same short lock, and does
// everything else outside it. Needs no QGuiApplication: only QImage.

#include "ui/plot/plot_model.h"

#include <QImage>
#include <QRgb>

#include <array>
#include <cstdint>
#include <vector>

namespace graphic {

inline constexpr QRgb grid_dot_colour = qRgb(128, 128, 128);
inline constexpr QRgb grid_tick_colour = qRgb(160, 160, 160);
inline constexpr QRgb trace_colour_1 = qRgb(0, 255, 0);    // "Kanal 1"
inline constexpr QRgb trace_colour_2 = qRgb(255, 255, 0);  // "Kanal 2"

struct tplot_bitmaps {
  QImage grid_bitmap;  // plot_width × plot_height, RGB32; drawn once by plot_setup
  QImage plot_bitmap;  // the composition, same size
  // Copies of the pending history values, reserved for a whole ring so that
  // nothing allocates while the lock is held.
  std::array<std::vector<double>, trace_count> pending;
  std::vector<std::uint8_t> pending_settled;  // whether each pending value had settled
};

// The one instance; window's thread only.
extern tplot_bitmaps plot_bitmaps;

// Releases both bitmaps and the copies (a test's fresh state).
void reset_plot_bitmaps();

// Window creation, with (10, 6): the geometry (plot_set_geometry), both
// bitmaps, the grid, and the engine's history of lcr::plot_history_length
// zeros per trace with write and read index 0.
void plot_setup(int columns, int rows);

// Display tick, unless plot_frozen: takes over the engine's new history
// values (statistics of both traces, then points of both, then the read
// index) and composes grid, trace 1 in green and trace 2 in yellow. The
// returned picture stays valid until the next plot_setup or plot_draw; the
// window paints it at (0, 0) of its paint box. Before plot_setup it is null.
const QImage& plot_draw();

}  // namespace graphic
