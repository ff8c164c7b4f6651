#pragma once

// The page "Frequenzgang": a sweep of the device over the eight test
// frequencies (with "Auto R ref" at the reference the meter recommends at
// each), its table and plot (|Z| and phase, or the two quantities of the
// present mode), the equivalent circuit that fits it best, and the export
// of the table as CSV and of the plot as PNG. Window's thread; the sweep
// steps with the display tick.

#include "ui_response_page.h"

#include "engine/circuit_fit.h"
#include "engine/frequency_sweep.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <vector>

class tresponse_page : public QWidget {
  Q_OBJECT

public:
  explicit tresponse_page(QWidget* parent);

  Ui::response_page ui;

  bool sweep_running() const { return sweep_.has_value(); }
  const std::vector<lcr::tsweep_row>& rows() const { return rows_; }
  const lcr::tcircuit_fit& fit() const { return fit_; }
  const QImage& plot() const { return plot_; }

  // "Auto R ref" only where the reference changes by itself: on the
  // simulated set-up. On a real adapter the fitted resistor is what counts.
  void allow_reference_switching(bool allowed);

  // The display tick's part: the sweep's next step.
  void tick_sweep();

  // The table as CSV (the same columns as quarvel-cli sweep --csv).
  std::string table_csv() const;

public slots:
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void RadioGroup12Click();

private:
  void show_results();
  void fill_table();
  void draw_plot();

  std::optional<lcr::tfrequency_sweep> sweep_;
  std::vector<lcr::tsweep_row> rows_;
  lcr::tcircuit_fit fit_;
  QImage plot_;
};
