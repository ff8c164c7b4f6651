// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/impedance_plot.h"

#include "ui/plot/plot_drawing.h"
#include "ui/plot/response_plot.h"
#include "ui/widgets/locale_number.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace graphic {

namespace {

constexpr int top_margin = 18;  // the legend above the top scale value
constexpr int bottom_margin = 14;
constexpr int label_gap = 4;
constexpr int band_darkness = 350;  // QColor::darker: the deviation band, well behind the line
constexpr int dim_darkness = 200;   // the line of an uncalibrated or doubtful point

struct tframe {
  QRect area;
  tfrequency_axis frequencies;

  int x_of(double frequency_hz) const
  {
    const double fraction = std::clamp(log_fraction(frequencies, frequency_hz), -1.0, 2.0);
    return area.left() + static_cast<int>(std::lround(fraction * (area.width() - 1)));
  }
  // Far beyond the scale stays a few frames away, where the clip cuts it.
  int y_of(const tresponse_axis& axis, double value) const
  {
    const double fraction = std::clamp(axis_fraction(axis, value), -1.0, 2.0);
    return area.bottom() - static_cast<int>(std::lround(fraction * (area.height() - 1)));
  }
};

// A point as drawn: its value's row and its band's ends.
struct tdrawn {
  int x = 0;
  int y = 0;
  int top = 0;
  int bottom = 0;
};

tdrawn drawn_point(const tframe& frame, const tresponse_axis& axis, double frequency_hz, double value,
                   double deviation)
{
  const int x = frame.x_of(frequency_hz);
  const int y = frame.y_of(axis, value);
  if (std::isnan(deviation)) return {x, y, y, y};
  if (std::isinf(deviation)) return {x, y, frame.area.top(), frame.area.bottom()};
  const int top = frame.y_of(axis, value + deviation);
  // Down to zero or below on a logarithmic scale: the band reaches the foot.
  const int bottom = axis.logarithmic && !(value - deviation > 0.0) ? frame.area.bottom()
                                                                    : frame.y_of(axis, value - deviation);
  return {x, y, top, bottom};
}

void draw_band_and_line(QPainter& painter, const std::vector<tdrawn>& points,
                        std::span<const timpedance_point> curve, QRgb colour)
{
  const QColor band = QColor(colour).darker(band_darkness);
  painter.setPen(Qt::NoPen);
  painter.setBrush(band);
  if (points.size() == 1) {
    painter.fillRect(QRect(QPoint(points[0].x - 1, points[0].top), QPoint(points[0].x + 1, points[0].bottom)),
                     band);
  }
  for (std::size_t i = 1; i < points.size(); ++i) {
    const tdrawn& a = points[i - 1];
    const tdrawn& b = points[i];
    painter.drawPolygon(
        QPolygon({QPoint(a.x, a.top), QPoint(b.x, b.top), QPoint(b.x, b.bottom), QPoint(a.x, a.bottom)}));
  }
  painter.setBrush(Qt::NoBrush);
  const QColor dim = QColor(colour).darker(dim_darkness);
  for (std::size_t i = 1; i < points.size(); ++i) {
    painter.setPen(curve[i - 1].dim || curve[i].dim ? dim : QColor(colour));
    painter.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
  }
  // Squares where the points lie apart enough to be told apart.
  if (points.size() > 1 && points.back().x - points.front().x < 6 * static_cast<int>(points.size())) return;
  for (std::size_t i = 0; i < points.size(); ++i) {
    painter.fillRect(QRect(points[i].x - 1, points[i].y - 1, 3, 3), curve[i].dim ? dim : QColor(colour));
  }
}

void draw_overlay(QPainter& painter, const tframe& frame, std::span<const lcr::tzma_point> overlay,
                  const tresponse_axis& magnitude_axis, const tresponse_axis& phase_axis)
{
  QPolygon magnitude;
  QPolygon phase;
  for (const lcr::tzma_point& point : overlay) {
    magnitude << QPoint(frame.x_of(point.frequency_hz), frame.y_of(magnitude_axis, point.magnitude_ohm));
    phase << QPoint(frame.x_of(point.frequency_hz), frame.y_of(phase_axis, point.phase_deg));
  }
  // One polyline each, so that the dashes run on over points a pixel apart.
  painter.setPen(QPen(QColor(trace_colour_1), 1, Qt::DashLine));
  painter.drawPolyline(magnitude);
  painter.setPen(QPen(QColor(trace_colour_2), 1, Qt::DashLine));
  painter.drawPolyline(phase);
}

// Dots at 1, 2 and 5 of every decade and at the |Z| scale's decades.
void draw_grid(QPainter& painter, const tframe& frame, const tresponse_axis& magnitude_axis)
{
  painter.setPen(QColor(grid_dot_colour));
  for (double decade = std::pow(10.0, std::floor(std::log10(frame.frequencies.low_hz)));
       decade <= frame.frequencies.high_hz; decade *= 10.0) {
    for (const double step : {1.0, 2.0, 5.0}) {
      const double f = decade * step;
      if (f < frame.frequencies.low_hz || f > frame.frequencies.high_hz) continue;
      for (int y = frame.area.top(); y <= frame.area.bottom(); y += 4) painter.drawPoint(frame.x_of(f), y);
    }
  }
  for (const double tick : axis_ticks(magnitude_axis)) {
    const int y = frame.y_of(magnitude_axis, tick);
    for (int x = frame.area.left(); x <= frame.area.right(); x += 4) painter.drawPoint(x, y);
  }
  painter.setPen(QColor(grid_tick_colour));
  painter.drawRect(frame.area);
}

void draw_frequency_scale(QPainter& painter, const tframe& frame, int image_width)
{
  const QFontMetrics metrics = painter.fontMetrics();
  painter.setPen(QColor(grid_tick_colour));
  for (double decade = std::pow(10.0, std::ceil(std::log10(frame.frequencies.low_hz)));
       decade <= frame.frequencies.high_hz; decade *= 10.0) {
    const QString text = frequency_text(decade);
    const int width = metrics.horizontalAdvance(text);
    const int x = std::clamp(frame.x_of(decade) - width / 2, 0, image_width - width);
    painter.drawText(x, frame.area.bottom() + metrics.ascent() + 2, text);
  }
}

void draw_scale(QPainter& painter, const tframe& frame, const tresponse_trace& trace, QRgb colour,
                bool left_of_frame)
{
  const QFontMetrics metrics = painter.fontMetrics();
  painter.setPen(QColor(colour));
  const std::vector<double> ticks = axis_ticks(trace.axis);
  const std::vector<QString> texts = scale_texts(trace);
  for (std::size_t i = 0; i < ticks.size() && i < texts.size(); ++i) {
    const int x = left_of_frame ? frame.area.left() - metrics.horizontalAdvance(texts[i]) - label_gap
                                : frame.area.right() + label_gap;
    const int y = std::clamp(frame.y_of(trace.axis, ticks[i]) + metrics.ascent() / 2,
                             frame.area.top() + metrics.ascent() / 2, frame.area.bottom());
    painter.drawText(x, y, texts[i]);
  }
}

void draw_legend(QPainter& painter, const timpedance_legend& legend, bool any_dim, bool any_overlay)
{
  const QFontMetrics metrics = painter.fontMetrics();
  const int baseline = 1 + metrics.ascent();
  int x = label_gap;
  const auto caption = [&](const QString& text, QRgb colour) {
    painter.setPen(QColor(colour));
    painter.drawText(x, baseline, text);
    x += metrics.horizontalAdvance(text) + 12;
  };
  for (const auto& [text, colour] :
       {std::pair{QStringLiteral("|Z|"), trace_colour_1}, {QStringLiteral("phi"), trace_colour_2}}) {
    painter.fillRect(QRect(x, 3, 8, 8), QColor(colour));
    x += 11;
    caption(text, colour);
  }
  if (any_dim) {
    painter.fillRect(QRect(x, 3, 4, 8), QColor(trace_colour_1).darker(dim_darkness));
    painter.fillRect(QRect(x + 4, 3, 4, 8), QColor(trace_colour_2).darker(dim_darkness));
    x += 11;
    caption(legend.dim, grid_tick_colour);
  }
  if (any_overlay) {
    painter.setPen(QPen(QColor(grid_tick_colour), 1, Qt::DashLine));
    painter.drawLine(x, 7, x + 11, 7);
    x += 14;
    caption(legend.overlay, grid_tick_colour);
  }
}

// From the largest 1, 2 or 5 times a power of ten at or below the smallest
// value to the smallest at or above the largest: a woofer's 5.6 … 110 ohm
// fills 5 … 200 ohm, not 1 … 1000.
tresponse_axis magnitude_scale(std::span<const double> values)
{
  const tresponse_axis decades = logarithmic_axis(values);
  std::vector<double> positive;
  for (const double value : values) {
    if (value > 0.0 && std::isfinite(value)) positive.push_back(value);
  }
  if (positive.empty()) return decades;
  const auto [smallest, largest] = std::minmax_element(positive.begin(), positive.end());
  double low = decades.low;
  for (const double step : {5.0, 2.0}) {
    if (decades.low * step <= *smallest) {
      low = decades.low * step;
      break;
    }
  }
  double high = decades.high;
  for (const double step : {0.1, 0.2, 0.5}) {
    if (decades.high * step >= *largest && decades.high * step > low) {
      high = decades.high * step;
      break;
    }
  }
  return {low, high, true, 0.0};
}

int widest(const std::vector<QString>& texts, const QFontMetrics& metrics)
{
  int width = 0;
  for (const QString& text : texts) width = std::max(width, metrics.horizontalAdvance(text));
  return width;
}

}  // namespace

