// SPDX-License-Identifier: GPL-3.0-or-later
#include "settled_reading.h"

#include "corrections.h"
#include "settings.h"

#include <cmath>
#include <limits>
#include <mutex>

namespace lcr {

namespace {

tcal_entries entries_of(const tmeasurement_snapshot& snapshot)
{
  return calibration_entries(snapshot.tag.ref_index, snapshot.tag.freq_index);
}

double frequency_of(const tmeasurement_snapshot& snapshot)
{
  return test_frequencies[static_cast<std::size_t>(clamp_freq_index(snapshot.tag.freq_index))];
}

}  // namespace

bool is_current_reading(const tmeasurement_snapshot& snapshot)
{
  return snapshot.settled && snapshot.tag == current_measure_tag();
}

tcorrection_chain corrected_chain(const tmeasurement_snapshot& snapshot)
{
  return run_correction_chain(snapshot.avg_ratio, entries_of(snapshot));
}

tdeviation_inputs deviation_inputs(const tmeasurement_snapshot& snapshot)
{
  const tcal_entries entries = entries_of(snapshot);
  tdeviation_inputs inputs;
  inputs.h = run_correction_chain(snapshot.avg_ratio, entries).ratio_corrected;
  inputs.a1 = snapshot.channel1_amplitude;
  inputs.n = snapshot.transform_length;
  inputs.avg_count = snapshot.tag.avg_count;
  inputs.z_ref = entries.z_ref;
  inputs.y_open = entries.y_open;
  inputs.frequency_hz = frequency_of(snapshot);
  return inputs;
}

double expanded_uncertainty(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel)
{
  if (!snapshot.ratio_spread.valid) return std::numeric_limits<double>::quiet_NaN();
  const tcal_entries entries = entries_of(snapshot);
  const tcal_entry_spreads entry_spreads = calibration_entry_spreads(snapshot.tag.ref_index, snapshot.tag.freq_index);
  const double frequency_hz = frequency_of(snapshot);
  const auto value_with = [&](const tcal_entries& with) {
    return quantity_value(run_correction_chain(snapshot.avg_ratio, with).z, key, parallel, frequency_hz);
  };
  // The reading's own scatter, and the scatter each entry brought from its
  // calibration step, taken as independent.
  double variance = propagate_variance(
      [&](tcomplex h) { return quantity_value(run_correction_chain(h, entries).z, key, parallel, frequency_hz); },
      snapshot.avg_ratio, snapshot.ratio_spread);
  const auto add_entry = [&](tcomplex tcal_entries::*entry, const tratio_spread& spread) {
    variance += propagate_variance(
        [&](tcomplex value) {
          tcal_entries with = entries;
          with.*entry = value;
          return value_with(with);
        },
        entries.*entry, spread);
  };
  add_entry(&tcal_entries::h_short, entry_spreads.h_short);
  add_entry(&tcal_entries::h_direct, entry_spreads.h_direct);
  add_entry(&tcal_entries::y_open, entry_spreads.y_open);
  add_entry(&tcal_entries::z_short, entry_spreads.z_short);
  add_entry(&tcal_entries::z_ref, entry_spreads.z_ref);
  return coverage_factor * std::sqrt(std::max(variance, 0.0));
}

bool reference_calibrated(int ref_index, int freq_index)
{
  const int r = clamp_ref_index(ref_index);
  const tcomplex z_ref = calibration_entries(r, freq_index).z_ref;
  return z_ref.re != ref_resistors[static_cast<std::size_t>(r)] || z_ref.im != 0.0;
}

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel)
{
  tquantity_reading reading;
  reading.value = quantity_value(corrected_chain(snapshot).z, key, parallel, frequency_of(snapshot));
  reading.deviation = deviation_search(deviation_inputs(snapshot), key, parallel).deviation;
  reading.uncertainty = expanded_uncertainty(snapshot, key, parallel);
  const bool known_reference = reference_calibrated(snapshot.tag.ref_index, snapshot.tag.freq_index);
  reading.bound = !(known_reference && std::isfinite(reading.uncertainty));
  reading.covering = reading.bound ? reading.deviation : reading.uncertainty;
  return reading;
}

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, const tlcr_strings& record)
{
  return quantity_reading(snapshot, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit));
}

}  // namespace lcr
