// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frequency-response plot of a sweep: two traces over the eight test
// frequencies on a logarithmic frequency axis, the first (green) on the
// left scale, the second (yellow) on the right, on the time-course plot's
// black ground with its grey grid, each point with the bar of its
// deviation. The axes' arithmetic is plain functions;
// the drawing makes a QImage. Window's thread.

#include <QImage>
#include <QString>

#include <span>
#include <string>
#include <vector>

namespace graphic {

// A value axis from `low` to `high`: logarithmic over whole decades, or
// linear in steps of 1, 2 or 5 times a power of ten.
struct tresponse_axis {
  double low = 0.0;
  double high = 1.0;
  bool logarithmic = false;
  double step = 1.0;  // linear axes
};

// Whole decades around the positive values (at least one); nothing
// positive gives 1 … 10.
tresponse_axis logarithmic_axis(std::span<const double> values);
// Four to ten steps of 1-2-5 around the values, zero included when they
// change sign; never narrower than ±1 % of the largest value nor than
// ±`least_half_span` around their middle (a few times the points' own
// deviation), so that noise is not drawn as a curve.
tresponse_axis linear_axis(std::span<const double> values, double least_half_span = 0.0);
// −90° … +90° in steps of 45°.
tresponse_axis phase_axis();

// 0 at `low`, 1 at `high` (beyond them outside 0 … 1).
double axis_fraction(const tresponse_axis& axis, double value);
std::vector<double> axis_ticks(const tresponse_axis& axis);
// 100 Hz at 0, 20 KHz at 1, logarithmically.
double frequency_fraction(double frequency_hz);

struct tresponse_trace {
  std::vector<double> values;  // one per frequency
  tresponse_axis axis;
  std::string quantity;        // the quantity key, for the scale's unit ("Z", "phi_Z", "C")
  QString caption;             // the legend: "|Z|", "phi", "Cs"
  // Each point's deviation, drawn as a bar from value − deviation to value
  // + deviation (none where empty or not finite), and the points a doubtful
  // divider ratio leaves uncertain, drawn hollow in grey.
  std::vector<double> deviations;
  std::vector<bool> doubtful;
};

// The scale's values as drawn beside its grid lines: decades as "1 KOhm",
// linear steps in one unit with the decimals that make neighbours differ.
std::vector<QString> scale_texts(const tresponse_trace& trace);

QImage draw_response_plot(QSize size, std::span<const double> frequencies_hz, const tresponse_trace& first,
                          const tresponse_trace& second);

}  // namespace graphic
