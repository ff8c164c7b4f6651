#pragma once

// The page "Kalibrierung": a calibration sweep over the eight frequencies
// in one of the five calibration modes on the window's 500 ms timer, the
// known resistor of mode 4, "Speichern" with its backup, and the fixed table
// of error bounds. Window's thread.

#include "ui_calibration_page.h"

#include "engine/calibration_steps.h"

#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class TForm1;

class tcalibration_page : public QWidget {
  Q_OBJECT

public:
  explicit tcalibration_page(TForm1& window);

  Ui::calibration_page ui;

  bool sweep_running() const;
  lcr::tcal_mode selected_mode() const;
  int cal_phase() const { return cal_phase_; }
  int cal_step() const { return cal_step_; }

public slots:
  void RadioGroup8Click();
  void RadioGroup9Click();
  void Button5Click();
  void Timer2Timer();
  void Button7Click();

private:
  bool read_known_resistor();
  bool store_at_current_frequency();
  void end_sweep();
  void report_refusals();

  TForm1& window_;
  int cal_phase_ = 0;
  int cal_step_ = 0;
  int waiting_ticks_ = 0;  // for a settled reading at this frequency
  std::vector<std::pair<int, lcr::tcal_step_result>> refusals_;  // frequency index, why
};

// A number as the operator's locale writes it ("1000,0" with a decimal
// comma); nothing when the text is not one.
std::optional<double> parse_locale_number(const QString& text, char separator);
