// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/measurement_page.h"

#include "ui/plot/plot_model.h"
#include "ui/widgets/engine_text.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/window_style.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"
#include "engine/quantities/quantities.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/deviation_estimate.h"

#include "audio/streaming.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QSignalBlocker>

#include <mutex>

namespace {

constexpr int level_hold_ticks = 10;
// Display ticks that "Kal. offen" or "Kal. geschlossen" waits for a settled
// reading.
constexpr int settle_ticks = static_cast<int>(lcr::calibration_settle_seconds * 10.0);

QString text_of(const std::string& text)
{
  return QString::fromStdString(text);
}

// Item index into a factor table; any other index keeps the value.
void set_factor(std::atomic<int>& setting, const std::array<int, 3>& items, int index)
{
  if (index >= 0 && index < static_cast<int>(items.size())) setting = items[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<tlamp_colour> level_lamp_tick(int& level_led_hold, int signal_state)
{
  std::optional<tlamp_colour> colour;
  if (signal_state > 0) {
    level_led_hold = level_hold_ticks;
    switch (signal_state) {
      case lcr::signal_left_weak: colour = tlamp_colour::grey; break;
      case lcr::signal_right_weak:
      case lcr::signal_near_full_scale: colour = tlamp_colour::yellow; break;
      case lcr::signal_clipped: colour = tlamp_colour::red; break;
      default: break;
    }
    signal_state = lcr::signal_ok;
  }
  if (level_led_hold == 0 && signal_state == lcr::signal_ok) colour = tlamp_colour::green;
  if (level_led_hold > 0) --level_led_hold;
  return colour;
}

tmeasurement_page::tmeasurement_page(QWidget* parent, QTimer& display_timer)
    : QWidget(parent), display_timer_(display_timer)
{
  ui.setupUi(this);
  for (const auto& [label, pixels] : {std::pair{ui.Label17, 20}, {ui.Label16, 20}, {ui.Label11, 27}, {ui.Label14, 27},
                                      {ui.Label1, 20}, {ui.Label2, 20}, {ui.Label5, 16}, {ui.Label30, 16},
                                      {ui.Label13, 16}, {ui.Label15, 16}, {ui.Label19, 16}, {ui.Label28, 16}}) {
    label->setFont(font_of_pixel_size(pixels));
  }
  clear_values();  // until the first reading of a real signal
  ui.Edit11->set_colour(tlamp_colour::green);
  // The groups' design state; the window's creation pushes it into the
  // engine by running their handlers.
  for (const auto& [group, item] : {std::pair{ui.RadioGroup1, 0}, {ui.RadioGroup4, 3}, {ui.RadioGroup5, 0},
                                    {ui.RadioGroup6, 0}}) {
    const QSignalBlocker quiet(group);
    group->set_item_index(item);
  }
  connect(ui.RadioGroup1, &toption_group::click, this, &tmeasurement_page::RadioGroup1Click);
  connect(ui.RadioGroup3, &toption_group::click, this, &tmeasurement_page::RadioGroup3Click);
  connect(ui.RadioGroup4, &toption_group::click, this, &tmeasurement_page::RadioGroup4Click);
  connect(ui.RadioGroup5, &toption_group::click, this, &tmeasurement_page::RadioGroup5Click);
  connect(ui.RadioGroup6, &toption_group::click, this, &tmeasurement_page::RadioGroup6Click);
  for (int mode = 0; mode < lcr::meas_mode_count; ++mode) {
    // A button runs the mode when it becomes checked, by a click or by
    // program, not when the checked one is clicked again.
    QRadioButton* button = mode_button(mode);
    connect(button, &QRadioButton::toggled, this, [this, button](bool checked) {
      if (checked) RadioButton_meas0Click(button);
    });
    // A pair the operator picks stands: "Auto" would take it back at the
    // next reading without a word.
    connect(button, &QRadioButton::clicked, ui.CheckBox4, [this] { ui.CheckBox4->setChecked(false); });
  }
  connect(ui.Button4, &QPushButton::clicked, this, &tmeasurement_page::Button4Click);
  connect(ui.Button1, &QPushButton::clicked, this, &tmeasurement_page::Button1Click);
  connect(ui.CheckBox4, &QCheckBox::toggled, this, &tmeasurement_page::CheckBox4Click);
  connect(ui.Button2, &QPushButton::clicked, this, &tmeasurement_page::Button2Click);
}

QRadioButton* tmeasurement_page::mode_button(int mode) const
{
  return findChild<QRadioButton*>(QStringLiteral("RadioButton_meas") + QString::number(mode));
}

void tmeasurement_page::RadioGroup1Click()
{
  lcr::settings.ref_index = ui.RadioGroup1->item_index();
}

void tmeasurement_page::RadioGroup3Click()
{
  lcr::settings.freq_index = ui.RadioGroup3->item_index();
}

void tmeasurement_page::RadioGroup4Click()
{
  const int index = ui.RadioGroup4->item_index();
  if (index >= 0 && index < static_cast<int>(lcr::level_table.size())) {
    lcr::settings.tone_level = lcr::level_table[static_cast<std::size_t>(index)];
  }
  graphic::plot_restart_statistics();
}

void tmeasurement_page::RadioGroup5Click()
{
  set_factor(lcr::settings.ft_factor, lcr::ft_factor_items, ui.RadioGroup5->item_index());
  lcr::settings.request_transform_rebuild = true;
}

void tmeasurement_page::RadioGroup6Click()
{
  set_factor(lcr::settings.avg_count, lcr::avg_count_items, ui.RadioGroup6->item_index());
  lcr::settings.request_average_rebuild = true;
}

void tmeasurement_page::RadioButton_meas0Click(QRadioButton* button)
{
  apply_meas_mode(button);
}

void tmeasurement_page::apply_meas_mode(QRadioButton* button)
{
  if (button == nullptr) return;
  const QString name = button->objectName();
  meas_mode_ = name.mid(static_cast<qsizetype>(std::string_view("RadioButton_meas").size())).toInt();
  lcr::set_meas_mode_quantities(meas_mode_);
  graphic::plot_restart_statistics();

  lcr::tlcr_strings& first = lcr::engine.first_quantity;
  lcr::tlcr_strings& second = lcr::engine.second_quantity;
  if (const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot(); snapshot.signal_seen) {
    show_quantity_values(snapshot.display_z);
  }
  ui.Label10->setText(engine_text(first.long_name));
  ui.Label17->setText(text_of(first.symbol) + ':');
  ui.Label7->setText(tr("max. Abweichung %1:").arg(text_of(first.symbol)));
  ui.Label12->setText(engine_text(second.long_name));
  ui.Label16->setText(text_of(second.symbol) + ':');
  ui.Label18->setText(tr("max. Abweichung %1:").arg(text_of(second.symbol)));
  emit meas_mode_applied();
}

void tmeasurement_page::Button4Click()
{
  const bool running = !lcr::settings.display_running.load();
  lcr::settings.display_running = running;
  if (running) {
    display_timer_.start();
  } else {
    display_timer_.stop();
  }
  ui.Button4->setText(running ? tr("Stopp") : tr("Start"));
  emit display_switched();
}

// "Kal. offen" and "Kal. geschlossen": open and short at the present
// frequency and reference only.
void tmeasurement_page::Button1Click()
{
  begin_correction(lcr::tcal_mode::open);
}

void tmeasurement_page::Button2Click()
{
  begin_correction(lcr::tcal_mode::short_circuit);
}

void tmeasurement_page::begin_correction(lcr::tcal_mode mode)
{
  // The terminals were opened or shorted just now.
  lcr::request_settling();
  pending_correction_ = mode;
  correction_ticks_ = 0;
  ui.Button1->setEnabled(false);
  ui.Button2->setEnabled(false);
  emit correction_started();
  // With the display stopped no tick comes: the latest reading is all there is.
  if (!display_timer_.isActive()) try_correction();
}

void tmeasurement_page::try_correction()
{
  if (!pending_correction_) return;
  const lcr::tcal_step_result result = lcr::cal_store_step(*pending_correction_);
  const bool streaming = waveio::stream.input_running.load() && waveio::stream.output_running.load();
  const bool may_wait = streaming && display_timer_.isActive() && ++correction_ticks_ < settle_ticks;
  if (result == lcr::tcal_step_result::not_settled && may_wait) return;
  const QString button = (*pending_correction_ == lcr::tcal_mode::open ? ui.Button1 : ui.Button2)->text();
  pending_correction_.reset();
  ui.Button1->setEnabled(true);
  ui.Button2->setEnabled(true);
  emit correction_ended();
  if (result != lcr::tcal_step_result::stored) {
    show_error_message(
        tr("%1: nicht gespeichert: %2").arg(button, engine_text(lcr::cal_step_result_text(result))));
  }
}

// "Auto": the mode buttons follow the device, so that they always show the
// pair on display.
void tmeasurement_page::CheckBox4Click()
{
  auto_state_ = {};
}

void tmeasurement_page::show_values(const lcr::tmeasurement_snapshot& snapshot, int signal_state, bool streaming)
{
  try_correction();
  set_values_enabled(streaming);
  show_level_lamp(signal_state, streaming, snapshot.resettling_after_dropout);
  // Before the first evaluation of a real signal the numbers would be those
  // of silence or of a tone still on its way: the display stays empty.
  if (!snapshot.signal_seen) {
    clear_values();
    return;
  }
  if (ui.CheckBox4->isChecked() && streaming) {
    const lcr::tcomplex z = snapshot.display_z;
    const int mode = lcr::meas_mode_of(lcr::auto_mode_update(auto_state_, lcr::auto_phase_deg(z)));
    if (mode != meas_mode_) mode_button(mode)->setChecked(true);  // runs the mode
  }
  show_quantity_values(snapshot.display_z);
  show_deviations();
  ui.Label5->setText(text_of(snapshot.ref_value_text));
  ui.Label30->setText(unit_text(snapshot.ref_unit_text));
}

void tmeasurement_page::show_set_up_notice(const QString& notice)
{
  ui.Label75->setText(notice);
}

void tmeasurement_page::clear_values()
{
  for (QLabel* label : {ui.Label11, ui.Label1, ui.Label14, ui.Label2, ui.Label13, ui.Label15, ui.Label19, ui.Label28,
                        ui.Label5, ui.Label30}) {
    label->clear();
  }
}

void tmeasurement_page::show_quantity_values(lcr::tcomplex z)
{
  lcr::tlcr_strings& first = lcr::engine.first_quantity;
  lcr::tlcr_strings& second = lcr::engine.second_quantity;
  lcr::format_quantity(1, first, lcr::quantity_value(z, first));
  ui.Label11->setText(text_of(first.value_text));
  ui.Label1->setText(unit_text(first.unit_text));
  lcr::format_quantity(1, second, lcr::quantity_value(z, second));
  ui.Label14->setText(text_of(second.value_text));
  ui.Label2->setText(unit_text(second.unit_text));
}

void tmeasurement_page::show_deviations()
{
  lcr::tlcr_strings& first = lcr::engine.first_quantity;
  lcr::tlcr_strings& second = lcr::engine.second_quantity;
  lcr::format_quantity(0, first, lcr::quantity_deviation(first));
  ui.Label13->setText(text_of(first.value_text));
  ui.Label15->setText(unit_text(first.unit_text));
  lcr::format_quantity(0, second, lcr::quantity_deviation(second));
  ui.Label19->setText(text_of(second.value_text));
  ui.Label28->setText(unit_text(second.unit_text));
}

void tmeasurement_page::show_level_lamp(int signal_state, bool streaming, bool resettling)
{
  if (!streaming) {
    ui.Edit11->set_colour(tlamp_colour::grey, tr("kein Signal"));
    return;
  }
  // A dropout in the sound stream: the values hold the last clean reading
  // until the measurement has settled again.
  if (resettling) {
    ui.Edit11->set_colour(tlamp_colour::grey, tr("Aussetzer im Tonstrom, Messung schwingt neu ein"));
    level_led_hold_ = 0;
    return;
  }
  if (const auto colour = level_lamp_tick(level_led_hold_, signal_state)) ui.Edit11->set_colour(*colour);
}

void tmeasurement_page::set_values_enabled(bool enabled)
{
  for (QLabel* label : {ui.Label11, ui.Label1, ui.Label14, ui.Label2, ui.Label13, ui.Label15, ui.Label19, ui.Label28,
                        ui.Label5, ui.Label30}) {
    label->setEnabled(enabled);
  }
}