tfrequency_axis impedance_frequency_axis(std::span<const timpedance_point> curve,
                                         std::span<const lcr::tzma_point> overlay)
{
  tfrequency_axis axis;
  if (!curve.empty()) {
    axis = {curve.front().frequency_hz, curve.back().frequency_hz};
  } else if (!overlay.empty()) {
    axis = {overlay.front().frequency_hz, overlay.back().frequency_hz};
  }
  // A single point still needs an axis around it.
  if (!(axis.high_hz > axis.low_hz)) axis = {axis.low_hz / 2.0, axis.low_hz * 2.0};
  return axis;
}

double log_fraction(const tfrequency_axis& axis, double frequency_hz)
{
  return std::log(frequency_hz / axis.low_hz) / std::log(axis.high_hz / axis.low_hz);
}

double frequency_at_fraction(const tfrequency_axis& axis, double fraction)
{
  return axis.low_hz * std::pow(axis.high_hz / axis.low_hz, fraction);
}

std::optional<std::size_t> nearest_point(std::span<const timpedance_point> curve, double frequency_hz)
{
  if (curve.empty() || !(frequency_hz > 0.0)) return std::nullopt;
  const auto above =
      std::lower_bound(curve.begin(), curve.end(), frequency_hz,
                       [](const timpedance_point& point, double f) { return point.frequency_hz < f; });
  if (above == curve.begin()) return 0;
  if (above == curve.end()) return curve.size() - 1;
  const auto below = above - 1;
  // Nearer as the axis shows it: by ratio, not by difference.
  const bool lower = frequency_hz / below->frequency_hz < above->frequency_hz / frequency_hz;
  return static_cast<std::size_t>((lower ? below : above) - curve.begin());
}

