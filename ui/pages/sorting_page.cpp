// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/sorting_page.h"

#include "ui/widgets/engine_text.h"
#include "ui/widgets/locale_number.h"
#include "ui/widgets/window_style.h"

#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantities.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/deviation_estimate.h"
#include "engine/readings/settled_reading.h"

#include "audio/simulated/dut_network.h"

#include <cmath>

namespace {

tlamp_colour colour_of(lcr::tverdict verdict)
{
  switch (verdict) {
    case lcr::tverdict::pass: return tlamp_colour::green;
    case lcr::tverdict::marginal: return tlamp_colour::yellow;
    case lcr::tverdict::fail: break;
  }
  return tlamp_colour::red;
}

const QString error_colour = QStringLiteral("color: rgb(200, 0, 0);");

// What is wrong with the entered nominal value; "" when it can be used.
QString nominal_problem(const QString& text, const std::optional<double>& nominal, char separator)
{
  const QString example = QStringLiteral("4") + QChar(separator) + QStringLiteral("7k");
  if (!nominal)
    return tsorting_page::tr("„%1“ ist kein Wert (etwa %2 oder 100n)").arg(text.trimmed(), example);
  if (*nominal == 0.0) return tsorting_page::tr("mit 0 ist nichts zu vergleichen");
  return {};
}

QString tolerance_problem(const QString& text, const std::optional<double>& tolerance)
{
  if (!tolerance) return tsorting_page::tr("„%1“ ist keine Zahl").arg(text.trimmed());
  if (*tolerance < 0.0) return tsorting_page::tr("ohne Vorzeichen: ± gilt ohnehin");
  if (*tolerance == 0.0) return tsorting_page::tr("über 0 %: kein Teil trifft den Sollwert genau");
  return {};
}

}  // namespace

std::optional<double> parse_entered_value(const QString& text, char separator)
{
  QString number = text.trimmed();
  qsizetype end = 0;
  while (end < number.size() && (number[end].isDigit() || number[end] == QChar(separator) || number[end] == '-' ||
                                 number[end] == '+' || number[end] == 'e' || number[end] == 'E')) {
    ++end;
  }
  const auto value = parse_locale_number(number.left(end), separator);
  if (!value) return std::nullopt;
  const std::string rest = number.mid(end).trimmed().toStdString();
  if (rest.empty()) return value;
  const auto prefix = waveio::leading_si_prefix(rest);
  if (!prefix || prefix->length != rest.size()) return std::nullopt;
  return *value * prefix->factor;
}

tsorting_page::tsorting_page(QWidget* parent) : QWidget(parent)
{
  ui.setupUi(this);
  for (const auto& [label, pixels] : {std::pair{ui.Label62, 20}, {ui.Label63, 27}, {ui.Label64, 20}, {ui.Label66, 27},
                                      {ui.Label67, 20}}) {
    label->setFont(font_of_pixel_size(pixels));
  }
}

void tsorting_page::show_comparison(const lcr::tmeasurement_snapshot& snapshot)
{
  const auto [first_shown, second_shown] = lcr::displayed_quantities();
  lcr::tlcr_strings sorted = lcr::compares_second_quantity(first_shown.quantity) ? second_shown : first_shown;
  const double value = lcr::quantity_value(snapshot.display_z, sorted);
  lcr::format_quantity(1, sorted, value);
  ui.Label61->setText(engine_text(sorted.long_name));
  ui.Label62->setText(QString::fromStdString(sorted.symbol) + ':');
  ui.Label63->setText(QString::fromStdString(sorted.value_text));
  ui.Label64->setText(unit_text(sorted.unit_text));
  lcr::tlcr_strings unit = sorted;
  lcr::format_quantity(1, unit, 1.0);
  ui.Label59->setText(unit_text(unit.unit_text));  // the nominal's unit

  comparison_.reset();
  const char separator = lcr::decimal_separator();
  const auto nominal = parse_entered_value(ui.Edit20->text(), separator);
  const auto tolerance = parse_locale_number(ui.Edit21->text(), separator);
  const QString nominal_error = nominal_problem(ui.Edit20->text(), nominal, separator);
  const QString tolerance_error = tolerance_problem(ui.Edit21->text(), tolerance);
  ui.Edit20->setStyleSheet(nominal_error.isEmpty() ? QString() : error_colour);
  ui.Edit21->setStyleSheet(tolerance_error.isEmpty() ? QString() : error_colour);
  ui.Label70->setText(nominal_error);
  ui.Label71->setText(tolerance_error);
  const bool judged = ui.CheckBox5->isChecked() && nominal_error.isEmpty() && tolerance_error.isEmpty();
  if (!judged || !lcr::is_current_reading(snapshot)) {
    ui.Label66->setText(QString());
    ui.Label68->setText(QString());
    ui.Edit22->set_colour(tlamp_colour::background,
                          judged ? tr("wartet auf eingeschwungenen Messwert") : QString());
    return;
  }
  const lcr::tquantity_reading reading = lcr::quantity_reading(snapshot, sorted);
  comparison_ = lcr::compare_to_nominal(reading.value, reading.covering, *nominal, *tolerance);
  const std::string delta = lcr::format_fixed(comparison_->delta_percent, 3, 1, separator);
  ui.Label66->setText((comparison_->delta_percent >= 0.0 ? QStringLiteral("+") : QString()) + QString::fromStdString(delta));
  const QString verdict = engine_text(lcr::verdict_text(comparison_->verdict));
  ui.Label68->setText(verdict);
  ui.Edit22->set_colour(colour_of(comparison_->verdict), verdict);
}
