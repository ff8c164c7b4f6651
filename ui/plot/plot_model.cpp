// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/plot_model.h"

#include "engine/measurement/measurement_cycle.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace graphic {

tplot_state plot;

namespace {

constexpr double cleared_max = -1e99;
constexpr double cleared_min = 1e99;
constexpr double smallest_range = 1e-20;
constexpr double largest_range = 1e20;
constexpr int last_scale_index = 90;
constexpr double y_limit_px = 1000.0;
constexpr std::array<int, trace_count> autoset_pos_px{2 * division_px, 4 * division_px};

bool valid_trace(int t)
{
  return t >= 0 && t < trace_count;
}

tplot_trace& trace_of(int t)
{
  return plot.plot_trace[static_cast<std::size_t>(t)];
}

// 10^k by repeated multiplication: exact up to 10^22, where a library pow
// need not be.
double power_of_ten(int k)
{
  if (k > 22) return std::pow(10.0, k);
  double p = 1.0;
  for (int i = 0; i < k; ++i) p *= 10.0;
  return p;
}

// The value taken in `age` updates ago (0: the one at wpos).
std::size_t age_slot(const ttrace_stats& s, int age)
{
  return static_cast<std::size_t>((s.wpos + stats_window - age) % stats_window);
}

void clear_stats(ttrace_stats& s)
{
  s.max = cleared_max;
  s.min = cleared_min;
  s.max_age = 0;
  s.min_age = 0;
  s.mean = 0.0;
  s.wpos = 0;
  s.count = 0;
  s.values.fill(0.0);
}

double newest_first_mean(const ttrace_stats& s)
{
  double sum = 0.0;
  for (int j = 0; j < s.count; ++j) sum += s.values[age_slot(s, j)];
  return sum / s.count;
}

// Strict comparisons newest first: among equal values the newest is kept.
void rescan_max(ttrace_stats& s)
{
  s.max = cleared_max;
  for (int j = 0; j < s.count; ++j) {
    const double v = s.values[age_slot(s, j)];
    if (v > s.max) {
      s.max = v;
      s.max_age = j;
    }
  }
}

void rescan_min(ttrace_stats& s)
{
  s.min = cleared_min;
  for (int j = 0; j < s.count; ++j) {
    const double v = s.values[age_slot(s, j)];
    if (v < s.min) {
      s.min = v;
      s.min_age = j;
    }
  }
}

void append_values(tplot_trace& trace, std::span<const double> pending, std::span<const std::uint8_t> settled)
{
  const int d = static_cast<int>(pending.size());
  if (trace.count + d > plot.plot_width) {
    const int s = trace.count + d - plot.plot_width;
    std::copy(trace.values.begin() + s, trace.values.begin() + trace.count, trace.values.begin());
    std::copy(trace.settled.begin() + s, trace.settled.begin() + trace.count, trace.settled.begin());
    trace.count = plot.plot_width - d;
  }
  std::copy(pending.begin(), pending.end(), trace.values.begin() + trace.count);
  for (int i = 0; i < d; ++i) {
    const auto k = static_cast<std::size_t>(i);
    trace.settled[static_cast<std::size_t>(trace.count + i)] = k < settled.size() ? settled[k] : 1;
  }
  trace.count += d;
}

// A NaN, which the engine never publishes, lands below the picture instead
// of reaching an undefined rounding.
double clamp_y_px(double y)
{
  if (!(y >= -y_limit_px)) return -y_limit_px;
  return std::min(y, y_limit_px);
}

void recompute_points(tplot_trace& trace)
{
  for (int i = 0; i < trace.count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double y = (trace.values[k] - trace.offset) / trace.scale * division_px - trace.pos;
    trace.points[k] = {i, static_cast<std::int32_t>(-std::lround(clamp_y_px(y)))};
  }
  trace.npoints = trace.count;
}

int autoset_scale_index(double range)
{
  const double r = std::clamp(range, smallest_range, largest_range);
  int j = std::max(0, (static_cast<int>(std::trunc(std::log10(r))) + 14) * 3);
  // The search stops past the bar's last index, so j can end beyond it.
  while (!(scale_value(j) > r) && j <= last_scale_index) ++j;
  return j;
}

}  // namespace

