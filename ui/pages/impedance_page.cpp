// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/impedance_page.h"

#include "ui/pages/loudspeaker_panel.h"

#include "ui/plot/impedance_plot.h"
#include "ui/widgets/engine_text.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/export_file.h"
#include "ui/widgets/file_dialog.h"
#include "ui/widgets/locale_number.h"

#include "engine/analyser/analyser_calibration_file.h"
#include "engine/analyser/analyser_export.h"
#include "engine/core/settings.h"
#include "engine/loudspeaker/curve_refinement.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <QFile>
#include <QFileInfo>
#include <QHideEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QShowEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace {

// The worker hands over a period a second; looking every 40 ms shows each
// soon after it ends, and a look without a new period costs nothing.
constexpr int poll_ms = 40;
constexpr std::array<int, 3> period_items{1, 4, 16};
constexpr int density_24_item = 2;
constexpr int magnitude_decimals = 3;
constexpr int phase_decimals = 2;

double phase_deg(lcr::tcomplex z)
{
  return std::atan2(z.im, z.re) * 180.0 / lcr::pi;
}

QString fixed_text(double value, int decimals, char separator)
{
  return QString::fromStdString(lcr::format_fixed(value, decimals, 1, separator));
}

// "12,345 Ohm", "1,234 KOhm", "-45,00 °".
QString value_text(const char* quantity, double value, int decimals)
{
  const lcr::tunit_scale scale = lcr::unit_scale(quantity, std::fabs(value));
  return fixed_text(value / scale.factor, decimals, lcr::decimal_separator()) + ' ' +
         unit_text(scale.unit_text);
}

// "12,345 ± 0,212 Ohm": the deviation in the value's unit; "–" where it is
// not known.
QString value_with_deviation(const char* quantity, double value, double deviation, int decimals)
{
  const lcr::tunit_scale scale = lcr::unit_scale(quantity, std::fabs(value));
  const char separator = lcr::decimal_separator();
  const QString spread = std::isfinite(deviation) ? fixed_text(deviation / scale.factor, decimals, separator)
                                                  : QStringLiteral("–");
  return fixed_text(value / scale.factor, decimals, separator) + QStringLiteral(" ± ") + spread + ' ' +
         unit_text(scale.unit_text);
}

// The grid's frequencies are whole hertz.
QString point_frequency_text(double frequency_hz)
{
  // Whole hertz, but for the fine points around a resonance.
  if (frequency_hz < 1000.0 && frequency_hz != std::round(frequency_hz)) {
    return fixed_text(frequency_hz, 2, lcr::decimal_separator()) + QStringLiteral(" Hz");
  }
  if (frequency_hz < 1000.0) return QString::number(std::lround(frequency_hz)) + QStringLiteral(" Hz");
  return fixed_text(frequency_hz / 1000.0, 3, lcr::decimal_separator()) + ' ' + unit_text("KHz");
}

QString resistor_text(double ohm)
{
  lcr::tlcr_strings record;
  record.quantity = "Z";
  lcr::format_quantity(0, record, ohm);
  return QString::fromStdString(record.value_text).trimmed() + ' ' + unit_text(record.unit_text);
}

// As the measuring page's "Pegel" items write it.
std::string level_text(double tone_level)
{
  return lcr::format_fixed(tone_level / lcr::level_table.back(), 2, 1, '.');
}

graphic::timpedance_point plot_point(const lcr::tanalyser_row& entry)
{
  const lcr::tsweep_row& row = entry.row;
  return {row.frequency_hz, lcr::c_abs(row.z),   row.z_deviation,
          phase_deg(row.z), row.phase_deviation, !entry.calibrated || entry.doubtful};
}

std::vector<graphic::timpedance_point> plot_points(const std::vector<lcr::tanalyser_row>& rows)
{
  std::vector<graphic::timpedance_point> points;
  points.reserve(rows.size());
  for (const lcr::tanalyser_row& row : rows) points.push_back(plot_point(row));
  return points;
}

struct toverlay_file {
  std::vector<lcr::tzma_point> points;
  QString refusal;  // with the file's name; empty when read
};

