// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Simulation": the simulated set-up's device under test as a
// network text, what is wired on its adapter ("automatisch" follows the
// calibration sweep's mode and the selected set-up test), ideal or
// realistic imperfections, and the input noise. Usable while the simulated
// set-up is a selected device. Window's thread.

#include "ui/pages/page_services.h"
#include "ui_simulation_page.h"

#include "audio/simulated/fixture_set_up.h"

#include <QWidget>

class tsimulation_page : public QWidget {
  Q_OBJECT

public:
  tsimulation_page(QWidget* parent, tstream_service& streams, const tcalibration_progress& calibration);

  Ui::simulation_page ui;

  // Puts the set-up into the state the controls (and, with "automatisch",
  // the calibration and setup pages) ask for.
  void apply_set_up();
  // The adapter's state that "automatisch" chooses now.
  waveio::tset_up automatic_set_up() const;
  // The settings file's "Aufbau", adapter and noise; items out of range and
  // a noise not in the list keep the defaults. Applied to the set-up.
  void restore_choices(int set_up_item, int adapter_item, const QString& noise);
  // "Aufbau" back to "automatisch": the terminals wired to the device
  // unless a calibration or a test asks otherwise. Applied.
  void choose_automatic_set_up();
  // For the measuring page: what is wired instead of the device under test
  // ("" while it is the device).
  QString set_up_notice() const;

signals:
  // The set-up was rewired; set_up_notice() tells what it measures now.
  void set_up_applied();

public slots:
  void Edit18Exit();
  void ComboBox4Change();
  void RadioGroup10Click();
  void RadioGroup11Click();
  void ComboBox5Change();

private:
  waveio::tset_up chosen_set_up() const;
  void show_network_error(const QString& message);
  void rewire(const waveio::tfixture_config& config);

  tstream_service& streams_;
  const tcalibration_progress& calibration_;
};
