// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/response_plot.h"

#include "ui/plot/plot_drawing.h"

#include "ui/widgets/engine_text.h"
#include "ui/widgets/locale_number.h"

#include "engine/quantities/quantity_texts.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace graphic {

namespace {

constexpr double lowest_hz = 100.0;
constexpr double highest_hz = 20000.0;
constexpr int top_margin = 18;  // the legend above the top scale value
constexpr int bottom_margin = 14;
constexpr int label_gap = 4;    // between the frame and a scale value (and a point's square)
constexpr QRgb doubtful_colour = qRgb(128, 128, 128);  // the status grey

double nice_step(double span)
{
  const double rough = span / 5.0;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * decade >= rough) return factor * decade;
  }
  return 10.0 * decade;
}

// "1 KOhm", "45 °": a decade's or a phase's scale value, as the time-course
// plot's scale texts.
QString tick_text(const std::string& quantity, double value)
{
  lcr::tlcr_strings record;
  record.quantity = quantity;
  lcr::format_quantity(0, record, value);
  return QString::fromStdString(record.value_text).trimmed() + ' ' + unit_text(record.unit_text);
}

// A linear scale's values in one unit, with as many decimals as make
// neighbours differ: "0,990 µF", "1,000 µF", "1,010 µF".
std::vector<QString> linear_tick_texts(const tresponse_axis& axis, const std::string& quantity)
{
  const std::vector<double> ticks = axis_ticks(axis);
  double largest = 0.0;
  for (const double tick : ticks) largest = std::max(largest, std::fabs(tick));
  const lcr::tunit_scale scale = lcr::unit_scale(quantity, largest);
  const double step = axis.step / scale.factor;
  const int decimals = step > 0.0 ? std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6) : 0;
  std::vector<QString> texts;
  for (const double tick : ticks) {
    const double shown = std::fabs(tick) < 1e-9 * axis.step ? 0.0 : tick / scale.factor;
    texts.push_back(QString::fromStdString(lcr::format_fixed(shown, decimals, 1, lcr::decimal_separator())) +
                    ' ' + unit_text(scale.unit_text));
  }
  return texts;
}

}  // namespace

std::vector<QString> scale_texts(const tresponse_trace& trace)
{
  if (trace.axis.logarithmic) {
    std::vector<QString> texts;
    for (const double tick : axis_ticks(trace.axis)) texts.push_back(tick_text(trace.quantity, tick));
    return texts;
  }
  return linear_tick_texts(trace.axis, trace.quantity);
}

namespace {

int widest(const std::vector<QString>& texts, const QFontMetrics& metrics)
{
  int width = 0;
  for (const QString& text : texts) width = std::max(width, metrics.horizontalAdvance(text));
  return width;
}

struct tframe {
  QRect area;  // where the traces go

