// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/calibration_page.h"

#include "ui/widgets/engine_text.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/locale_number.h"

#include "engine/core/settings.h"
#include "engine/corrections/calibration_file.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <QSignalBlocker>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <utility>

namespace {

constexpr int last_frequency = lcr::freq_count - 1;
constexpr int ft_factor_item_4 = 1;
constexpr int level_item_1_00 = 6;
// Ticks of the 500 ms timer that a frequency waits for a settled reading.
constexpr int settle_ticks = static_cast<int>(lcr::calibration_settle_seconds * 2.0);
// A multitone pass: the tone's way to the input, then 64 evaluations 50 ms
// apart ("Mittelwert" 16 at "FT Faktor" 4): some seven ticks.
constexpr int multitone_expected_ticks = 8;

// Ticks a frequency of the stepped sweep usually waits for its reading:
// the new tone's way to the input (some 0.4 s), then the averaged
// evaluations 50 ms apart ("Mittelwert" × "FT Faktor" 4) and one window.
int expected_wait_ticks()
{
  const int averaged = std::max(1, lcr::settings.avg_count.load()) * 4;
  return static_cast<int>(std::ceil((0.4 + averaged * 0.05 + 0.08) * 2.0));
}

QString frequency_of_index(int freq_index)
{
  return ::frequency_text(lcr::test_frequencies[static_cast<std::size_t>(freq_index)]);
}

QString bad_number_message(const QString& text)
{
  return tcalibration_page::tr("'%1' ist kein gültiger Gleitkommawert").arg(text);
}

}  // namespace

tcalibration_page::tcalibration_page(QWidget* parent, tstream_service& streams, QTimer& sweep_timer,
                                     std::string calibration_path)
    : QWidget(parent), streams_(streams), sweep_timer_(sweep_timer), calibration_path_(std::move(calibration_path))
{
  ui.setupUi(this);
  for (toption_group* group : {ui.RadioGroup8, ui.RadioGroup9}) {
    const QSignalBlocker quiet(group);
    group->set_item_index(0);
  }
  // The known resistor's default in the operator's own notation, so that it
  // is always a number.
  ui.Edit13->setText(QStringLiteral("1000") + QChar(lcr::locale_decimal_separator()) + QStringLiteral("0"));
  connect(ui.RadioGroup8, &toption_group::click, this, &tcalibration_page::RadioGroup8Click);
  connect(ui.RadioGroup9, &toption_group::click, this, &tcalibration_page::RadioGroup9Click);
  connect(ui.Button5, &QPushButton::clicked, this, &tcalibration_page::Button5Click);
  connect(ui.Button7, &QPushButton::clicked, this, &tcalibration_page::Button7Click);
  connect(ui.Button14, &QPushButton::clicked, this, &tcalibration_page::Button14Click);
}

bool tcalibration_page::sweep_running() const
{
  return sweep_timer_.isActive();
}

lcr::tcal_mode tcalibration_page::selected_mode() const
{
  return static_cast<lcr::tcal_mode>(std::clamp(ui.RadioGroup8->item_index(), 0, 4));
}

void tcalibration_page::RadioGroup8Click()
{
  const int mode = ui.RadioGroup8->item_index();
  ui.RadioGroup9->setEnabled(mode > 1);
  for (QWidget* known : std::initializer_list<QWidget*>{ui.Edit13, ui.Edit17, ui.Label33, ui.Label40, ui.Label41}) {
    known->setEnabled(mode == 4);
  }
  streams_.follow_set_up();
}

void tcalibration_page::RadioGroup9Click()
{
  emit reference_chosen(ui.RadioGroup9->item_index());
}

