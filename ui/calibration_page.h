#pragma once

// The page "Kalibrierung": the calibration sweep's controls, the known
// resistor and "Speichern", and the fixed table of error bounds. Window's
// thread.

#include "ui_calibration_page.h"

#include <QWidget>

class TForm1;

class tcalibration_page : public QWidget {
  Q_OBJECT

public:
  explicit tcalibration_page(TForm1& window);

  Ui::calibration_page ui;
};