  int x_of(double frequency_hz) const
  {
    return area.left() + static_cast<int>(std::lround(frequency_fraction(frequency_hz) * area.width()));
  }
  int y_of(const tresponse_axis& axis, double value) const
  {
    const double fraction = std::clamp(axis_fraction(axis, value), -1.0, 2.0);
    return area.bottom() - static_cast<int>(std::lround(fraction * area.height()));
  }
};

void draw_grid(QPainter& painter, const tframe& frame, std::span<const double> frequencies_hz,
               const tresponse_trace& first)
{
  painter.setPen(QColor(grid_dot_colour));
  for (const double f : frequencies_hz) {
    for (int y = frame.area.top(); y <= frame.area.bottom(); y += 4) painter.drawPoint(frame.x_of(f), y);
  }
  for (const double tick : axis_ticks(first.axis)) {
    const int y = frame.y_of(first.axis, tick);
    for (int x = frame.area.left(); x <= frame.area.right(); x += 4) painter.drawPoint(x, y);
  }
  painter.setPen(QColor(grid_tick_colour));
  painter.drawRect(frame.area);
}

// A scale value beside its grid line, kept within the frame's height so
// that the lowest does not run into the frequency labels below the frame.
int label_baseline(const tframe& frame, int y, const QFontMetrics& metrics)
{
  return std::clamp(y + metrics.ascent() / 2, frame.area.top() + metrics.ascent() / 2, frame.area.bottom());
}

void draw_frequency_scale(QPainter& painter, const tframe& frame, std::span<const double> frequencies_hz)
{
  const QFontMetrics metrics = painter.fontMetrics();
  painter.setPen(QColor(grid_tick_colour));
  for (const double f : {100.0, 1000.0, 10000.0}) {
    if (std::find(frequencies_hz.begin(), frequencies_hz.end(), f) == frequencies_hz.end()) continue;
    const QString text = frequency_text(f);
    painter.drawText(frame.x_of(f) - metrics.horizontalAdvance(text) / 2, frame.area.bottom() + metrics.ascent() + 2, text);
  }
}

// A trace's scale values beside its grid lines: ending left of the frame,
// or starting right of it.
void draw_scale(QPainter& painter, const tframe& frame, const tresponse_trace& trace, const std::vector<QString>& texts,
                QRgb colour, bool left_of_frame)
{
  const QFontMetrics metrics = painter.fontMetrics();
  painter.setPen(QColor(colour));
  const std::vector<double> ticks = axis_ticks(trace.axis);
  for (std::size_t i = 0; i < ticks.size() && i < texts.size(); ++i) {
    const int x = left_of_frame ? frame.area.left() - metrics.horizontalAdvance(texts[i]) - label_gap
                                : frame.area.right() + label_gap;
    painter.drawText(x, label_baseline(frame, frame.y_of(trace.axis, ticks[i]), metrics), texts[i]);
  }
}

// A point's deviation as a bar with short ends, within the frame.
void draw_deviation_bar(QPainter& painter, const tframe& frame, const tresponse_axis& axis, int x, double value,
                        double deviation)
{
  if (!std::isfinite(deviation) || !(deviation > 0.0)) return;
  const int top = std::clamp(frame.y_of(axis, value + deviation), frame.area.top(), frame.area.bottom());
  // Below zero on a logarithmic scale: the bar reaches the frame's foot.
  const int bottom = axis.logarithmic && !(value - deviation > 0.0)
                         ? frame.area.bottom()
                         : std::clamp(frame.y_of(axis, value - deviation), frame.area.top(), frame.area.bottom());
  painter.drawLine(x, top, x, bottom);
  painter.drawLine(x - 2, top, x + 2, top);
  painter.drawLine(x - 2, bottom, x + 2, bottom);
}

void draw_trace(QPainter& painter, const tframe& frame, std::span<const double> frequencies_hz,
                const tresponse_trace& trace, QRgb colour)
{
  const std::size_t count = std::min(frequencies_hz.size(), trace.values.size());
  for (std::size_t i = 0; i < count; ++i) {
    const QPoint point(frame.x_of(frequencies_hz[i]), frame.y_of(trace.axis, trace.values[i]));
    const bool doubtful = i < trace.doubtful.size() && trace.doubtful[i];
    painter.setPen(doubtful ? QColor(doubtful_colour) : QColor(colour));
    if (i < trace.deviations.size()) {
      draw_deviation_bar(painter, frame, trace.axis, point.x(), trace.values[i], trace.deviations[i]);
    }
    if (doubtful) {
      painter.fillRect(QRect(point - QPoint(2, 2), QSize(5, 5)), Qt::black);
      painter.drawRect(QRect(point - QPoint(2, 2), QSize(4, 4)));
    } else {
      painter.fillRect(QRect(point - QPoint(2, 2), QSize(5, 5)), QColor(colour));
    }
    painter.setPen(QColor(colour));
    if (i > 0) {
      painter.drawLine(QPoint(frame.x_of(frequencies_hz[i - 1]), frame.y_of(trace.axis, trace.values[i - 1])), point);
    }
  }
}

void draw_legend(QPainter& painter, const tframe& frame, const tresponse_trace& first, const tresponse_trace& second)
{
  const QFontMetrics metrics = painter.fontMetrics();
  int x = frame.area.left();
  for (const auto& [trace, colour] : {std::pair{&first, trace_colour_1}, {&second, trace_colour_2}}) {
    painter.fillRect(QRect(x, 2, 8, 8), QColor(colour));
    painter.setPen(QColor(colour));
    painter.drawText(x + 11, 1 + metrics.ascent(), trace->caption);
    x += 11 + metrics.horizontalAdvance(trace->caption) + 14;
  }
}

}  // namespace

