// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/response_page.h"

#include "ui/plot/response_plot.h"
#include "ui/widgets/engine_text.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/export_file.h"
#include "ui/widgets/locale_number.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantities.h"
#include "engine/quantities/quantity_texts.h"

#include <QHeaderView>
#include <QHideEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

constexpr int show_magnitude_and_phase = 0;
constexpr int stepped_tones = 0;
// Ten curves a second, every other evaluation: each curve's eight
// deviation searches cost a few milliseconds of the window's thread. The
// page looks more often, so that the first curve after the start or after
// another device is shown as soon as it has settled.
constexpr int live_tick_ms = 20;
constexpr int live_evaluations_apart = 2;
QString axis_note()
{
  return tresponse_page::tr("Frequenzachse log., 100 Hz … 20 KHz");
}

lcr::tlcr_strings record_of(const char* key)
{
  lcr::tlcr_strings record;
  record.quantity = key;
  lcr::name_quantity(record);
  return record;
}

QString shown(lcr::tlcr_strings record, double value)
{
  lcr::format_quantity(1, record, value);
  return QString::fromStdString(record.value_text).trimmed() + ' ' + unit_text(record.unit_text);
}

// A deviation as the measuring page shows its "max. Abweichung"; a dash
// where it is not known.
QString deviation_shown(lcr::tlcr_strings record, double deviation)
{
  if (!std::isfinite(deviation)) return QStringLiteral("–");
  lcr::format_quantity(0, record, deviation);
  return QString::fromStdString(record.value_text).trimmed() + ' ' + unit_text(record.unit_text);
}

// What a row's two shown values are, with their deviations.
struct tshown_pair {
  double left = 0.0;
  double left_deviation = 0.0;
  double right = 0.0;
  double right_deviation = 0.0;
};

tshown_pair shown_pair(const lcr::tsweep_row& row, bool magnitude_and_phase)
{
  if (magnitude_and_phase) {
    return {lcr::c_abs(row.z), row.z_deviation, lcr::atan_deg(row.z.re, row.z.im), row.phase_deviation};
  }
  return {row.first_value, row.first_deviation, row.second_value, row.second_deviation};
}

// The fit's line breaks only after a comma or a colon: a value stays with
// its "±" and its unit ("± 664 mOhm").
QString unbroken_values(QString text)
{
  constexpr QChar no_break(0x00a0);
  text.replace(' ', no_break);
  text.replace(QStringLiteral(",") + no_break, QStringLiteral(", "));
  text.replace(QStringLiteral(":") + no_break, QStringLiteral(": "));
  return text;
}

// As the measuring page's "R ref" names them.
QString reference_text(int ref_index)
{
  static const std::array<const char*, lcr::ref_count> items{"10", "100", "1 k", "10 k", "100 k", "1 M"};
  return QString::fromLatin1(items[static_cast<std::size_t>(lcr::clamp_ref_index(ref_index))]);
}

}  // namespace

tresponse_page::tresponse_page(QWidget* parent) : QWidget(parent)
{
  ui.setupUi(this);
  {
    const QSignalBlocker quiet(ui.RadioGroup12);
    ui.RadioGroup12->set_item_index(show_magnitude_and_phase);
  }
  // Eight rows that always fit: no scrolling. Six columns of values and
  // their deviations take a smaller type than the controls.
  QFont table_font = ui.TableWidget1->font();
  table_font.setPixelSize(10);
  ui.TableWidget1->setFont(table_font);
  ui.TableWidget1->horizontalHeader()->setFont(table_font);
  ui.TableWidget1->verticalHeader()->hide();
  ui.TableWidget1->verticalHeader()->setDefaultSectionSize(18);
  ui.TableWidget1->horizontalHeader()->setFixedHeight(20);
  ui.TableWidget1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ui.TableWidget1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Columns as wide as their widest text, so that no value is elided; the
  // last takes the rest.
  ui.TableWidget1->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  ui.TableWidget1->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
  ui.Label57->setText(axis_note());
  live_timer_.setInterval(live_tick_ms);
  connect(&live_timer_, &QTimer::timeout, this, &tresponse_page::tick_live);
  connect(ui.Button13, &QPushButton::clicked, this, &tresponse_page::Button13Click);
  connect(ui.Button8, &QPushButton::clicked, this, &tresponse_page::Button8Click);
  connect(ui.Button9, &QPushButton::clicked, this, &tresponse_page::Button9Click);
  connect(ui.Button10, &QPushButton::clicked, this, &tresponse_page::Button10Click);
  connect(ui.RadioGroup12, &toption_group::click, this, &tresponse_page::RadioGroup12Click);
  fill_table();
  draw_plot();
}

