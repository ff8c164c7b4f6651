// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading.h"

#include "engine/core/csv_text.h"
#include "engine/core/settings.h"
#include "engine/quantities/quantities.h"
#include "engine/readings/deviation_estimate.h"
#include "engine/readings/settled_reading.h"

#include <cmath>

namespace quarvel_cli {

namespace {

tshown_quantity shown_quantity(const lcr::tlcr_strings& selection, const lcr::tmeasurement_snapshot& snapshot)
{
  tshown_quantity shown;
  shown.record.quantity = selection.quantity;
  shown.record.circuit = selection.circuit;
  lcr::name_quantity(shown.record);
  const lcr::tquantity_reading reading = lcr::quantity_reading(snapshot, shown.record);
  shown.value = reading.value;
  lcr::format_quantity(1, shown.record, shown.value);
  shown.deviation_record = shown.record;
  shown.deviation = reading.deviation;
  lcr::format_quantity(0, shown.deviation_record, shown.deviation);
  shown.uncertainty = reading.uncertainty;
  shown.uncertainty_gap = reading.uncertainty_gap;
  shown.covering = reading.covering;
  return shown;
}

// A number, or nothing while it is not known.
std::string csv_known(double value)
{
  return std::isfinite(value) ? lcr::csv_number(value) : std::string();
}

tjson_object quantity_json(const tshown_quantity& shown)
{
  tjson_object object;
  object.add("quantity", shown.record.quantity)
      .add("circuit", shown.record.circuit)
      .add("symbol", shown.record.symbol)
      .add("long_name", shown.record.long_name)
      .add("value", shown.value)
      .add("value_text", shown.record.value_text)
      .add("unit_text", shown.record.unit_text)
      .add("deviation", shown.deviation)
      .add("deviation_value_text", shown.deviation_record.value_text)
      .add("deviation_unit_text", shown.deviation_record.unit_text);
  object.add("uncertainty", shown.uncertainty);  // null while not known, and why
  if (shown.uncertainty_gap != lcr::tuncertainty_gap::none) {
    object.add("uncertainty_unknown", lcr::uncertainty_gap_key(shown.uncertainty_gap));
  }
  return object;
}

}  // namespace

const char* lamp_text(int signal_state)
{
  switch (signal_state) {
    case lcr::signal_ok: return "grün";
    case lcr::signal_left_weak: return "grau";
    case lcr::signal_right_weak:
    case lcr::signal_near_full_scale: return "gelb";
    default: return "rot";
  }
}

treading take_reading(int meas_mode, const lcr::tmeasurement_snapshot& snapshot, int signal_state)
{
  treading reading;
  reading.meas_mode = meas_mode;
  reading.snapshot = snapshot;
  reading.z = lcr::corrected_chain(snapshot).z;
  reading.signal_state = signal_state;
  const auto [first_selection, second_selection] = lcr::displayed_quantities();
  reading.first = shown_quantity(first_selection, snapshot);
  reading.second = shown_quantity(second_selection, snapshot);
  return reading;
}

std::string reading_json(const treading& reading)
{
  tjson_object z;
  z.add("re", reading.z.re).add("im", reading.z.im);
  tjson_object recommended;
  recommended.add("value_text", reading.snapshot.ref_value_text).add("unit_text", reading.snapshot.ref_unit_text);
  tjson_object object;
  object.add("mode", lcr::meas_modes[static_cast<std::size_t>(reading.meas_mode)].caption);
  if (reading.auto_mode) object.add("auto", true);
  object.add("first", quantity_json(reading.first))
      .add("second", quantity_json(reading.second))
      .add("z", z)
      .add("recommended_ref_ohm", reading.snapshot.recommended_ref_ohm)
      .add("recommended_ref", recommended)
      .add("signal_state", reading.signal_state)
      .add("signal_lamp", lamp_text(reading.signal_state))
      .add("frequency_hz", lcr::current_frequency_hz())
      .add("ref_ohm", lcr::current_ref_resistor_ohm())
      .add("settled", lcr::is_current_reading(reading.snapshot))
      .add("dropouts", static_cast<double>(reading.snapshot.dropouts));
  if (reading.comparison) {
    object.add("delta_percent", reading.comparison->delta_percent)
        .add("verdict", lcr::verdict_key(reading.comparison->verdict));
  }
  return object.text();
}

std::string quantity_line(const tshown_quantity& shown)
{
  return shown.record.symbol + ": " + shown.record.value_text + " " + shown.record.unit_text;
}

std::string deviation_line(const tshown_quantity& shown)
{
  return "max. Abweichung " + shown.record.symbol + ": " + shown.deviation_record.value_text + " " +
         shown.deviation_record.unit_text;
}

std::string comparison_line(const lcr::tcomparison& comparison)
{
  const std::string delta = lcr::format_fixed(comparison.delta_percent, 3, 1, lcr::decimal_separator());
  return "Vergleich: " + std::string(comparison.delta_percent >= 0.0 ? "+" : "") + delta + " % " +
         lcr::verdict_text(comparison.verdict);
}

std::string reading_csv_header()
{
  return lcr::csv_line({"time", "frequency_hz", "ref_ohm", "z_re", "z_im", "first_quantity", "first_value",
                        "first_deviation", "second_quantity", "second_value", "second_deviation", "signal_state",
                        "delta_percent", "verdict", "first_uncertainty", "second_uncertainty", "dropouts"});
}

std::string reading_csv_line(const treading& reading, const std::string& time_stamp)
{
  const bool compared = reading.comparison.has_value();
  return lcr::csv_line({time_stamp, lcr::csv_number(lcr::current_frequency_hz()),
                        lcr::csv_number(lcr::current_ref_resistor_ohm()), lcr::csv_number(reading.z.re),
                        lcr::csv_number(reading.z.im), lcr::csv_field(reading.first.record.symbol),
                        lcr::csv_number(reading.first.value), lcr::csv_number(reading.first.deviation),
                        lcr::csv_field(reading.second.record.symbol), lcr::csv_number(reading.second.value),
                        lcr::csv_number(reading.second.deviation), std::to_string(reading.signal_state),
                        compared ? lcr::csv_number(reading.comparison->delta_percent) : std::string(),
                        compared ? std::string(lcr::verdict_key(reading.comparison->verdict)) : std::string(),
                        csv_known(reading.first.uncertainty), csv_known(reading.second.uncertainty),
                        std::to_string(reading.snapshot.dropouts)});
}

}  // namespace quarvel_cli