tresponse_axis logarithmic_axis(std::span<const double> values)
{
  double smallest = 0.0;
  double largest = 0.0;
  for (const double value : values) {
    if (!(value > 0.0) || !std::isfinite(value)) continue;
    smallest = smallest > 0.0 ? std::min(smallest, value) : value;
    largest = std::max(largest, value);
  }
  if (!(smallest > 0.0)) return {1.0, 10.0, true, 0.0};
  double low = std::pow(10.0, std::floor(std::log10(smallest)));
  double high = std::pow(10.0, std::ceil(std::log10(largest)));
  if (high <= low) high = low * 10.0;
  return {low, high, true, 0.0};
}

tresponse_axis linear_axis(std::span<const double> values, double least_half_span)
{
  double low = 0.0;
  double high = 0.0;
  bool any = false;
  for (const double value : values) {
    if (!std::isfinite(value)) continue;
    low = any ? std::min(low, value) : value;
    high = any ? std::max(high, value) : value;
    any = true;
  }
  if (!any) return {0.0, 1.0, false, 0.2};
  if (low > 0.0 && high > 0.0 && low < 0.5 * high) low = 0.0;  // the zero line helps the eye
  // Points closer together than they are known would draw their noise as a
  // curve: the span is at least ±1 % of the largest value, and at least
  // what the caller asks for.
  const double least = std::max({least_half_span, 0.01 * std::max(std::fabs(low), std::fabs(high)),
                                 std::numeric_limits<double>::min()});
  if (high - low < 2.0 * least) {
    const double middle = (low + high) / 2.0;
    low = middle - least;
    high = middle + least;
  }
  const double step = nice_step(high - low);
  return {std::floor(low / step) * step, std::ceil(high / step) * step, false, step};
}

tresponse_axis phase_axis()
{
  return {-90.0, 90.0, false, 45.0};
}

double axis_fraction(const tresponse_axis& axis, double value)
{
  if (axis.logarithmic) {
    if (!(value > 0.0)) return -1.0;
    return (std::log10(value) - std::log10(axis.low)) / (std::log10(axis.high) - std::log10(axis.low));
  }
  return (value - axis.low) / (axis.high - axis.low);
}

std::vector<double> axis_ticks(const tresponse_axis& axis)
{
  std::vector<double> ticks;
  if (axis.logarithmic) {
    for (double tick = axis.low; tick <= axis.high * 1.000001; tick *= 10.0) ticks.push_back(tick);
  } else if (axis.step > 0.0) {
    const auto steps = static_cast<int>(std::lround((axis.high - axis.low) / axis.step));
    for (int i = 0; i <= steps; ++i) ticks.push_back(axis.low + i * axis.step);
  }
  return ticks;
}

double frequency_fraction(double frequency_hz)
{
  return (std::log10(frequency_hz) - std::log10(lowest_hz)) / (std::log10(highest_hz) - std::log10(lowest_hz));
}

QImage draw_response_plot(QSize size, std::span<const double> frequencies_hz, const tresponse_trace& first,
                          const tresponse_trace& second)
{
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // The scales take the room their widest value needs: none is cut, and
  // the points' squares at the frame's edges stay clear of them.
  const QFontMetrics metrics = painter.fontMetrics();
  const std::vector<QString> first_texts = scale_texts(first);
  const std::vector<QString> second_texts = scale_texts(second);
  const int left_margin = widest(first_texts, metrics) + label_gap + 2;
  const int right_margin =
      std::max(widest(second_texts, metrics), metrics.horizontalAdvance(frequency_text(10000.0)) / 2) + label_gap + 2;
  const tframe frame{QRect(left_margin, top_margin, size.width() - left_margin - right_margin,
                           size.height() - top_margin - bottom_margin)};
  draw_grid(painter, frame, frequencies_hz, first);
  draw_frequency_scale(painter, frame, frequencies_hz);
  draw_scale(painter, frame, first, first_texts, trace_colour_1, true);
  draw_scale(painter, frame, second, second_texts, trace_colour_2, false);
  draw_trace(painter, frame, frequencies_hz, first, trace_colour_1);
  draw_trace(painter, frame, frequencies_hz, second, trace_colour_2);
  draw_legend(painter, frame, first, second);
  return image;
}

}  // namespace graphic
