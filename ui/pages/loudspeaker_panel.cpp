// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/loudspeaker_panel.h"

#include "ui/widgets/engine_text.h"
#include "ui/widgets/locale_number.h"

#include "engine/loudspeaker/parameter_table.h"
#include "engine/quantities/quantity_texts.h"

#include <QClipboard>
#include <QHeaderView>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double m2_per_cm2 = 1e-4;

QString number_text(double value, int decimals)
{
  if (!std::isfinite(value)) return QStringLiteral("–");
  return QString::fromStdString(lcr::format_fixed(value, decimals, 0, lcr::decimal_separator()));
}

// A value as entered, with half a unit of its last digit as its tolerance
// ("12,50" → ± 0,005); nothing when the text is not a number.
std::optional<lcr::tentered> entered_value(const QString& text, double unit_factor)
{
  const QString trimmed = text.trimmed();
  const char separator = lcr::decimal_separator();
  const std::optional<double> value = parse_locale_number(trimmed, separator);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  const qsizetype point = trimmed.indexOf(QChar(separator));
  const auto decimals = point < 0 ? 0 : static_cast<int>(trimmed.size() - point - 1);
  return lcr::tentered{*value * unit_factor, 0.5 * std::pow(10.0, -decimals) * unit_factor};
}

// The grid's frequencies are whole hertz.
QString whole_hz_text(double frequency_hz)
{
  return QString::number(std::lround(frequency_hz));
}

}  // namespace

tloudspeaker_panel::tloudspeaker_panel(QWidget* parent) : QWidget(parent)
{
  ui.setupUi(this);
  // All four columns in view, the unit beside its value, without scrolling sideways.
  for (const auto& [column, width] : {std::pair{0, 72}, {1, 88}, {2, 88}, {3, 56}}) {
    ui.StringGrid1->setColumnWidth(column, width);
  }
  connect(ui.Button24, &QPushButton::clicked, this, &tloudspeaker_panel::compute);
  connect(ui.Button25, &QPushButton::clicked, this, &tloudspeaker_panel::copy_table);
  show_slot(tslot::free_air);
  show_slot(tslot::second);
}

void tloudspeaker_panel::take_curve(tslot slot, const std::vector<lcr::tanalyser_row>& rows,
                                    double device_rms_full_scale)
{
  (slot == tslot::free_air ? free_curve_ : second_curve_) = lcr::driver_curve_of_rows(rows);
  (slot == tslot::free_air ? free_device_rms_ : second_device_rms_) = device_rms_full_scale;
  show_slot(slot);
  // The parameters shown were of the curve replaced.
  ui.StringGrid1->setRowCount(0);
  ui.Button25->setEnabled(false);
}

const lcr::tdriver_curve& tloudspeaker_panel::curve(tslot slot) const
{
  return slot == tslot::free_air ? free_curve_ : second_curve_;
}

void tloudspeaker_panel::show_slot(tslot slot)
{
  const lcr::tdriver_curve& taken = curve(slot);
  QLabel* label = slot == tslot::free_air ? ui.Label87 : ui.Label89;
  if (taken.points.empty()) {
    label->setText(tr("keine Kurve"));
    return;
  }
  label->setText(tr("%1 Punkte\n%2–%3 Hz")
                     .arg(taken.points.size())
                     .arg(whole_hz_text(taken.points.front().frequency_hz),
                          whole_hz_text(taken.points.back().frequency_hz)));
}

namespace {

QString not_a_number(const QLineEdit* edit)
{
  return tloudspeaker_panel::tr("'%1' ist kein gültiger Gleitkommawert").arg(edit->text());
}

}  // namespace

std::optional<lcr::tdriver_entries> tloudspeaker_panel::read_entries(QString& fault) const
{
  lcr::tdriver_entries entries;
  if (!ui.Edit25->text().trimmed().isEmpty()) {
    entries.sd_m2 = entered_value(ui.Edit25->text(), m2_per_cm2);
    if (!entries.sd_m2) fault = not_a_number(ui.Edit25);
  }
  if (fault.isEmpty() && !ui.Edit26->text().trimmed().isEmpty()) {
    entries.re_ohm = entered_value(ui.Edit26->text(), 1.0);
    if (!entries.re_ohm) fault = not_a_number(ui.Edit26);
  }
  const std::optional<lcr::tentered> temperature_c = entered_value(ui.Edit27->text(), 1.0);
  if (fault.isEmpty() && !temperature_c) fault = not_a_number(ui.Edit27);
  if (!fault.isEmpty()) return std::nullopt;
  entries.temperature_c = temperature_c->value;
  return entries;
}

std::optional<double> tloudspeaker_panel::read_input_vrms(QString& fault) const
{
  if (ui.Edit28->text().trimmed().isEmpty()) return std::nullopt;
  const std::optional<lcr::tentered> vrms = entered_value(ui.Edit28->text(), 1.0);
  if (!vrms || !(vrms->value > 0.0)) {
    fault = not_a_number(ui.Edit28);
    return std::nullopt;
  }
  return vrms->value;
}

std::optional<lcr::tsecond_curve> tloudspeaker_panel::read_second(QString& fault) const
{
  if (second_curve_.points.empty()) return std::nullopt;
  const bool mass = ui.ComboBox11->currentIndex() == 0;
  // grams and litres to kg and m³ alike
  const std::optional<lcr::tentered> amount = entered_value(ui.Edit24->text(), 1e-3);
  if (!amount) {
    fault = not_a_number(ui.Edit24);
    return std::nullopt;
  }
  return lcr::tsecond_curve{mass ? lcr::tsecond_method::added_mass : lcr::tsecond_method::closed_box,
                            second_curve_, *amount};
}

