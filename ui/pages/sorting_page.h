// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Sortieren": the first quantity of the measurement against a
// nominal value and a tolerance, as benchtop comparators sort parts: its
// deviation from nominal in percent and a lamp, green "Gut", yellow
// "Grenzwertig", red "Schlecht". "Grenzwertig" goes by the statistical
// uncertainty where the reference has been calibrated at the frequency,
// by the worst-case deviation otherwise. Window's thread.

#include "ui_sorting_page.h"

#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/comparator.h"

#include <QWidget>

#include <optional>

class tsorting_page : public QWidget {
  Q_OBJECT

public:
  explicit tsorting_page(QWidget* parent);

  Ui::sorting_page ui;

  // The display tick's part: the first quantity and its verdict. Only a
  // reading settled under the present settings is judged; while there is
  // none the verdict stays empty.
  void show_comparison(const lcr::tmeasurement_snapshot& snapshot);
  const std::optional<lcr::tcomparison>& comparison() const { return comparison_; }

private:
  std::optional<lcr::tcomparison> comparison_;
};

// A value as the operator types it: the locale's decimal separator and an
// optional SI prefix ("4,7k", "100n", "2.2 M"); nothing when it is not one.
std::optional<double> parse_entered_value(const QString& text, char separator);
