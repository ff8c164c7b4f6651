// SPDX-License-Identifier: GPL-3.0-or-later
#include "settled_reading.h"

#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/readings/reading_spread.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// The variance the calibration entries' spreads bring into the quantity,
// and whether any entry's spread is unknown.
struct tentries_variance {
  double variance = 0.0;
  bool unknown = false;
};

template <typename Value>
tentries_variance entries_variance(const tcal_entries& entries, const tcal_entry_spreads& spreads, double period,
                                   const Value& value_with)
{
  tentries_variance out;
  const auto add_entry = [&](tcomplex tcal_entries::*entry, const tentry_spread& spread) {
    out.unknown = out.unknown || spread.unknown;
    out.variance += propagate_variance(
        [&](tcomplex value) {
          tcal_entries with = entries;
          with.*entry = value;
          return value_with(with);
        },
        entries.*entry, spread.spread, period);
  };
  add_entry(&tcal_entries::h_short, spreads.h_short);
  add_entry(&tcal_entries::h_direct, spreads.h_direct);
  add_entry(&tcal_entries::y_open, spreads.y_open);
  add_entry(&tcal_entries::z_short, spreads.z_short);
  add_entry(&tcal_entries::z_ref, spreads.z_ref);
  return out;
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

const char* uncertainty_gap_key(tuncertainty_gap gap)
{
  switch (gap) {
    case tuncertainty_gap::none: return "";
    case tuncertainty_gap::not_settled: return "not_settled";
    case tuncertainty_gap::calibration_unknown: return "calibration_spread_unknown";
    case tuncertainty_gap::unbounded: return "unbounded";
  }
  return "";
}

treading_basis reading_basis(const tmeasurement_snapshot& snapshot)
{
  treading_basis basis;
  basis.avg_ratio = snapshot.avg_ratio;
  basis.spread = reading_spread(snapshot);
  basis.entries = entries_of(snapshot);
  basis.entry_spreads = calibration_entry_spreads(snapshot.tag.ref_index, snapshot.tag.freq_index);
  basis.reference_calibrated = reference_calibrated(snapshot.tag.ref_index, snapshot.tag.freq_index);
  basis.frequency_hz = frequency_of(snapshot);
  basis.deviation = deviation_inputs(snapshot);
  return basis;
}

tuncertainty reading_uncertainty(const treading_basis& basis, quantity_key key, bool parallel)
{
  constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
  const tcal_entries& entries = basis.entries;
  const double frequency_hz = basis.frequency_hz;
  const double period = quantity_period(key);
  const auto value_with = [&](const tcal_entries& with) {
    return quantity_value(run_correction_chain(basis.avg_ratio, with).z, key, parallel, frequency_hz);
  };
  // The entries and the reading are taken as independent.
  const tentries_variance calibration = entries_variance(entries, basis.entry_spreads, period, value_with);
  tuncertainty out;
  out.calibration = calibration.unknown ? 0.0 : std::sqrt(std::max(calibration.variance, 0.0));
  if (!basis.spread.valid) {
    out.expanded = unknown;
    out.gap = tuncertainty_gap::not_settled;
    return out;
  }
  if (calibration.unknown) {
    out.expanded = unknown;
    out.gap = tuncertainty_gap::calibration_unknown;
    return out;
  }
  const auto reading_variance_of = [&](quantity_key of, bool of_parallel, double of_period) {
    return propagate_variance(
        [&](tcomplex h) { return quantity_value(run_correction_chain(h, entries).z, of, of_parallel, frequency_hz); },
        basis.avg_ratio, basis.spread, of_period);
  };
  out.expanded =
      coverage_factor * std::sqrt(std::max(reading_variance_of(key, parallel, period) + calibration.variance, 0.0));
  // A linear spread means nothing where it reaches the quantity's pole:
  // the value may lie anywhere beyond.
  const tcomplex z = run_correction_chain(basis.avg_ratio, entries).z;
  const tquantity_poles poles = quantity_poles(key, parallel, frequency_hz, z);
  if (poles.resistance || poles.reactance || poles.impedance) {
    // The expanded uncertainty of the resistance and of the reactance.
    const auto part_expanded = [&](quantity_key part) {
      const double part_variance =
          reading_variance_of(part, false, 0.0) +
          entries_variance(entries, basis.entry_spreads, 0.0, [&](const tcal_entries& with) {
            return quantity_value(run_correction_chain(basis.avg_ratio, with).z, part, false, frequency_hz);
          }).variance;
      return coverage_factor * std::sqrt(std::max(part_variance, 0.0));
    };
    const double u_r = part_expanded(quantity_key::R);
    const double u_x = part_expanded(quantity_key::X);
    const bool reached_r = !(std::fabs(z.re) > u_r);
    const bool reached_x = !(std::fabs(z.im) > u_x);
    if ((poles.resistance && reached_r) || (poles.reactance && reached_x) || (poles.impedance && reached_r && reached_x)) {
      out.expanded = std::numeric_limits<double>::infinity();
      out.gap = tuncertainty_gap::unbounded;
      return out;
    }
    // Within ten of their uncertainties of the pole the quantity bends too
    // much for a linear spread: it is taken over the box of the
    // resistance's and reactance's own uncertainties, as the worst case is,
    // which covers as often as they do.
    const auto steps = [](double part, double u) { return u > 0.0 ? std::fabs(part) / u : std::numeric_limits<double>::infinity(); };
    const double nearness = std::min({poles.resistance ? steps(z.re, u_r) : std::numeric_limits<double>::infinity(),
                                      poles.reactance ? steps(z.im, u_x) : std::numeric_limits<double>::infinity(),
                                      poles.impedance ? std::max(steps(z.re, u_r), steps(z.im, u_x))
                                                      : std::numeric_limits<double>::infinity()});
    if (!(nearness < 10.0)) return out;
    const double nominal = quantity_value(z, key, parallel, frequency_hz);
    for (const double r_step : {-1.0, 0.0, 1.0}) {
      for (const double x_step : {-1.0, 0.0, 1.0}) {
        const double v = quantity_value({z.re + r_step * u_r, z.im + x_step * u_x}, key, parallel, frequency_hz);
        out.expanded = std::max(out.expanded, std::fabs(quantity_difference(key, v, nominal)));
      }
    }
  }
  return out;
}

tuncertainty reading_uncertainty(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel)
{
  return reading_uncertainty(reading_basis(snapshot), key, parallel);
}

bool reference_calibrated(int ref_index, int freq_index)
{
  const int r = clamp_ref_index(ref_index);
  const tcomplex z_ref = calibration_entries(r, freq_index).z_ref;
  // A step stored a spread with it (known or not), even where the value it
  // found is the nominal one to the file's eight digits.
  const tentry_spread spread = calibration_entry_spreads(r, freq_index).z_ref;
  return z_ref.re != ref_resistors[static_cast<std::size_t>(r)] || z_ref.im != 0.0 || spread.spread.valid ||
         spread.unknown;
}

tquantity_reading quantity_reading(const treading_basis& basis, quantity_key key, bool parallel)
{
  tquantity_reading reading;
  reading.value = quantity_value(run_correction_chain(basis.avg_ratio, basis.entries).z, key, parallel, basis.frequency_hz);
  const tuncertainty uncertainty = reading_uncertainty(basis, key, parallel);
  reading.uncertainty = uncertainty.expanded;
  reading.uncertainty_gap = uncertainty.gap;
  reading.deviation = bounded_deviation(basis.deviation, key, parallel) + worst_case_factor * uncertainty.calibration;
  // Never less than the statistical figure, unbounded where that is.
  if (!std::isnan(reading.uncertainty)) reading.deviation = std::max(reading.deviation, reading.uncertainty);
  reading.bound = !(basis.reference_calibrated && std::isfinite(reading.uncertainty));
  reading.covering = reading.bound ? reading.deviation : reading.uncertainty;
  return reading;
}

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, quantity_key key, bool parallel)
{
  return quantity_reading(reading_basis(snapshot), key, parallel);
}

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, const tlcr_strings& record)
{
  return quantity_reading(snapshot, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit));
}

tmeasurement_snapshot multitone_point(const tmeasurement_snapshot& snapshot, int freq_index)
{
  const auto f = static_cast<std::size_t>(clamp_freq_index(freq_index));
  tmeasurement_snapshot point = snapshot;
  point.avg_ratio = snapshot.multitone_ratio[f];
  point.ratio_spread = snapshot.multitone_spread[f];
  point.noise_spread = snapshot.multitone_noise_spread[f];
  point.noise = snapshot.multitone_noise[f];
  point.channel1_amplitude = snapshot.multitone_amplitude[f];
  point.tag.freq_index = static_cast<int>(f);
  return point;
}

}  // namespace lcr