toverlay_file read_zma_file(const QString& path)
{
  const auto refused = [&path](const QString& why) {
    return toverlay_file{{}, path + QStringLiteral(": ") + why};
  };
  // A pipe or a device would hold the window or never end.
  if (!QFileInfo(path).isFile()) return refused(timpedance_page::tr("keine Datei"));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return refused(file.errorString());
  const auto largest = static_cast<qint64>(lcr::zma_largest_text);
  const QString too_large = timpedance_page::tr("Datei größer als 8 MB");
  if (file.size() > largest) return refused(too_large);
  // No further than the limit, should the file have grown since.
  const QByteArray bytes = file.read(largest + 1);
  if (bytes.size() > largest) return refused(too_large);
  lcr::tzma_curve curve =
      lcr::parse_zma(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!curve.ok()) return refused(engine_text(curve.refusal));
  return {std::move(curve.points), {}};
}

QJsonValue json_number(double value)
{
  return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QJsonObject json_row(const lcr::tanalyser_row& entry)
{
  const lcr::tsweep_row& row = entry.row;
  return {{"frequency_hz", row.frequency_hz},
          {"z_abs_ohm", json_number(lcr::c_abs(row.z))},
          {"phase_deg", json_number(phase_deg(row.z))},
          {"z_re", json_number(row.z.re)},
          {"z_im", json_number(row.z.im)},
          {"z_deviation", json_number(row.z_deviation)},
          {"z_uncertainty", json_number(row.z_uncertainty)},
          {"phase_deviation_deg", json_number(row.phase_deviation)},
          {"phase_uncertainty_deg", json_number(row.phase_uncertainty)},
          {"calibrated", entry.calibrated},
          {"doubtful", entry.doubtful}};
}

}  // namespace

timpedance_page::timpedance_page(QWidget* parent, const std::string& calibration_path)
    : QWidget(parent), calibration_path_(lcr::analyser_calibration_path(calibration_path))
{
  ui.setupUi(this);
  for (const int density : lcr::analyser_densities) ui.ComboBox8->addItem(QString::number(density));
  ui.ComboBox8->setCurrentIndex(density_24_item);
  for (const int periods : period_items) ui.ComboBox9->addItem(QString::number(periods));
  for (const char* step : lcr::cal_mode_names) ui.ComboBox10->addItem(engine_text(step));
  // The known resistor in the operator's own notation, so that it is
  // always a number.
  ui.Edit23->setText(QStringLiteral("1000") + QChar(lcr::locale_decimal_separator()) + QStringLiteral("0"));
  poll_timer_.setInterval(poll_ms);
  connect(&poll_timer_, &QTimer::timeout, this, &timpedance_page::tick_measurement);
  connect(ui.Button15, &QPushButton::clicked, this, &timpedance_page::Button15Click);
  connect(ui.Button16, &QPushButton::clicked, this, &timpedance_page::Button16Click);
  connect(ui.Button17, &QPushButton::clicked, this, &timpedance_page::Button17Click);
  connect(ui.Button18, &QPushButton::clicked, this, &timpedance_page::Button18Click);
  connect(ui.Button19, &QPushButton::clicked, this, &timpedance_page::Button19Click);
  connect(ui.Button20, &QPushButton::clicked, this, &timpedance_page::Button20Click);
  connect(ui.Button21, &QPushButton::clicked, this, &timpedance_page::Button21Click);
  connect(ui.ComboBox10, &QComboBox::currentIndexChanged, this, &timpedance_page::ComboBox10Change);
  connect(ui.LoudspeakerPanel->ui.Button22, &QPushButton::clicked, this, &timpedance_page::Button22Click);
  connect(ui.LoudspeakerPanel->ui.Button23, &QPushButton::clicked, this, &timpedance_page::Button23Click);
  connect(ui.PaintBox3, &timpedance_plot::cursor_moved, this, &timpedance_page::PaintBox3MouseMove);
  connect(ui.PaintBox3, &timpedance_plot::cursor_left, ui.Label76, &QLabel::clear);
  load_calibration();
  show_curves();
  show_settings_in_force();
}

// A file that cannot be read leaves the page uncalibrated and the file as
// it is, until the operator saves a calibration over it.
void timpedance_page::load_calibration()
{
  const lcr::tfile_result loaded = lcr::load_analyser_calibration(calibration_path_, calibration_);
  if (!loaded.ok) {
    calibration_ = {};
    ui.Label85->setText(tr("Datei fehlerhaft, es wird unkalibriert gemessen"));
    show_error_message(engine_text(loaded.text()));
    return;
  }
  ui.Label85->setText(calibration_.points.empty()
                          ? tr("nicht kalibriert")
                          : tr("kalibriert bei %1 Frequenzen").arg(calibration_.points.size()));
}

