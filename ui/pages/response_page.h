// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Frequenzgang": the device over the eight test frequencies,
// either stepped ("Einzeltöne": one tone after another, with "Auto R ref"
// at the reference the meter recommends at each) or live ("Multiton
// (live)": all eight at once, a new curve with every evaluation until
// "Stopp", with "Auto R ref" at the one reference that suits all eight
// best); its table and plot (|Z| and phase, or the two quantities of the
// present mode), the equivalent circuit that fits it best, and the export
// of the table as CSV and of the plot as PNG. Window's thread; the stepped
// sweep steps with the display tick, the live curve with the page's own
// timer, about ten curves a second.

#include "ui_response_page.h"

#include "engine/sweeps/circuit_fit.h"
#include "engine/sweeps/frequency_sweep.h"
#include "engine/sweeps/multitone_response.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

class tresponse_page : public QWidget {
  Q_OBJECT

public:
  explicit tresponse_page(QWidget* parent);

  Ui::response_page ui;

  bool sweep_running() const { return sweep_.has_value(); }
  bool live_running() const { return live_.has_value(); }
  // Curves shown since the live response started.
  std::int64_t live_curves_shown() const { return live_curves_shown_; }
  const std::vector<lcr::tsweep_row>& rows() const { return rows_; }
  const lcr::tcircuit_fit& fit() const { return fit_; }
  const QImage& plot() const { return plot_; }

  // "Auto R ref" only where the reference changes by itself: on the
  // simulated set-up. On a real adapter the fitted resistor is what counts.
  void allow_reference_switching(bool allowed);

  // The display tick's part: the sweep's next step.
  void tick_sweep();
  // The live timer's part: the newest curve, if a new one has come.
  void tick_live();

  // The table as CSV (the same columns as quarvel-cli sweep --csv).
  std::string table_csv() const;

public slots:
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button13Click();
  void RadioGroup12Click();

protected:
  // Leaving the page freezes a live curve: its tone is not the measuring
  // page's.
  void hideEvent(QHideEvent* event) override;

private:
  bool multitone_chosen() const;
  void start_live();
  void stop_live();
  void show_live_rate();
  void show_results();
  void fill_table();
  void draw_plot();

  std::optional<lcr::tfrequency_sweep> sweep_;
  std::optional<lcr::tmultitone_response> live_;
  QTimer live_timer_;
  QElapsedTimer live_clock_;
  std::int64_t live_curves_shown_ = 0;
  std::int64_t rate_curves_ = 0;     // curves counted for the rate shown
  qint64 rate_since_ms_ = 0;
  std::vector<lcr::tsweep_row> rows_;
  lcr::tcircuit_fit fit_;
  QImage plot_;
};
