// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Impedanzkurve": the impedance analyser's curve of a loudspeaker
// or a crossover part from "Von" to "Bis" at a number of points per octave,
// |Z| and phase with each point's deviation, under the meter's "R ref" and
// "Pegel". "Start" measures one curve of the chosen periods and stops, but
// first measures a resonance that lies on too few points again on finer
// bins (curve_refinement.h);
// with "Live" the curve follows every period until "Stopp", while the
// operator trims a part. An imported .zma is drawn beside it, the mouse
// reads both off, and the curve is exported as .zma, CSV or JSON. The
// analyser's own calibration is taken here in its five steps from the
// running curve and kept in "Quarvel.zcal" beside the calibration file.
// The tab "Lautsprecher" takes the curve shown as a loudspeaker's free-air
// or second curve and gives its small-signal parameters.
//
// Window's thread. The excitation plays only while the page measures: the
// page's timer polls the worker's periods then, and "Stopp", a finished
// curve or leaving the page destroys the measurement, and the meter's tone
// returns.

#include "ui_impedance_page.h"

#include "engine/analyser/analyser_calibration.h"
#include "engine/analyser/analyser_calibration_steps.h"
#include "engine/analyser/analyser_measurement.h"
#include "engine/analyser/zma_text.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class timpedance_page : public QWidget {
  Q_OBJECT

public:
  // `calibration_path`: the meter's calibration file; the analyser's is
  // loaded from beside it, and "Speichern" writes there.
  timpedance_page(QWidget* parent, const std::string& calibration_path);

  Ui::impedance_page ui;

  bool measuring() const { return measurement_.has_value(); }
  const std::vector<lcr::tanalyser_row>& rows() const { return rows_; }
  // Curves drawn since the page was made.
  std::int64_t curves_shown() const { return curves_shown_; }
  const std::vector<lcr::tzma_point>& overlay() const { return overlay_; }
  const lcr::tanalyser_calibration& calibration() const { return calibration_; }

  // The read-out under the plot for the mouse at `frequency_hz`: the
  // nearest measured point's values with their deviations, and the
  // overlay's at that point's frequency.
  QString cursor_text(double frequency_hz) const;

  // The poll timer's part: the newest period, and a new curve from it.
  void tick_measurement();

public slots:
  void Button15Click();
  void Button16Click();
  void Button17Click();
  void Button18Click();
  void Button19Click();
  void Button20Click();
  void Button21Click();
  // "Kurve übernehmen" of the loudspeaker's free-air and second curve.
  void Button22Click();
  void Button23Click();
  void ComboBox10Change();
  void PaintBox3MouseMove(double frequency_hz);

protected:
  void showEvent(QShowEvent* event) override;
  // Leaving the page stops the analyser: its excitation is not the other
  // pages' tone.
  void hideEvent(QHideEvent* event) override;

private:
  void stop_measurement();
  void take_curve();
  bool start_refinement();
  void enable_controls();
  void show_curves();
  void show_status();
  void show_settings_in_force();
  void load_calibration();
  std::optional<std::string> export_text(const QString& suffix) const;

  std::string calibration_path_;  // "Quarvel.zcal"
  lcr::tanalyser_calibration calibration_;
  lcr::tanalyser_step_capture capture_;
  std::optional<lcr::tanalyser_measurement> measurement_;
  QTimer poll_timer_;
  lcr::tgrid_request request_;  // of the measurement running
  int periods_wanted_ = 1;
  std::int64_t dropouts_at_start_ = 0;
  std::int64_t dropouts_ = 0;  // since the start; kept after the stop
  // The curve shown and what it was measured with.
  std::vector<lcr::tanalyser_row> rows_;
  std::int64_t curves_shown_ = 0;
  lcr::tgrid_request curve_request_;
  int curve_periods_ = 0;
  int curve_periods_wanted_ = 1;
  double curve_level_ = 0.0;  // tone_level
  double curve_device_rms_ = 0.0;  // device_rms_full_scale
  std::vector<lcr::tzma_point> overlay_;
  // A closer look at the resonance after the curve: its coarse rows, and
  // where and how finely it measures.
  std::vector<lcr::tanalyser_row> coarse_rows_;
  double coarse_device_rms_ = 0.0;
  struct trefinement_state {
    bool running = false;
    bool done = false;
    double fs_hz = 0.0;
    double bin_hz = 0.0;
  } refinement_;
};