void timpedance_page::Button18Click()
{
  if (measurement_) return;
  const auto density = static_cast<std::size_t>(std::clamp(ui.ComboBox8->currentIndex(), 0, 3));
  const auto periods = static_cast<std::size_t>(std::clamp(ui.ComboBox9->currentIndex(), 0, 2));
  const lcr::tgrid_request request{static_cast<double>(ui.SpinEdit1->value()),
                                   static_cast<double>(ui.SpinEdit2->value()),
                                   lcr::analyser_densities[density]};
  const lcr::tgrid_result grid = lcr::analyser_grid(request);
  if (!grid.grid) {
    show_error_message(tr("Keine Impedanzkurve: %1").arg(engine_text(grid.refusal)));
    return;
  }
  periods_wanted_ = period_items[periods];
  request_ = request;
  coarse_rows_.clear();
  refinement_ = {};
  dropouts_at_start_ = waveio::dropout_count();
  measurement_.emplace(*grid.grid, periods_wanted_);
  poll_timer_.start();
  enable_controls();
  show_status();
}

void timpedance_page::Button19Click()
{
  stop_measurement();
}

void timpedance_page::stop_measurement()
{
  if (!measurement_) return;
  poll_timer_.stop();
  measurement_.reset();  // the meter's tone returns
  refinement_.running = false;  // a closer look stopped early says nothing
  enable_controls();
  show_status();
}

void timpedance_page::showEvent(QShowEvent* event)
{
  show_settings_in_force();
  QWidget::showEvent(event);
}

void timpedance_page::hideEvent(QHideEvent* event)
{
  stop_measurement();
  QWidget::hideEvent(event);
}

void timpedance_page::tick_measurement()
{
  if (!measurement_) return;
  // The rows cost milliseconds: made for a new period only.
  if (measurement_->poll() && measurement_->current()) take_curve();
  show_status();
  show_settings_in_force();
}

void timpedance_page::take_curve()
{
  std::vector<lcr::tanalyser_row> rows =
      lcr::analyser_rows(*measurement_, calibration_, lcr::displayed_quantity_pair(), false);
  rows_ = refinement_.running ? lcr::refined_rows(coarse_rows_, rows) : std::move(rows);
  // The closer look drives the resonance harder: the higher of the two counts.
  curve_device_rms_ = std::max(lcr::device_rms_full_scale(*measurement_), refinement_.running ? coarse_device_rms_ : 0.0);
  curve_request_ = request_;
  curve_periods_ = measurement_->periods();
  curve_periods_wanted_ = periods_wanted_;
  curve_level_ = measurement_->tag().tone_level;
  ++curves_shown_;
  show_curves();
  if (ui.CheckBox8->isChecked() || curve_periods_ < periods_wanted_) return;
  if (refinement_.running) {
    refinement_.running = false;
    refinement_.done = true;
    // Where the fine points put it, no longer the coarse curve's guess.
    refinement_.fs_hz = lcr::resonance_hz(rows_, refinement_.fs_hz);
  } else if (start_refinement()) {
    return;
  }
  stop_measurement();
}

// A resonance the finished curve shows on too few points is measured again
// on the fine bins around it; its points then replace the coarse ones.
bool timpedance_page::start_refinement()
{
  const std::optional<lcr::tresonance_refinement> refinement =
      lcr::resonance_refinement(lcr::driver_curve_of_rows(rows_));
  if (!refinement) return false;
  coarse_rows_ = rows_;
  coarse_device_rms_ = curve_device_rms_;
  refinement_ = {true, false, refinement->resonance.fs_hz, refinement->step_hz};
  measurement_.reset();  // the coarse excitation stops before the fine one starts
  measurement_.emplace(refinement->grid, periods_wanted_);
  show_status();
  return true;
}

void timpedance_page::enable_controls()
{
  const bool running = measurement_.has_value();
  ui.Button18->setEnabled(!running);
  ui.Button19->setEnabled(running);
  for (QWidget* setting :
       std::initializer_list<QWidget*>{ui.SpinEdit1, ui.SpinEdit2, ui.ComboBox8, ui.ComboBox9}) {
    setting->setEnabled(!running);
  }
  ui.Button16->setEnabled(!overlay_.empty());
  ui.Button17->setEnabled(!rows_.empty());
  ui.LoudspeakerPanel->ui.Button22->setEnabled(!rows_.empty());
  ui.LoudspeakerPanel->ui.Button23->setEnabled(!rows_.empty());
}

