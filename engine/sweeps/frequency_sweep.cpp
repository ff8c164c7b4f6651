// SPDX-License-Identifier: GPL-3.0-or-later
#include "frequency_sweep.h"

#include "engine/core/csv_text.h"
#include "engine/core/settings.h"
#include "engine/quantities/quantities.h"
#include "engine/readings/settled_reading.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace lcr {

namespace {

// A reference the engine recommends that the sweep has not tried yet is
// worth a second settling; three are plenty (the recommendation converges).
constexpr int most_reference_changes = 3;

}  // namespace

std::vector<int> all_frequency_indices()
{
  std::vector<int> indices(freq_count);
  for (int f = 0; f < freq_count; ++f) indices[static_cast<std::size_t>(f)] = f;
  return indices;
}

tfrequency_sweep::tfrequency_sweep(bool auto_ref, std::vector<int> freq_indices,
                                   const std::optional<tquantity_pair>& quantities)
    : auto_ref_(auto_ref),
      freq_indices_(std::move(freq_indices)),
      quantities_(quantities.value_or(displayed_quantity_pair())),
      operator_freq_index_(settings.freq_index.load()),
      operator_ref_index_(settings.ref_index.load())
{
  for (int& f : freq_indices_) f = clamp_freq_index(f);
  if (freq_indices_.empty()) {
    done_ = true;
    return;
  }
  rows_.reserve(freq_indices_.size());
  switch_to(0);
}

int tfrequency_sweep::progress_percent() const
{
  return freq_indices_.empty() ? 100 : static_cast<int>(rows_.size() * 100 / freq_indices_.size());
}

void tfrequency_sweep::switch_to(std::size_t point)
{
  point_ = point;
  reference_changes_ = 0;
  waiting_ticks_ = 0;
  settings.freq_index = freq_index();
}

bool tfrequency_sweep::tick()
{
  if (done_) return false;
  // Someone else chose a frequency meanwhile: a reading of it would carry
  // the wrong label, so the sweep takes its own back and settles again.
  if (settings.freq_index.load() != freq_index()) switch_to(point_);
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  if (!is_current_reading(snapshot)) {
    if (++waiting_ticks_ > most_ticks_per_point) {
      failed_ = true;
      finish();
      return false;
    }
    return true;
  }
  if (auto_ref_ && reference_changes_ < most_reference_changes) {
    const int recommended = recommended_ref_index(snapshot);
    if (recommended >= 0 && recommended != settings.ref_index.load()) {
      settings.ref_index = recommended;
      ++reference_changes_;
      waiting_ticks_ = 0;
      return true;
    }
  }
  rows_.push_back(reading_row(snapshot, quantities_));
  if (point_ + 1 < freq_indices_.size()) {
    switch_to(point_ + 1);
  } else {
    finish();
  }
  return !done_;
}

std::string tfrequency_sweep::failure_text() const
{
  if (!failed_) return {};
  const int hz = test_frequencies[static_cast<std::size_t>(freq_index())];
  return "kein eingeschwungener Messwert bei " + (hz >= 1000 ? std::to_string(hz / 1000) + " kHz" : std::to_string(hz) + " Hz");
}

int ref_index_of(double resistance_ohm)
{
  for (int r = 0; r < ref_count; ++r) {
    if (ref_resistors[static_cast<std::size_t>(r)] == resistance_ohm) return r;
  }
  return -1;
}

int recommended_ref_index(const tmeasurement_snapshot& snapshot)
{
  return ref_index_of(snapshot.recommended_ref_ohm);
}

tquantity_pair displayed_quantity_pair()
{
  const auto [first, second] = displayed_quantities();
  return {{parse_quantity_key(first.quantity), is_parallel_circuit(first.circuit)},
          {parse_quantity_key(second.quantity), is_parallel_circuit(second.circuit)}};
}

std::vector<tsweep_row> multitone_rows(const tmeasurement_snapshot& snapshot, const tquantity_pair& quantities,
                                       bool quantity_deviations)
{
  std::vector<tsweep_row> rows;
  rows.reserve(test_frequencies.size());
  for (int f = 0; f < freq_count; ++f) {
    rows.push_back(reading_row(multitone_point(snapshot, f), quantities, quantity_deviations));
  }
  return rows;
}

tsweep_row reading_row(const tmeasurement_snapshot& snapshot)
{
  return reading_row(snapshot, displayed_quantity_pair());
}

