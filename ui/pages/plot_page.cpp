// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/plot_page.h"

#include "ui/plot/plot_drawing.h"
#include "ui/plot/plot_model.h"
#include "ui/widgets/engine_text.h"
#include "ui/widgets/export_file.h"

#include "engine/core/csv_text.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <QEvent>
#include <QScrollBar>

namespace {

constexpr int plot_columns = 10;
constexpr int plot_rows = 6;

// The end of scrolling: the mouse or key that scrolled is released.
class tend_of_scrolling : public QObject {
public:
  tend_of_scrolling(QScrollBar& bar, std::function<void()> ended) : QObject(&bar), ended_(std::move(ended))
  {
    bar.installEventFilter(this);
  }

protected:
  bool eventFilter(QObject*, QEvent* event) override
  {
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyRelease) ended_();
    return false;
  }

private:
  std::function<void()> ended_;
};

}  // namespace

std::optional<int> jog_scroll(tscroll_code code, int& position, int& offset_base)
{
  switch (code) {
    case tscroll_code::line_up:
    case tscroll_code::line_down:
    case tscroll_code::end_scroll:
      offset_base += position;
      position = 0;
      return offset_base;
    case tscroll_code::track:
      return offset_base + position;
    default:
      return std::nullopt;
  }
}

tplot_page::tplot_page(QWidget* parent) : QWidget(parent)
{
  ui.setupUi(this);
  connect_jog(ui.ScrollBar1, &tplot_page::ScrollBar1Scroll);
  connect_jog(ui.ScrollBar3, &tplot_page::ScrollBar3Scroll);
  connect(ui.ScrollBar2, &QScrollBar::valueChanged, this, &tplot_page::ScrollBar2Change);
  connect(ui.ScrollBar4, &QScrollBar::valueChanged, this, &tplot_page::ScrollBar4Change);
  connect(ui.Button3, &QPushButton::clicked, this, &tplot_page::Button3Click);
  connect(ui.Button6, &QPushButton::clicked, this, &tplot_page::Button6Click);
  connect(ui.Button11, &QPushButton::clicked, this, &tplot_page::Button11Click);
  connect(ui.Button12, &QPushButton::clicked, this, &tplot_page::Button12Click);
}

void tplot_page::connect_jog(QScrollBar* bar, void (tplot_page::*handler)(tscroll_code, int))
{
  // Qt reports a step with the bar's new position before its value
  // follows, a drag as slider moves, and no end of scrolling: the release
  // of the mouse or key stands for it.
  connect(bar, &QScrollBar::actionTriggered, this, [this, bar, handler](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub: (this->*handler)(tscroll_code::line_up, bar->sliderPosition()); break;
      case QAbstractSlider::SliderSingleStepAdd: (this->*handler)(tscroll_code::line_down, bar->sliderPosition()); break;
      case QAbstractSlider::SliderPageStepSub: (this->*handler)(tscroll_code::page_up, bar->sliderPosition()); break;
      case QAbstractSlider::SliderPageStepAdd: (this->*handler)(tscroll_code::page_down, bar->sliderPosition()); break;
      case QAbstractSlider::SliderToMinimum: (this->*handler)(tscroll_code::top, bar->sliderPosition()); break;
      case QAbstractSlider::SliderToMaximum: (this->*handler)(tscroll_code::bottom, bar->sliderPosition()); break;
      default: break;  // a drag arrives as slider moves
    }
  });
  connect(bar, &QScrollBar::sliderMoved, this, [this, handler](int position) { (this->*handler)(tscroll_code::track, position); });
  connect(bar, &QScrollBar::sliderReleased, this, [this, bar, handler] { (this->*handler)(tscroll_code::end_scroll, bar->value()); });
  new tend_of_scrolling(*bar, [this, bar, handler] { (this->*handler)(tscroll_code::end_scroll, bar->value()); });
}

void tplot_page::ScrollBar1Scroll(tscroll_code code, int position)
{
  jog(0, ui.ScrollBar1, code, position);
}

void tplot_page::ScrollBar3Scroll(tscroll_code code, int position)
{
  jog(1, ui.ScrollBar3, code, position);
}

