// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The loudspeaker's small-signal parameters on the page "Impedanzkurve":
// the page's curve taken as the free-air one and as a second one (with a
// mass added to the cone, or in a closed box), the values the operator
// enters, and the engine's parameters with their ± (k = 2) as a table, or
// its reason for refusing them. "Kopieren" puts the table on the
// clipboard as text.
//
// Window's thread.

#include "ui_loudspeaker_panel.h"

#include "engine/analyser/analyser_measurement.h"
#include "engine/loudspeaker/curve_refinement.h"
#include "engine/loudspeaker/driver_parameters.h"

#include <QWidget>

#include <optional>
#include <vector>

class tloudspeaker_panel : public QWidget {
  Q_OBJECT

 public:
  explicit tloudspeaker_panel(QWidget* parent);

  // The two slots, in the order of their buttons.
  enum class tslot { free_air, second };
  // `device_rms_full_scale`: the level across the driver while it was
  // measured, a share of full scale (device_rms_full_scale).
  void take_curve(tslot slot, const std::vector<lcr::tanalyser_row>& rows, double device_rms_full_scale);
  const lcr::tdriver_curve& curve(tslot slot) const;

  // The table as "Kopieren" copies it; empty before a measurement.
  QString table_text() const;

  Ui::loudspeaker_panel ui;

 public slots:
  void compute();
  void copy_table();

 private:
  void show_slot(tslot slot);
  void show_refusal(const QString& reason);
  void show_report(const lcr::tdriver_report& report);
  // The entries; nothing, with `fault` saying which field is not a
  // number, when one is not.
  std::optional<lcr::tdriver_entries> read_entries(QString& fault) const;
  std::optional<lcr::tsecond_curve> read_second(QString& fault) const;
  // The inputs' RMS at full scale ("Eingang"), where entered.
  std::optional<double> read_input_vrms(QString& fault) const;
  void add_drive_rows(const lcr::tdriver_report& report);

  lcr::tdriver_curve free_curve_;
  lcr::tdriver_curve second_curve_;
  double free_device_rms_ = 0.0;  // shares of full scale
  double second_device_rms_ = 0.0;
};