void timpedance_page::show_curves()
{
  ui.PaintBox3->show_curves(plot_points(rows_), overlay_);
  enable_controls();
}

void timpedance_page::show_status()
{
  QStringList parts;
  const bool running = measurement_.has_value();
  if (running) {
    parts << tr("Perioden: %1/%2").arg(measurement_->periods()).arg(periods_wanted_)
          << (measurement_->current() ? tr("Messung läuft") : tr("nicht eingeschwungen"));
  } else if (!rows_.empty()) {
    parts << tr("Perioden: %1/%2").arg(curve_periods_).arg(curve_periods_wanted_)
          << (curve_periods_ >= curve_periods_wanted_ ? tr("Kurve vollständig") : tr("Messung angehalten"));
  }
  if (!rows_.empty()) {
    const auto uncalibrated =
        std::count_if(rows_.begin(), rows_.end(), [](const auto& row) { return !row.calibrated; });
    const auto doubtful =
        std::count_if(rows_.begin(), rows_.end(), [](const auto& row) { return row.doubtful; });
    parts << tr("%1 unkalibriert").arg(uncalibrated) << tr("%1 Teiler ungünstig").arg(doubtful);
  }
  if (refinement_.running || refinement_.done) {
    const QString fs_text = fixed_text(refinement_.fs_hz, 1, lcr::decimal_separator());
    const QString bin_text = fixed_text(refinement_.bin_hz, 2, lcr::decimal_separator());
    parts << (refinement_.running ? tr("Resonanz bei %1 Hz wird in %2-Hz-Schritten fein nachgemessen")
                                  : tr("Resonanz bei %1 Hz in %2-Hz-Schritten fein nachgemessen"))
                 .arg(fs_text, bin_text);
  }
  if (running || !rows_.empty()) {
    if (running) dropouts_ = waveio::dropout_count() - dropouts_at_start_;
    parts << tr("Aussetzer: %1").arg(dropouts_);
  }
  ui.Label77->setText(parts.join(QStringLiteral(" · ")));
}

void timpedance_page::show_settings_in_force()
{
  const auto reference = static_cast<std::size_t>(lcr::clamp_ref_index(lcr::settings.ref_index.load()));
  ui.Label82->setText(tr("R ref %1\nPegel %2")
                          .arg(resistor_text(lcr::ref_resistors[reference]),
                               QString::fromStdString(level_text(lcr::settings.tone_level.load()))));
}

QString timpedance_page::cursor_text(double frequency_hz) const
{
  QStringList lines;
  double overlay_hz = frequency_hz;
  if (const std::optional<std::size_t> k = graphic::nearest_point(plot_points(rows_), frequency_hz)) {
    const lcr::tanalyser_row& entry = rows_[*k];
    const lcr::tsweep_row& row = entry.row;
    overlay_hz = row.frequency_hz;
    QStringList notes;
    if (!entry.calibrated) notes << tr("unkalibriert");
    if (entry.doubtful) notes << tr("Teiler ungünstig");
    lines << point_frequency_text(row.frequency_hz) +
                 (notes.isEmpty() ? QString()
                                  : QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + ')');
    lines << QStringLiteral("|Z| ") +
                 value_with_deviation("Z", lcr::c_abs(row.z), row.z_deviation, magnitude_decimals) +
                 QStringLiteral("   phi ") +
                 value_with_deviation("phi_Z", phase_deg(row.z), row.phase_deviation, phase_decimals);
  }
  if (const std::optional<lcr::tzma_point> other = lcr::zma_point_at(overlay_, overlay_hz)) {
    lines << tr("Overlay: |Z| %1   phi %2")
                 .arg(value_text("Z", other->magnitude_ohm, magnitude_decimals),
                      value_text("phi_Z", other->phase_deg, phase_decimals));
  }
  return lines.join('\n');
}

void timpedance_page::PaintBox3MouseMove(double frequency_hz)
{
  ui.Label76->setText(cursor_text(frequency_hz));
}

void timpedance_page::Button22Click()
{
  ui.LoudspeakerPanel->take_curve(tloudspeaker_panel::tslot::free_air, rows_, curve_device_rms_);
}

void timpedance_page::Button23Click()
{
  ui.LoudspeakerPanel->take_curve(tloudspeaker_panel::tslot::second, rows_, curve_device_rms_);
}