void tplot_page::jog(int trace, QScrollBar* bar, tscroll_code code, int position)
{
  const auto t = static_cast<std::size_t>(trace);
  const std::optional<int> ypos = jog_scroll(code, position, trace_offset_base_[t]);
  if (code != tscroll_code::track) bar->setSliderPosition(position);
  if (!ypos) return;
  graphic::plot.trace_ypos[t] = *ypos;
  graphic::plot_set_position(trace);
}

void tplot_page::ScrollBar2Change()
{
  change_scale(0, ui.ScrollBar2, ui.Label46);
}

void tplot_page::ScrollBar4Change()
{
  change_scale(1, ui.ScrollBar4, ui.Label47);
}

void tplot_page::change_scale(int trace, const QScrollBar* bar, QLabel* label)
{
  const auto t = static_cast<std::size_t>(trace);
  graphic::plot.trace_scale_index[t] = bar->value();
  graphic::plot_set_scale(trace);
  lcr::tlcr_strings copy = trace == 0 ? lcr::engine.first_quantity : lcr::engine.second_quantity;
  lcr::format_quantity(0, copy, graphic::plot.trace_scale_value[t]);
  label->setText(tr("%1: %2 %3 / Teilung")
                     .arg(QString::fromStdString(copy.symbol), QString::fromStdString(copy.value_text),
                          unit_text(copy.unit_text)));
}

void tplot_page::Button3Click()
{
  graphic::plot_autoset();
  trace_offset_base_ = graphic::plot.trace_ypos;
  // A bar limits an index beyond its range; a bar that moves runs its
  // change handler.
  ui.ScrollBar2->setValue(graphic::plot.trace_scale_index[0]);
  ui.ScrollBar4->setValue(graphic::plot.trace_scale_index[1]);
}

void tplot_page::Button6Click()
{
  graphic::plot.plot_frozen = !graphic::plot.plot_frozen;
  ui.Button6->setText(graphic::plot.plot_frozen ? tr("Start") : tr("Stopp"));
}

void tplot_page::set_up_plot()
{
  ui.Bevel3->setGeometry(ui.Bevel3->x(), ui.Bevel3->y(), 402, 242);
  ui.PaintBox1->setGeometry(1, 1, ui.Bevel3->width() - 2, ui.Bevel3->height() - 2);
  graphic::plot_setup(plot_columns, plot_rows);
}

void tplot_page::draw_plot()
{
  if (graphic::plot.plot_frozen) return;
  ui.PaintBox1->show_image(graphic::plot_draw());
}

std::string tplot_page::traces_csv() const
{
  lcr::tlcr_strings first = lcr::engine.first_quantity;
  lcr::tlcr_strings second = lcr::engine.second_quantity;
  lcr::name_quantity(first);
  lcr::name_quantity(second);
  std::string text = lcr::csv_line({"seconds_before_newest", lcr::csv_field(first.symbol), lcr::csv_field(second.symbol)});
  const graphic::tplot_trace& trace_1 = graphic::plot.plot_trace[0];
  const graphic::tplot_trace& trace_2 = graphic::plot.plot_trace[1];
  const int count = std::min(trace_1.count, trace_2.count);
  for (int i = 0; i < count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double age_s = static_cast<double>(count - 1 - i) * lcr::eval_stride / waveio::in_rate;
    // A value from before its reading settled is plotted, not exported.
    const bool settled = trace_1.settled[k] != 0;
    text += lcr::csv_line({lcr::csv_number(age_s), settled ? lcr::csv_number(trace_1.values[k]) : std::string(),
                           settled ? lcr::csv_number(trace_2.values[k]) : std::string()});
  }
  return text;
}

void tplot_page::Button11Click()
{
  export_csv(tr("Zeitverlauf exportieren"), QStringLiteral("Zeitverlauf.csv"), traces_csv());
}

void tplot_page::Button12Click()
{
  export_png(tr("Zeitverlauf als Bild"), QStringLiteral("Zeitverlauf.png"), ui.PaintBox1->image());
}