bool tcalibration_page::read_known_resistor()
{
  const char separator = lcr::decimal_separator();
  const auto rp_ohm = parse_locale_number(ui.Edit13->text(), separator);
  if (!rp_ohm) {
    show_error_message(bad_number_message(ui.Edit13->text()));
    return false;
  }
  const auto cp_ff = parse_locale_number(ui.Edit17->text(), separator);
  if (!cp_ff) {
    show_error_message(bad_number_message(ui.Edit17->text()));
    return false;
  }
  const std::lock_guard lock(lcr::publication_lock);
  lcr::cal_capture.known_rp = *rp_ohm;
  lcr::cal_capture.known_cp = *cp_ff;
  return true;
}

void tcalibration_page::Button5Click()
{
  // A sweep with the previous known values would calibrate against a
  // resistor the operator did not enter: nothing starts.
  if (!read_known_resistor()) return;
  cal_phase_ = 0;
  cal_step_ = 0;
  waiting_ticks_ = 0;
  refusals_.clear();
  ui.Button5->setEnabled(false);
  ui.Button14->setEnabled(false);
  emit sweep_settings_requested(ft_factor_item_4, level_item_1_00);
  ui.CheckBox7->setEnabled(false);
  if (ui.CheckBox7->isChecked()) multitone_pass_.emplace();
  sweep_timer_.start();
  show_progress(0.0, tr("Aufbau schwingt ein …"));
  streams_.follow_set_up();
  // The set-up of this mode was connected just now: only readings recorded
  // afterwards are stored.
  lcr::request_settling();
}

void tcalibration_page::Timer2Timer()
{
  if (multitone_pass_) {
    multitone_tick();
    return;
  }
  switch (cal_phase_) {
    case 0:
      lcr::settings.freq_index = cal_step_;
      waiting_ticks_ = 0;
      show_progress(cal_step_ + std::min(0.9, 1.0 / expected_wait_ticks()),
                    tr("%1: Ton schwingt ein …").arg(frequency_of_index(cal_step_)));
      break;
    case 1:
      // Stored only from a reading settled under the new tone: until then
      // the store waits for the next tick.
      if (!store_at_current_frequency()) return;
      break;
    default:
      if (cal_step_ >= last_frequency) {
        end_sweep();
      } else {
        ++cal_step_;
      }
      break;
  }
  cal_phase_ = (cal_phase_ + 1) % 3;
}

// False while the step waits for a settled reading; a stream that gives
// none in time (or none at all: no devices, a test selected) stores
// nothing here.
bool tcalibration_page::store_at_current_frequency()
{
  const lcr::tcal_step_result result = lcr::cal_store_step(selected_mode());
  const bool streaming = waveio::stream.input_running.load() && waveio::stream.output_running.load();
  const bool may_wait = streaming && lcr::settings.test_mode.load() == 0 && ++waiting_ticks_ < settle_ticks;
  if (result == lcr::tcal_step_result::not_settled && may_wait) {
    // The bar moves while the reading settles, short of the step's end.
    const double waited = std::min(0.9, static_cast<double>(waiting_ticks_) / expected_wait_ticks());
    show_progress(cal_step_ + waited,
                  tr("%1: wartet auf eingeschwungenen Messwert …").arg(frequency_of_index(cal_step_)));
    return false;
  }
  if (result != lcr::tcal_step_result::stored) refusals_.emplace_back(cal_step_, result);
  const QString outcome = result == lcr::tcal_step_result::stored
                              ? engine_text(lcr::cal_step_result_text(result))
                              : tr("nicht gespeichert");
  show_progress(cal_step_ + 1.0, frequency_of_index(cal_step_) + QStringLiteral(": ") + outcome);
  return true;
}

