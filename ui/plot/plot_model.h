// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The time-course plot's arithmetic: the 1-2-5 scale series, a sliding
// statistic over each trace's newest 100 values for "Auto Set", and the
// mapping of each trace's stored values to pixel points.
//
// Everything here belongs to the window's thread alone and is standard C++
// only; the drawing (plot_drawing.h) copies the engine's pending history
// values under `lcr::publication_lock` and hands those copies to
// plot_feed_statistics and plot_update_points, so nothing here touches the
// engine's shared state. Trace t is 0 ("Ka 1", the first quantity) or 1
// ("Ka 2", the second); operations given another t do nothing.

#include <array>
#include <cstdint>
#include <span>

namespace graphic {

inline constexpr int trace_count = 2;
inline constexpr int plot_buffer_length = 2001;  // value and point entries per trace
inline constexpr int stats_window = 100;         // values in a sliding statistic
inline constexpr int division_px = 40;           // pixels per division, both ways
// Pending values from this many on (two seconds of measurements) enter the
// statistics but not the trace: after a freeze the trace resumes at now.
inline constexpr int skip_pending_from = 40;
inline constexpr int scale_index_start = 45;  // the "Y Streckung" bars' start; scale 1

// {1, 2, 5}[j mod 3] × 10^(j div 3 − 15): 0 gives 1e-15, 45 gives 1, 90
// gives 1e15. Each value is the double nearest to its decimal. A negative j
// counts as 0.
double scale_value(int j);

// Sliding statistic over the newest 100 values of one trace. All zero at
// program start.
struct ttrace_stats {
  std::array<double, stats_window> values{};  // circular
  int wpos = 0;                               // where the next value goes
  int count = 0;                              // 0 … 100
  double max = 0.0;
  double min = 0.0;
  double mean = 0.0;
  int max_age = 0;  // updates since the maximum came in; a rescan at 100
  int min_age = 0;
  int restart = 0;  // below 1: counts up; reaching 0 clears the statistic
};

// Takes v into the statistic. Maximum and minimum are tracked by age and
// rescanned only when they leave the window, newest first, so among equal
// values the newest is kept.
void stats_update(ttrace_stats& s, double v);

struct tplot_point {
  std::int32_t x = 0;  // pixel column
  std::int32_t y = 0;  // pixel row from the top
};

struct tplot_trace {
  int count = 0;     // values in `values`, 0 … plot_width
  double max = 0.0;  // copies of the trace's statistic, in the quantity's unit
  double min = 0.0;
  double mean = 0.0;
  int npoints = 0;      // valid entries of `points`
  double scale = 1.0;   // quantity value per division
  double offset = 0.0;  // quantity value drawn at row `pos`
  double pos = 0.0;     // pixel row from the top
  std::array<double, plot_buffer_length> values{};
  std::array<std::uint8_t, plot_buffer_length> settled{};  // beside each value
  std::array<tplot_point, plot_buffer_length> points{};
};

struct tplot_state {
  std::array<tplot_trace, trace_count> plot_trace;
  std::array<ttrace_stats, trace_count> trace_stats;
  std::array<int, trace_count> trace_scale_index{scale_index_start, scale_index_start};  // 0 … 90
  std::array<double, trace_count> trace_scale_value{1.0, 1.0};  // value per division, for the text
  std::array<int, trace_count> trace_ypos{0, 0};                // pixels
  int plot_read_index = 0;   // next history element not yet taken over, both traces
  bool plot_frozen = false;  // read and toggled by the window; a frozen plot is not drawn
  int plot_width = 0;        // pixels; 0 until the geometry is set
  int plot_height = 0;       // pixels
};

// The one instance; window's thread only.
extern tplot_state plot;

// Program-start state (a test's fresh state).
void reset_plot_state();

// Columns and rows of 40-pixel divisions: plot_width := columns × 40,
// plot_height := rows × 40, both traces' scale := 1. Columns are limited to
// 1 … 50 (the buffers' width), rows to at least 1.
void plot_set_geometry(int columns, int rows);

// Elements of a ring of `history_length` between the reader and the writer:
// (history_length + write_index − read_index) mod history_length; 0 for an
// empty ring.
int pending_values(int write_index, int read_index, int history_length);

// Takes the pending values of trace t (oldest first) into its statistic and
// copies maximum, minimum and mean into the trace. The read index stays.
void plot_feed_statistics(int t, std::span<const double> pending);

// Appends the pending values of trace t (oldest first) to its value buffer,
// shifting out the oldest when it would overflow plot_width, and recomputes
// every point from the stored values with the trace's scale, offset and pos.
// With 40 or more pending values the trace is left as it was. For t = 1,
// called after trace 0 with the same values' count, the read index then
// moves past the pending values, drawn or not.
// `settled` tells for each pending value whether its reading had settled
// (kept beside the values for the export); none given: all had.
void plot_update_points(int t, std::span<const double> pending, std::span<const std::uint8_t> settled = {});

// Chooses for both traces the smallest scale above the statistic's recent
// range (trace_scale_index and scale), offset := the statistic's mean, and
// puts trace 1's mean two divisions and trace 2's four divisions below the
// top edge (pos and trace_ypos 80 and 160). The window moves its bars to
// the chosen indices, which may exceed 90.
void plot_autoset();

// Both statistics clear with the tenth value from now; the nine before still
// enter the old ones, so values measured just after a change of level or
// mode do not spoil "Auto Set".
void plot_restart_statistics();

// After the window stored the bar's position in trace_scale_index[t]:
// scale and trace_scale_value := scale_value(trace_scale_index[t]).
void plot_set_scale(int t);

// After the window stored the new position in trace_ypos[t]: pos := it.
void plot_set_position(int t);

}  // namespace graphic