void tresponse_page::allow_reference_switching(bool allowed)
{
  ui.CheckBox3->setEnabled(allowed);
  ui.CheckBox3->setToolTip(allowed ? QString()
                                   : tr("Nur im simulierten Messaufbau: am echten Adapter gilt der "
                                        "eingesetzte Widerstand (R ref)"));
}

bool tresponse_page::multitone_chosen() const
{
  return ui.ComboBox6->currentIndex() != stepped_tones;
}

void tresponse_page::Button8Click()
{
  if (sweep_ || live_) return;
  const bool auto_ref = ui.CheckBox3->isChecked() && ui.CheckBox3->isEnabled();
  ui.Button8->setEnabled(false);
  ui.Button13->setEnabled(true);
  ui.ComboBox6->setEnabled(false);
  ui.ProgressBar2->setValue(0);
  if (multitone_chosen()) {
    live_.emplace(auto_ref, std::nullopt, 30000 / live_tick_ms);
    // |Z| and the phase carry their deviations in every curve; the mode's
    // two quantities only while they are shown, else for the frozen curve
    // and an export.
    live_->set_values_only(ui.RadioGroup12->item_index() == show_magnitude_and_phase);
    start_live();
  } else {
    sweep_.emplace(auto_ref);
  }
}

void tresponse_page::Button13Click()
{
  if (live_) {
    stop_live();
    return;
  }
  if (!sweep_) return;
  sweep_->cancel();
  tick_sweep();
}

void tresponse_page::start_live()
{
  live_curves_shown_ = 0;
  rate_curves_ = 0;
  live_clock_.start();
  rate_since_ms_ = 0;
  ui.Label57->setText(tr("Multiton: wartet auf eingeschwungene Messung …"));
  live_timer_.start();
}

void tresponse_page::stop_live()
{
  if (!live_) return;
  live_timer_.stop();
  live_->stop();  // the single tone and the operator's reference return
  const std::string failure = live_->failure_text();
  if (!live_->rows().empty()) {
    rows_ = live_->rows();
    show_results();
  }
  live_.reset();
  ui.Button8->setEnabled(true);
  ui.Button13->setEnabled(false);
  ui.ComboBox6->setEnabled(true);
  ui.ProgressBar2->setValue(0);
  ui.Label57->setText(axis_note());
  if (!failure.empty()) show_error_message(engine_text(failure));
}

void tresponse_page::tick_live()
{
  if (!live_) return;
  if (!live_->tick(live_evaluations_apart)) {
    if (!live_->running()) stop_live();
    return;
  }
  rows_ = live_->rows();
  ++live_curves_shown_;
  ++rate_curves_;
  ui.ProgressBar2->setValue(100);
  show_results();
  show_live_rate();
}

// Curves per second over the last second or so.
void tresponse_page::show_live_rate()
{
  const qint64 now_ms = live_clock_.elapsed();
  if (now_ms - rate_since_ms_ < 1000 && live_curves_shown_ > 1) return;
  const double rate = live_curves_shown_ == 1 ? 0.0 : rate_curves_ * 1000.0 / static_cast<double>(now_ms - rate_since_ms_);
  ui.Label57->setText(live_curves_shown_ == 1 ? tr("Multiton live")
                                              : tr("Multiton live, %1 Kurven/s").arg(rate, 0, 'f', 1));
  rate_curves_ = 0;
  rate_since_ms_ = now_ms;
}

void tresponse_page::hideEvent(QHideEvent* event)
{
  stop_live();
  QWidget::hideEvent(event);
}

void tresponse_page::tick_sweep()
{
  if (!sweep_) return;
  const bool running = sweep_->tick();
  ui.ProgressBar2->setValue(sweep_->progress_percent());
  if (running) return;
  rows_ = sweep_->rows();
  const std::string failure = sweep_->failure_text();
  sweep_.reset();
  ui.Button8->setEnabled(true);
  ui.Button13->setEnabled(false);
  ui.ComboBox6->setEnabled(true);
  ui.ProgressBar2->setValue(0);
  show_results();
  if (!failure.empty()) show_error_message(engine_text(failure));
}

void tresponse_page::show_results()
{
  fit_ = lcr::best_circuit_fit(lcr::sweep_fit_points(rows_));
  ui.Label56->setText(rows_.empty() ? QString() : unbroken_values(engine_text(lcr::circuit_fit_text(fit_))));
  fill_table();
  draw_plot();
}

void tresponse_page::RadioGroup12Click()
{
  if (live_) live_->set_values_only(ui.RadioGroup12->item_index() == show_magnitude_and_phase);
  fill_table();
  draw_plot();
}