// The pass stores all eight at the first settled reading whose scatter is
// known; meanwhile the bar moves with the time such a reading takes.
void tcalibration_page::multitone_tick()
{
  ++waiting_ticks_;
  if (const auto results = lcr::cal_store_multitone_step(selected_mode())) {
    for (int f = 0; f < lcr::freq_count; ++f) {
      const lcr::tcal_step_result result = (*results)[static_cast<std::size_t>(f)];
      if (result != lcr::tcal_step_result::stored) refusals_.emplace_back(f, result);
    }
    finish_multitone_pass();
    return;
  }
  const bool streaming = waveio::stream.input_running.load() && waveio::stream.output_running.load();
  if (!streaming || lcr::settings.test_mode.load() != 0 || waiting_ticks_ >= settle_ticks) {
    for (int f = 0; f < lcr::freq_count; ++f) refusals_.emplace_back(f, lcr::tcal_step_result::not_settled);
    finish_multitone_pass();
    return;
  }
  ui.ProgressBar1->setValue(std::min(95, waiting_ticks_ * 100 / multitone_expected_ticks));
  ui.ProgressBar1->setFormat(tr("Multiton: wartet auf eingeschwungenen Messwert …"));
  ui.ProgressBar1->setTextVisible(true);
}

void tcalibration_page::finish_multitone_pass()
{
  ui.ProgressBar1->setValue(100);
  multitone_pass_.reset();  // the single tone and the operator's "Mittelwert" return
  end_sweep();
}

// `frequencies_done` of the eight (a fraction while one settles), with
// what the sweep does now written across the bar.
void tcalibration_page::show_progress(double frequencies_done, const QString& doing)
{
  ui.ProgressBar1->setValue(static_cast<int>(std::lround(frequencies_done * 100.0 / lcr::freq_count)));
  ui.ProgressBar1->setFormat(doing);
  ui.ProgressBar1->setTextVisible(true);
}

void tcalibration_page::end_sweep()
{
  sweep_timer_.stop();
  ui.Button5->setEnabled(true);
  ui.Button14->setEnabled(true);
  ui.CheckBox7->setEnabled(true);
  ui.ProgressBar1->setValue(0);
  ui.ProgressBar1->setTextVisible(false);
  emit sweep_ended();
  streams_.follow_set_up();
  report_refusals();
}

// Once per sweep: for each reason, the frequencies where nothing was stored.
void tcalibration_page::report_refusals()
{
  if (refusals_.empty()) return;
  QStringList lines;
  std::vector<lcr::tcal_step_result> reasons;
  for (const auto& refusal : refusals_) {
    if (std::find(reasons.begin(), reasons.end(), refusal.second) == reasons.end()) reasons.push_back(refusal.second);
  }
  for (const lcr::tcal_step_result reason : reasons) {
    QStringList frequencies;
    for (const auto& [freq_index, result] : refusals_) {
      if (result == reason) frequencies << frequency_of_index(freq_index);
    }
    lines << tr("nicht gespeichert bei %1: %2")
                 .arg(frequencies.join(QStringLiteral(", ")), engine_text(lcr::cal_step_result_text(reason)));
  }
  show_error_message(engine_text(lcr::cal_mode_names[static_cast<std::size_t>(selected_mode())]) +
                     QStringLiteral("\n") + lines.join('\n'));
}

void tcalibration_page::Button7Click()
{
  const std::string& path = calibration_path_;
  const lcr::tfile_result saved = lcr::cal_save_with_backup(path, lcr::calibration_backup_path(path));
  if (!saved.ok) show_error_message(engine_text(saved.text()));
}

// A mistaken step ("Kal. offen" with a part still connected) is undone by
// going back to the file: what was loaded at the start or saved since.
void tcalibration_page::Button14Click()
{
  const QString file = QString::fromStdString(std::filesystem::path(calibration_path_).filename().string());
  if (!confirm_action(tr("Alle Kalibrierschritte seit dem letzten Laden oder Speichern verwerfen und "
                         "wieder mit „%1“ messen?")
                          .arg(file))) {
    return;
  }
  const lcr::tfile_result reverted = lcr::cal_revert(calibration_path_);
  // An open step of this run must not serve a later reference step.
  lcr::reset_cal_capture();
  if (!reverted.ok) show_error_message(engine_text(reverted.text()));
}
