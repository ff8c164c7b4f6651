// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "LCR Messung": the two measured values with their deviations,
// the recommended reference resistor, the level lamp, the measurement mode
// and the option groups that set the engine. Window's thread.

#include "ui/widgets/lamp.h"
#include "ui_measurement_page.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/auto_mode.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class QRadioButton;

class tmeasurement_page : public QWidget {
  Q_OBJECT

public:
  // `display_timer`: the window's display tick, which "Stopp" stops.
  tmeasurement_page(QWidget* parent, QTimer& display_timer);

  Ui::measurement_page ui;

  int meas_mode() const { return meas_mode_; }
  // The mode button of a mode, or nullptr ("RadioButton_meas" + number).
  QRadioButton* mode_button(int mode) const;

  // The mode's quantities into the engine, their names and values into the
  // labels, the plot's scale texts after them.
  void apply_meas_mode(QRadioButton* button);

  // The display tick's part on this page: values, deviations, the
  // recommendation and the level lamp. `streaming` false: a device has
  // stopped, so the values are greyed and the lamp says "kein Signal".
  void show_values(const lcr::tmeasurement_snapshot& snapshot, int signal_state, bool streaming);
  // What the simulated set-up measures when it is not the device under
  // test ("" when it is, or on a real card).
  void show_set_up_notice(const QString& notice);

signals:
  // "Kal. offen" or "Kal. geschlossen" waits for its reading, or has
  // stored it: the simulated set-up's "automatisch" wires the terminals
  // for the step and back.
  void correction_started();
  void correction_ended();
  // A mode's quantities are on display: the plot's scale texts follow.
  void meas_mode_applied();
  // "Stopp" or "Start": the display shows the measurement once more.
  void display_switched();

public slots:
  void RadioGroup1Click();
  void RadioGroup3Click();
  void RadioGroup4Click();
  void RadioGroup5Click();
  void RadioGroup6Click();
  void RadioButton_meas0Click(QRadioButton* button);
  void Button4Click();
  void Button1Click();
  void Button2Click();
  void CheckBox4Click();

  // The step "Kal. offen" or "Kal. geschlossen" waits for, if any.
  std::optional<lcr::tcal_mode> pending_correction() const { return pending_correction_; }

private:
  // "Kal. offen" and "Kal. geschlossen" store from a reading recorded after
  // the click, looked for at every display tick until it has settled.
  void begin_correction(lcr::tcal_mode mode);
  void try_correction();

  void show_quantity_values(lcr::tcomplex z);
  void clear_values();
  void show_deviations();
  void show_level_lamp(int signal_state, bool streaming, bool resettling);
  void set_values_enabled(bool enabled);

  QTimer& display_timer_;
  int meas_mode_ = 0;
  int level_led_hold_ = 0;
  lcr::tauto_mode auto_state_;
  std::optional<lcr::tcal_mode> pending_correction_;
  int correction_ticks_ = 0;
};

// One display tick of the level lamp: a warning code (1 … 4) sets the hold
// to ten ticks and its colour (1 grey, 2 and 3 yellow, 4 red); green
// returns when the hold has run out without a new warning. Returns the
// colour to show, or nothing to keep the lamp as it is.
std::optional<tlamp_colour> level_lamp_tick(int& level_led_hold, int signal_state);