void tresponse_page::fill_table()
{
  const bool magnitude_and_phase = ui.RadioGroup12->item_index() == show_magnitude_and_phase;
  const auto [first, second] = lcr::displayed_quantities();
  const lcr::tlcr_strings left = magnitude_and_phase ? record_of("Z") : first;
  const lcr::tlcr_strings right = magnitude_and_phase ? record_of("phi_Z") : second;
  ui.TableWidget1->setHorizontalHeaderLabels(
      {tr("f"), tr("R ref"),
       magnitude_and_phase ? QStringLiteral("|Z|") : QString::fromStdString(left.symbol), QStringLiteral("±"),
       QString::fromStdString(right.symbol), QStringLiteral("±")});
  for (int r = 0; r < ui.TableWidget1->rowCount(); ++r) {
    const bool filled = static_cast<std::size_t>(r) < rows_.size();
    QStringList cells{QString(), QString(), QString(), QString(), QString(), QString()};
    bool doubtful = false;
    if (filled) {
      const lcr::tsweep_row& row = rows_[static_cast<std::size_t>(r)];
      const tshown_pair pair = shown_pair(row, magnitude_and_phase);
      cells = {frequency_text(row.frequency_hz),         reference_text(row.ref_index),
               shown(left, pair.left),                   deviation_shown(left, pair.left_deviation),
               shown(right, pair.right),                 deviation_shown(right, pair.right_deviation)};
      doubtful = lcr::divider_ratio_doubtful(row.divider_ratio);
    }
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);  // the table owns its items
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (doubtful) {
        item->setForeground(QColor(128, 128, 128));
        item->setToolTip(tr("Teilerverhältnis ungünstig: ein anderer R ref misst hier genauer"));
      }
      ui.TableWidget1->setItem(r, c, item);
    }
  }
}

void tresponse_page::draw_plot()
{
  const bool magnitude_and_phase = ui.RadioGroup12->item_index() == show_magnitude_and_phase;
  const auto [first, second] = lcr::displayed_quantities();
  std::vector<double> frequencies;
  graphic::tresponse_trace left;
  graphic::tresponse_trace right;
  double left_known = 0.0;  // the largest statistical uncertainty of the points
  double right_known = 0.0;
  std::vector<double> left_deviations;
  std::vector<double> right_deviations;
  std::vector<bool> doubtful;
  for (const lcr::tsweep_row& row : rows_) {
    frequencies.push_back(row.frequency_hz);
    const tshown_pair pair = shown_pair(row, magnitude_and_phase);
    left.values.push_back(pair.left);
    right.values.push_back(pair.right);
    left_deviations.push_back(pair.left_deviation);
    right_deviations.push_back(pair.right_deviation);
    doubtful.push_back(lcr::divider_ratio_doubtful(row.divider_ratio));
    if (std::isfinite(row.first_uncertainty)) left_known = std::max(left_known, row.first_uncertainty);
    if (std::isfinite(row.second_uncertainty)) right_known = std::max(right_known, row.second_uncertainty);
  }
  // A flat curve is drawn flat: a few times its points' own uncertainty.
  constexpr double uncertainties_shown = 3.0;
  if (magnitude_and_phase) {
    left.axis = graphic::logarithmic_axis(left.values);
    right.axis = graphic::phase_axis();
    left.quantity = "Z";
    right.quantity = "phi_Z";
    left.caption = QStringLiteral("|Z|");
    right.caption = QStringLiteral("phi");
  } else {
    left.axis = graphic::linear_axis(left.values, uncertainties_shown * left_known);
    right.axis = graphic::linear_axis(right.values, uncertainties_shown * right_known);
    left.quantity = first.quantity;
    right.quantity = second.quantity;
    left.caption = QString::fromStdString(first.symbol);
    right.caption = QString::fromStdString(second.symbol);
  }
  left.deviations = std::move(left_deviations);
  right.deviations = std::move(right_deviations);
  left.doubtful = doubtful;
  right.doubtful = std::move(doubtful);
  plot_ = graphic::draw_response_plot(ui.PaintBox2->size(), frequencies, left, right);
  ui.PaintBox2->show_image(plot_);
}

std::string tresponse_page::table_csv() const
{
  const auto [first, second] = lcr::displayed_quantities();
  return lcr::sweep_csv_text(live_ ? live_->full_rows() : rows_, first.symbol, second.symbol);
}

void tresponse_page::Button9Click()
{
  export_csv(tr("Frequenzgang exportieren"), QStringLiteral("Frequenzgang.csv"), table_csv());
}

void tresponse_page::Button10Click()
{
  export_png(tr("Frequenzgang als Bild"), QStringLiteral("Frequenzgang.png"), plot_);
}
