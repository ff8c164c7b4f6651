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

// The change of a quantity per unit change of one part of the ratio, as a
// secant over one standard uncertainty of that part.
double slope(const auto& value_at, tcomplex h, tcomplex direction, double step)
{
  if (!(step > 0.0)) return 0.0;
  const tcomplex delta{direction.re * step, direction.im * step};
  return (value_at(c_add(h, delta)) - value_at(c_sub(h, delta))) / (2.0 * step);
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
  const tratio_spread& spread = snapshot.ratio_spread;
  if (!spread.valid) return std::numeric_limits<double>::quiet_NaN();
  const tcal_entries entries = entries_of(snapshot);
  const double frequency_hz = frequency_of(snapshot);
  const auto value_at = [&](tcomplex h) {
    return quantity_value(run_correction_chain(h, entries).z, key, parallel, frequency_hz);
  };
  const double d_re = slope(value_at, snapshot.avg_ratio, {1.0, 0.0}, std::sqrt(spread.var_re));
  const double d_im = slope(value_at, snapshot.avg_ratio, {0.0, 1.0}, std::sqrt(spread.var_im));
  const double variance = d_re * d_re * spread.var_re + 2.0 * d_re * d_im * spread.cov + d_im * d_im * spread.var_im;
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
  reading.covering = known_reference && std::isfinite(reading.uncertainty) ? reading.uncertainty : reading.deviation;
  return reading;
}

tquantity_reading quantity_reading(const tmeasurement_snapshot& snapshot, const tlcr_strings& record)
{
  return quantity_reading(snapshot, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit));
}

}  // namespace lcr