timpedance_picture draw_impedance_plot(QSize size, std::span<const timpedance_point> curve,
                                       std::span<const lcr::tzma_point> overlay,
                                       const timpedance_legend& legend)
{
  std::vector<double> magnitudes;
  for (const timpedance_point& point : curve) magnitudes.push_back(point.magnitude_ohm);
  for (const lcr::tzma_point& point : overlay) magnitudes.push_back(point.magnitude_ohm);
  const tresponse_trace magnitude{{}, magnitude_scale(magnitudes), "Z", {}, {}, {}};
  const tresponse_trace phase{{}, phase_axis(), "phi_Z", {}, {}, {}};

  timpedance_picture picture;
  picture.image = QImage(size, QImage::Format_RGB32);
  picture.image.fill(Qt::black);
  QPainter painter(&picture.image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QFontMetrics metrics = painter.fontMetrics();
  const int left_margin = widest(scale_texts(magnitude), metrics) + label_gap + 2;
  const int right_margin =
      std::max(widest(scale_texts(phase), metrics), metrics.horizontalAdvance(frequency_text(10000.0)) / 2) +
      label_gap + 2;
  picture.axis = impedance_frequency_axis(curve, overlay);
  picture.area = QRect(left_margin, top_margin, size.width() - left_margin - right_margin,
                       size.height() - top_margin - bottom_margin);
  const tframe frame{picture.area, picture.axis};

  draw_grid(painter, frame, magnitude.axis);
  draw_frequency_scale(painter, frame, size.width());
  draw_scale(painter, frame, magnitude, trace_colour_1, true);
  draw_scale(painter, frame, phase, trace_colour_2, false);
  painter.setClipRect(frame.area.adjusted(1, 1, -1, -1));
  std::vector<tdrawn> magnitude_points;
  std::vector<tdrawn> phase_points;
  for (const timpedance_point& point : curve) {
    magnitude_points.push_back(drawn_point(frame, magnitude.axis, point.frequency_hz, point.magnitude_ohm,
                                           point.magnitude_deviation_ohm));
    phase_points.push_back(
        drawn_point(frame, phase.axis, point.frequency_hz, point.phase_deg, point.phase_deviation_deg));
  }
  draw_band_and_line(painter, phase_points, curve, trace_colour_2);
  draw_band_and_line(painter, magnitude_points, curve, trace_colour_1);
  draw_overlay(painter, frame, overlay, magnitude.axis, phase.axis);
  painter.setClipping(false);
  const bool any_dim =
      std::any_of(curve.begin(), curve.end(), [](const timpedance_point& point) { return point.dim; });
  draw_legend(painter, legend, any_dim, !overlay.empty());
  return picture;
}

}  // namespace graphic

