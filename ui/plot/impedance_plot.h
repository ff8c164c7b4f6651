// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The impedance curve's plot: |Z| (green, left scale) and the phase
// (yellow, right scale) over a logarithmic frequency axis that spans the
// curve, each with the band of its points' deviation, on the other plots'
// black ground and grey grid. Points whose reading is uncalibrated or
// doubtful are drawn dim; an imported curve is drawn dashed beside it.
//
// |Z| has whole decades on a logarithmic scale: a loudspeaker's minimum of
// a few ohm and its resonance peak of tens, and a crossover part's
// milliohm to kiloohm, are read alike, and a point's band is as wide as its
// relative deviation wherever it lies.
//
// The axes' arithmetic is plain functions; the widget draws a QImage and
// names the frequency under the mouse. Window's thread.

#include "engine/analyser/zma_text.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>
#include <span>
#include <vector>

namespace graphic {

struct timpedance_point {
  double frequency_hz = 0.0;
  double magnitude_ohm = 0.0;
  double magnitude_deviation_ohm = 0.0;  // not finite: unknown (no band) or unbounded (the frame's height)
  double phase_deg = 0.0;
  double phase_deviation_deg = 0.0;
  bool dim = false;  // uncalibrated or doubtful
};

struct tfrequency_axis {
  double low_hz = 10.0;
  double high_hz = 20000.0;
};

// The measured curve's span; without one the overlay's; else 10 Hz … 20 kHz.
tfrequency_axis impedance_frequency_axis(std::span<const timpedance_point> curve,
                                         std::span<const lcr::tzma_point> overlay);
// 0 at low_hz, 1 at high_hz, logarithmically; and back.
double log_fraction(const tfrequency_axis& axis, double frequency_hz);
double frequency_at_fraction(const tfrequency_axis& axis, double fraction);

// The point nearest `frequency_hz` on the logarithmic axis; none in an
// empty curve.
std::optional<std::size_t> nearest_point(std::span<const timpedance_point> curve, double frequency_hz);

struct timpedance_legend {
  QString dim;      // what the dim points are
  QString overlay;  // the dashed curve's name
};

struct timpedance_picture {
  QImage image;
  QRect area;  // where the curves go, in the image's coordinates
  tfrequency_axis axis;
};

timpedance_picture draw_impedance_plot(QSize size, std::span<const timpedance_point> curve,
                                       std::span<const lcr::tzma_point> overlay,
                                       const timpedance_legend& legend);

}  // namespace graphic

class timpedance_plot : public QWidget {
  Q_OBJECT

public:
  explicit timpedance_plot(QWidget* parent = nullptr);

  void show_curves(std::vector<graphic::timpedance_point> curve, std::vector<lcr::tzma_point> overlay);
  // The frequency under widget column `x`; none beside the curves' area.
  std::optional<double> frequency_at(int x) const;
  const QImage& image() const { return picture_.image; }

signals:
  void cursor_moved(double frequency_hz);
  void cursor_left();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  void redraw();

  std::vector<graphic::timpedance_point> curve_;
  std::vector<lcr::tzma_point> overlay_;
  graphic::timpedance_picture picture_;
  std::optional<int> cursor_x_;  // widget column of the cursor line
};
