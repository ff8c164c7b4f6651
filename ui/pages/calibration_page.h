// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Kalibrierung": a calibration sweep over the eight frequencies
// in one of the five calibration modes on the window's 500 ms timer, one
// tone after another or ("Multiton") all eight in one pass, the known
// resistor of mode 4, "Speichern" with its backup, "Kalibrierung
// verwerfen" back to the file's calibration, and the fixed table of error
// bounds. Window's thread.

#include "ui/pages/page_services.h"
#include "ui_calibration_page.h"

#include "engine/calibration/calibration_steps.h"

#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class tcalibration_page : public QWidget, public tcalibration_progress {
  Q_OBJECT

public:
  // `sweep_timer`: the window's 500 ms timer, whose ticks step the sweep;
  // `calibration_path`: where "Speichern" writes.
  tcalibration_page(QWidget* parent, tstream_service& streams, QTimer& sweep_timer, std::string calibration_path);

  Ui::calibration_page ui;

  bool sweep_running() const override;
  lcr::tcal_mode selected_mode() const override;
  int cal_phase() const { return cal_phase_; }
  int cal_step() const { return cal_step_; }

signals:
  // The reference item chosen for the calibration ("R ref" follows it).
  void reference_chosen(int item);
  // A sweep starts: it measures at "FT Faktor" 4 and "Pegel" 1.00.
  void sweep_settings_requested(int ft_factor_item, int level_item);
  // The sweep has ended: the operator's frequency applies again.
  void sweep_ended();

public slots:
  void RadioGroup8Click();
  void RadioGroup9Click();
  void Button5Click();
  void Timer2Timer();
  void Button7Click();
  void Button14Click();

private:
  bool read_known_resistor();
  bool store_at_current_frequency();
  void multitone_tick();
  void show_progress(double frequencies_done, const QString& doing);
  void finish_multitone_pass();
  void end_sweep();
  void report_refusals();

  tstream_service& streams_;
  QTimer& sweep_timer_;
  std::string calibration_path_;
  int cal_phase_ = 0;
  int cal_step_ = 0;
  int waiting_ticks_ = 0;  // for a settled reading at this frequency
  std::optional<lcr::tmultitone_calibration_settings> multitone_pass_;  // while one runs
  std::vector<std::pair<int, lcr::tcal_step_result>> refusals_;  // frequency index, why
};