void timpedance_page::Button15Click()
{
  const QString path = ask_open_file_name(tr("Kurve laden"), tr("Impedanzkurven (*.zma);;Alle Dateien (*)"));
  if (path.isEmpty()) return;
  toverlay_file file = read_zma_file(path);
  if (!file.refusal.isEmpty()) {
    show_error_message(file.refusal);  // the overlay shown stays
    return;
  }
  overlay_ = std::move(file.points);
  show_curves();
}

void timpedance_page::Button16Click()
{
  overlay_.clear();
  show_curves();
}

std::optional<std::string> timpedance_page::export_text(const QString& suffix) const
{
  if (suffix == QStringLiteral("csv")) return lcr::analyser_csv_text(rows_);
  const double ref_ohm =
      lcr::ref_resistors[static_cast<std::size_t>(lcr::clamp_ref_index(rows_.front().row.ref_index))];
  if (suffix == QStringLiteral("zma")) {
    return lcr::analyser_zma_text(
        rows_, {"Quarvel impedance curve",
                "R ref " + lcr::format_fixed(ref_ohm, 0, 1, '.') + " ohm, Pegel " + level_text(curve_level_),
                "Hz Ohm Grad"});
  }
  if (suffix != QStringLiteral("json")) return std::nullopt;
  QJsonArray rows;
  for (const lcr::tanalyser_row& row : rows_) rows.append(json_row(row));
  const QJsonObject curve{{"from_hz", curve_request_.from_hz},
                          {"to_hz", curve_request_.to_hz},
                          {"points_per_octave", curve_request_.points_per_octave},
                          {"periods", curve_periods_},
                          {"ref_ohm", ref_ohm},
                          {"level", curve_level_ / lcr::level_table.back()},
                          {"dropouts", static_cast<qint64>(dropouts_)},
                          {"rows", rows}};
  return QJsonDocument(curve).toJson(QJsonDocument::Indented).toStdString();
}

void timpedance_page::Button17Click()
{
  if (rows_.empty()) return;
  const QString path =
      ask_save_file_name(tr("Impedanzkurve exportieren"), QStringLiteral("Impedanzkurve.zma"),
                         tr("Impedanzkurven (*.zma *.csv *.json)"));
  if (path.isEmpty()) return;
  const std::optional<std::string> text = export_text(QFileInfo(path).suffix().toLower());
  if (!text) {
    show_error_message(tr("%1: nur als .zma, .csv oder .json").arg(path));
    return;
  }
  save_text_file(path, *text);
}

void timpedance_page::ComboBox10Change()
{
  const bool reference_step = ui.ComboBox10->currentIndex() == static_cast<int>(lcr::tcal_mode::reference);
  for (QWidget* known : std::initializer_list<QWidget*>{ui.Label83, ui.Edit23, ui.Label84}) {
    known->setEnabled(reference_step);
  }
}

void timpedance_page::Button20Click()
{
  const auto mode = static_cast<lcr::tcal_mode>(std::clamp(ui.ComboBox10->currentIndex(), 0, 4));
  const QString step = ui.ComboBox10->currentText();
  lcr::tknown_part known;
  if (mode == lcr::tcal_mode::reference) {
    const std::optional<double> rp_ohm = parse_locale_number(ui.Edit23->text(), lcr::decimal_separator());
    if (!rp_ohm) {
      show_error_message(tr("'%1' ist kein gültiger Gleitkommawert").arg(ui.Edit23->text()));
      return;
    }
    known.rp_ohm = *rp_ohm;
  }
  if (!measurement_) {
    show_error_message(tr("%1: keine laufende Kurve (Start mit Live, dann den Schritt messen)").arg(step));
    return;
  }
  const lcr::tanalyser_step_outcome outcome =
      lcr::analyser_store_step(mode, *measurement_, calibration_, capture_, known);
  if (!outcome.ok()) {
    show_error_message(step + QStringLiteral(": ") + engine_text(outcome.refusal));
    return;
  }
  ui.Label85->setText(tr("%1: %2 Punkte gespeichert").arg(step).arg(outcome.stored));
  // The curve shown is corrected with the new entries at once.
  take_curve();
  show_status();
}

void timpedance_page::Button21Click()
{
  const lcr::tfile_result saved = lcr::save_analyser_calibration(calibration_path_, calibration_);
  if (!saved.ok) {
    show_error_message(engine_text(saved.text()));
    return;
  }
  ui.Label85->setText(
      tr("gespeichert in %1").arg(QFileInfo(QString::fromStdString(calibration_path_)).fileName()));
}