timpedance_plot::timpedance_plot(QWidget* parent) : QWidget(parent)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
}

void timpedance_plot::show_curves(std::vector<graphic::timpedance_point> curve,
                                  std::vector<lcr::tzma_point> overlay)
{
  curve_ = std::move(curve);
  overlay_ = std::move(overlay);
  redraw();
}

std::optional<double> timpedance_plot::frequency_at(int x) const
{
  const QRect& area = picture_.area;
  if (area.width() < 2 || x < area.left() || x > area.right()) return std::nullopt;
  return graphic::frequency_at_fraction(picture_.axis,
                                        static_cast<double>(x - area.left()) / (area.width() - 1));
}

void timpedance_plot::redraw()
{
  picture_ =
      graphic::draw_impedance_plot(size(), curve_, overlay_, {tr("unkalibriert/ungünstig"), tr("Overlay")});
  update();
}

void timpedance_plot::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.drawImage(0, 0, picture_.image);
  if (!cursor_x_) return;
  painter.setPen(QColor(graphic::grid_tick_colour));
  painter.drawLine(*cursor_x_, picture_.area.top(), *cursor_x_, picture_.area.bottom());
}

void timpedance_plot::resizeEvent(QResizeEvent* event)
{
  QWidget::resizeEvent(event);
  redraw();
}

void timpedance_plot::mouseMoveEvent(QMouseEvent* event)
{
  const int x = event->position().toPoint().x();
  const std::optional<double> frequency_hz = frequency_at(x);
  if (frequency_hz) {
    cursor_x_ = x;
    emit cursor_moved(*frequency_hz);
  } else if (cursor_x_) {
    cursor_x_.reset();
    emit cursor_left();
  }
  update();
}

void timpedance_plot::leaveEvent(QEvent* event)
{
  QWidget::leaveEvent(event);
  cursor_x_.reset();
  emit cursor_left();
  update();
}
