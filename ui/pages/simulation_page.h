#pragma once

// The page "Simulation": the simulated set-up's device under test as a
// network text, what is wired on its adapter ("automatisch" follows the
// calibration sweep's mode and the selected set-up test), ideal or
// realistic imperfections, and the input noise. Usable while the simulated
// set-up is a selected device. Window's thread.

#include "ui_simulation_page.h"

#include "audio/simulated/fixture_set_up.h"

#include <QWidget>

class TForm1;

class tsimulation_page : public QWidget {
  Q_OBJECT

public:
  explicit tsimulation_page(TForm1& window);

  Ui::simulation_page ui;

  // Puts the set-up into the state the controls (and, with "automatisch",
  // the calibration and setup pages) ask for.
  void apply_set_up();
  // The adapter's state that "automatisch" chooses now.
  waveio::tset_up automatic_set_up() const;

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

  TForm1& window_;
};