tsweep_row basis_row(const treading_basis& basis, const tquantity_pair& quantities, bool quantity_deviations)
{
  const auto& [first, second] = quantities;
  tsweep_row row;
  row.frequency_hz = basis.frequency_hz;
  const tcorrection_chain chain = run_correction_chain(basis.avg_ratio, basis.entries);
  row.z = chain.z;
  row.recommended_ref_index = ref_index_of(recommended_resistor_for(c_abs(chain.z_raw)));
  row.divider_ratio = chain.ratio_corrected;
  const tquantity_reading magnitude = quantity_reading(basis, quantity_key::Z, false);
  row.z_deviation = magnitude.deviation;
  row.z_uncertainty = magnitude.uncertainty;
  row.z_uncertainty_gap = magnitude.uncertainty_gap;
  row.z_covering = magnitude.covering;
  row.z_covering_bound = magnitude.bound;
  const tquantity_reading phase = quantity_reading(basis, quantity_key::phi_Z, false);
  row.phase_deviation = phase.deviation;
  row.phase_uncertainty = phase.uncertainty;
  if (!quantity_deviations) {
    constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
    row.first_value = quantity_value(row.z, first.key, first.parallel, row.frequency_hz);
    row.second_value = quantity_value(row.z, second.key, second.parallel, row.frequency_hz);
    row.first_deviation = row.first_uncertainty = row.second_deviation = row.second_uncertainty = unknown;
    return row;
  }
  const tquantity_reading first_reading = quantity_reading(basis, first.key, first.parallel);
  row.first_value = first_reading.value;
  row.first_deviation = first_reading.deviation;
  row.first_uncertainty = first_reading.uncertainty;
  const tquantity_reading second_reading = quantity_reading(basis, second.key, second.parallel);
  row.second_value = second_reading.value;
  row.second_deviation = second_reading.deviation;
  row.second_uncertainty = second_reading.uncertainty;
  return row;
}

tsweep_row reading_row(const tmeasurement_snapshot& snapshot, const tquantity_pair& quantities,
                       bool quantity_deviations)
{
  tsweep_row row = basis_row(reading_basis(snapshot), quantities, quantity_deviations);
  row.freq_index = clamp_freq_index(snapshot.tag.freq_index);
  row.frequency_hz = test_frequencies[static_cast<std::size_t>(row.freq_index)];
  row.ref_index = clamp_ref_index(snapshot.tag.ref_index);
  row.signal_state = snapshot.latest_signal_state;
  return row;
}

bool divider_ratio_doubtful(tcomplex ratio)
{
  constexpr double least_share = 0.05;
  return std::min(c_abs(ratio), c_abs(c_sub({1.0, 0.0}, ratio))) < least_share;
}

std::vector<tfit_point> sweep_fit_points(const std::vector<tsweep_row>& rows)
{
  std::vector<tfit_point> points;
  for (const tsweep_row& row : rows) {
    const bool meaningful = (row.signal_state == signal_ok || row.signal_state == signal_near_full_scale) &&
                            row.z_covering < c_abs(row.z);
    if (meaningful) points.push_back({row.frequency_hz, row.z, row.z_covering, row.z_covering_bound});
  }
  return points;
}

std::string sweep_csv_text(const std::vector<tsweep_row>& rows, std::string_view first_symbol,
                           std::string_view second_symbol)
{
  std::string text = csv_line({"frequency_hz", "ref_ohm", "z_re", "z_im", "z_deviation", "first_quantity", "first_value",
                               "first_deviation", "second_quantity", "second_value", "second_deviation", "signal_state",
                               "z_uncertainty", "first_uncertainty", "second_uncertainty"});
  for (const tsweep_row& row : rows) {
    text += csv_line({csv_number(row.frequency_hz), csv_number(ref_resistors[static_cast<std::size_t>(row.ref_index)]),
                      csv_number(row.z.re), csv_number(row.z.im), csv_number(row.z_deviation),
                      csv_field(first_symbol), csv_number(row.first_value), csv_number(row.first_deviation),
                      csv_field(second_symbol), csv_number(row.second_value), csv_number(row.second_deviation),
                      std::to_string(row.signal_state), csv_number(row.z_uncertainty),
                      csv_number(row.first_uncertainty), csv_number(row.second_uncertainty)});
  }
  return text;
}

void tfrequency_sweep::cancel()
{
  if (!done_) finish();
}

void tfrequency_sweep::finish()
{
  settings.freq_index = operator_freq_index_;
  settings.ref_index = operator_ref_index_;
  done_ = true;
}

}  // namespace lcr