void tloudspeaker_panel::compute()
{
  if (free_curve_.points.empty()) {
    show_refusal(tr("keine Kurve in Freiluft, zuerst eine übernehmen"));
    return;
  }
  QString fault;
  const std::optional<lcr::tdriver_entries> entries = read_entries(fault);
  const std::optional<lcr::tsecond_curve> second = fault.isEmpty() ? read_second(fault) : std::nullopt;
  if (!fault.isEmpty()) {
    show_refusal(fault);
    return;
  }
  const std::optional<double> input_vrms = fault.isEmpty() ? read_input_vrms(fault) : std::nullopt;
  if (!fault.isEmpty()) {
    show_refusal(fault);
    return;
  }
  lcr::tdriver_curve free_curve = free_curve_;
  std::optional<lcr::tsecond_curve> leveled_second = second;
  if (input_vrms) {
    free_curve.device_rms_v = free_device_rms_ * *input_vrms;
    if (leveled_second) leveled_second->curve.device_rms_v = second_device_rms_ * *input_vrms;
  }
  const lcr::tdriver_report report = lcr::measure_driver(free_curve, leveled_second, *entries);
  if (!report.ok()) {
    show_refusal(engine_text(report.refusal));
    return;
  }
  show_report(report);
}

void tloudspeaker_panel::show_refusal(const QString& reason)
{
  ui.StringGrid1->setRowCount(0);
  ui.StringGrid1->hide();
  ui.Label93->setText(tr("Keine Parameter: %1").arg(reason));
  ui.Label93->show();
  ui.Button25->setEnabled(false);
}

void tloudspeaker_panel::show_report(const lcr::tdriver_report& report)
{
  const std::vector<lcr::tparameter_row> shown = lcr::parameter_rows(report.parameters);
  QTableWidget& table = *ui.StringGrid1;
  table.clearSpans();
  table.setRowCount(static_cast<int>(shown.size()));
  for (int row = 0; row < table.rowCount(); ++row) {
    const lcr::tparameter_row& entry = shown[static_cast<std::size_t>(row)];
    const double value = entry.measured.value * entry.factor;
    const double u = entry.measured.u * entry.factor;
    const int decimals = lcr::plus_minus_decimals(value, u);
    const QStringList cells{QString::fromUtf8(entry.name), number_text(value, decimals),
                            number_text(u, decimals), unit_text(entry.unit)};
    for (int column = 0; column < cells.size(); ++column) {
      table.setItem(row, column, new QTableWidgetItem(cells[column]));
    }
  }
  add_drive_rows(report);
  ui.Label93->hide();
  table.show();
  ui.Button25->setEnabled(true);
}

// Under the parameters: each curve's level across the driver, and a row
// across the table for each warning about it.
void tloudspeaker_panel::add_drive_rows(const lcr::tdriver_report& report)
{
  QTableWidget& table = *ui.StringGrid1;
  const auto add_row = [&table](const QStringList& cells) {
    const int row = table.rowCount();
    table.insertRow(row);
    for (int column = 0; column < cells.size(); ++column) {
      table.setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    return row;
  };
  const auto add_level = [&](const QString& name, const std::optional<double>& rms_v) {
    add_row({name, rms_v ? number_text(*rms_v, 3) : tr("unbekannt"), QString(), rms_v ? tr("V eff.") : QString()});
  };
  add_level(tr("Pegel frei"), report.free_drive.rms_v);
  if (report.second_drive) add_level(tr("Pegel 2."), report.second_drive->rms_v);
  table.resizeRowsToContents();
  // A warning wraps across the whole row, which the table's own sizing
  // (by the first column alone) does not know; the width is less the
  // cell's margins on either side.
  const int width = std::min(table.horizontalHeader()->length(), table.viewport()->width()) - 16;
  for (const std::string& warning : lcr::drive_warnings(report.free_drive, report.second_drive)) {
    const QString text = tr("Warnung: %1").arg(engine_text(warning));
    const int row = add_row({text});
    table.setSpan(row, 0, 1, table.columnCount());
    table.item(row, 0)->setForeground(Qt::darkRed);
    table.item(row, 0)->setToolTip(text);
    const QRect wrapped = table.fontMetrics().boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text);
    table.setRowHeight(row, wrapped.height() + 6);
  }
}

QString tloudspeaker_panel::table_text() const
{
  const QTableWidget& table = *ui.StringGrid1;
  if (table.rowCount() == 0) return {};
  QStringList lines;
  QStringList header;
  for (int column = 0; column < table.columnCount(); ++column)
    header << table.horizontalHeaderItem(column)->text();
  lines << header.join('\t');
  for (int row = 0; row < table.rowCount(); ++row) {
    QStringList cells;
    // A warning spans the row: its other cells hold nothing.
    for (int column = 0; column < table.columnCount(); ++column) {
      const QTableWidgetItem* item = table.item(row, column);
      cells << (item ? item->text() : QString());
    }
    if (table.columnSpan(row, 0) > 1) cells = cells.mid(0, 1);
    lines << cells.join('\t');
  }
  return lines.join('\n') + '\n';
}

void tloudspeaker_panel::copy_table()
{
  const QString text = table_text();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}