double scale_value(int j)
{
  constexpr std::array<double, 3> mantissas{1.0, 2.0, 5.0};
  const int index = std::max(j, 0);
  const double mantissa = mantissas[static_cast<std::size_t>(index % 3)];
  const int exponent = index / 3 - 15;
  // Dividing by an exact 10^k rounds once, so 5e-15 is the nearest double.
  return exponent >= 0 ? mantissa * power_of_ten(exponent) : mantissa / power_of_ten(-exponent);
}

void stats_update(ttrace_stats& s, double v)
{
  if (s.restart < 1) {
    ++s.restart;
    if (s.restart == 0) clear_stats(s);
  }
  s.values[age_slot(s, 0)] = v;
  if (v > s.max) {
    s.max = v;
    s.max_age = 0;
  }
  if (v < s.min) {
    s.min = v;
    s.min_age = 0;
  }
  if (s.count < stats_window) ++s.count;
  s.mean = newest_first_mean(s);
  if (++s.max_age == stats_window) rescan_max(s);
  if (++s.min_age == stats_window) rescan_min(s);
  s.wpos = (s.wpos + 1) % stats_window;
}

void reset_plot_state()
{
  plot = tplot_state{};
}

void plot_set_geometry(int columns, int rows)
{
  plot.plot_width = std::clamp(columns, 1, (plot_buffer_length - 1) / division_px) * division_px;
  plot.plot_height = std::max(rows, 1) * division_px;
  for (auto& trace : plot.plot_trace) trace.scale = 1.0;
}

int pending_values(int write_index, int read_index, int history_length)
{
  if (history_length <= 0) return 0;
  const int d = (history_length + write_index - read_index) % history_length;
  return d < 0 ? d + history_length : d;
}

void plot_feed_statistics(int t, std::span<const double> pending)
{
  if (!valid_trace(t)) return;
  auto& stats = plot.trace_stats[static_cast<std::size_t>(t)];
  auto& trace = trace_of(t);
  for (const double v : pending) {
    stats_update(stats, v);
    trace.max = stats.max;
    trace.min = stats.min;
    trace.mean = stats.mean;
  }
}

void plot_update_points(int t, std::span<const double> pending, std::span<const std::uint8_t> settled)
{
  if (!valid_trace(t)) return;
  const int d = static_cast<int>(pending.size());
  // Before the geometry is set there is no room for any value.
  if (d < skip_pending_from && d <= plot.plot_width) {
    auto& trace = trace_of(t);
    append_values(trace, pending, settled);
    recompute_points(trace);
  }
  if (t == trace_count - 1) {
    plot.plot_read_index = (plot.plot_read_index + d % lcr::plot_history_length) % lcr::plot_history_length;
  }
}

void plot_autoset()
{
  for (int t = 0; t < trace_count; ++t) {
    const auto k = static_cast<std::size_t>(t);
    auto& trace = trace_of(t);
    const int j = autoset_scale_index(trace.max - trace.min);
    trace.scale = scale_value(j);
    plot.trace_scale_index[k] = j;
    trace.offset = trace.mean;
    trace.pos = autoset_pos_px[k];
    plot.trace_ypos[k] = autoset_pos_px[k];
  }
}

void plot_restart_statistics()
{
  for (auto& stats : plot.trace_stats) stats.restart = -10;
}

void plot_set_scale(int t)
{
  if (!valid_trace(t)) return;
  const auto k = static_cast<std::size_t>(t);
  plot.trace_scale_value[k] = scale_value(plot.trace_scale_index[k]);
  trace_of(t).scale = plot.trace_scale_value[k];
}

void plot_set_position(int t)
{
  if (!valid_trace(t)) return;
  trace_of(t).pos = plot.trace_ypos[static_cast<std::size_t>(t)];
}

}  // namespace graphic
