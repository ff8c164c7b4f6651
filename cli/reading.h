// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One reading as the window would show it at a display tick: both
// quantities of the mode with their deviations, the recommendation, the
// input level, and what the bench features add to it (the pair "Auto"
// chose, the comparator's verdict). With its JSON object and CSV line.

#include "json_writer.h"

#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/auto_mode.h"
#include "engine/quantities/comparator.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/settled_reading.h"

#include <optional>
#include <string>

namespace quarvel_cli {

// A displayed quantity: its record with names and texts, its value and its
// deviation ("max. Abweichung") with texts of their own, and beside them
// the statistical uncertainty (k = 2; NaN while unknown) and the figure a
// comparison relies on.
struct tshown_quantity {
  lcr::tlcr_strings record;
  double value = 0.0;
  lcr::tlcr_strings deviation_record;
  double deviation = 0.0;
  double uncertainty = 0.0;
  lcr::tuncertainty_gap uncertainty_gap = lcr::tuncertainty_gap::none;
  double covering = 0.0;
};

struct treading {
  int meas_mode = 0;
  bool auto_mode = false;  // the mode was chosen by "Auto"
  tshown_quantity first;
  tshown_quantity second;
  lcr::tmeasurement_snapshot snapshot;
  lcr::tcomplex z;         // the snapshot's, corrected with the tables in force
  int signal_state = 0;
  std::optional<lcr::tcomparison> comparison;  // with a nominal value
};

// A settled reading in the mode that is set, with the level code to show.
treading take_reading(int meas_mode, const lcr::tmeasurement_snapshot& snapshot, int signal_state);

// "grün", "gelb", "rot", "grau".
const char* lamp_text(int signal_state);

std::string reading_json(const treading& reading);
std::string quantity_line(const tshown_quantity& shown);
std::string deviation_line(const tshown_quantity& shown);
// "Vergleich: +0,123 % Gut".
std::string comparison_line(const lcr::tcomparison& comparison);

// The CSV header and a line for the reading log, time stamp first.
std::string reading_csv_header();
std::string reading_csv_line(const treading& reading, const std::string& time_stamp);

}  // namespace quarvel_cli
