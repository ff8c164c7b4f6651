// SPDX-License-Identifier: GPL-3.0-or-later
#include "deviation_estimate.h"

#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/reading_spread.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>

namespace lcr {

namespace {

constexpr long long grid_unit = 1LL << 20;  // S: a full turn, full noise, full reference range
constexpr double grid = static_cast<double>(grid_unit);
constexpr int max_passes = 11;
constexpr int quiet_passes_to_stop = 3;
constexpr double infinity = std::numeric_limits<double>::infinity();

struct tpoint {
  long long theta1 = 0;
  long long theta2 = 0;
  long long m1 = grid_unit / 2;
  long long m2 = grid_unit / 2;
  long long q = grid_unit / 2;

  friend bool operator==(const tpoint&, const tpoint&) = default;
};

long long limited(long long value)
{
  if (value > grid_unit) value = grid_unit;
  if (value < 0) value = 0;
  return value;
}

// The perturbed reference of one reference setting q: the real part of
// z_ref scaled, the imaginary part dropped; the stray admittance scales with it.
struct treference_setting {
  tcomplex z_ref;
  tcomplex y_open;
};

treference_setting reference_setting(long long q, tcomplex z_ref, tcomplex open_ratio)
{
  const double g = 1.0 - 0.02 * static_cast<double>(grid_unit - 2 * q) / grid;
  treference_setting setting;
  setting.z_ref = {z_ref.re * g, 0.0};
  setting.y_open = c_inv(divider_z(open_ratio, setting.z_ref));
  return setting;
}

// A noise phasor of phase theta and amplitude m on top of `base`.
tcomplex perturbed(tcomplex base, long long theta, long long m, double sigma)
{
  const double alpha = 2.0 * pi * static_cast<double>(theta) / grid;
  return {base.re + std::sin(alpha) * static_cast<double>(m) * sigma / grid,
          base.im + std::cos(alpha) * static_cast<double>(m) * sigma / grid};
}

}  // namespace

double noise_sigma(int n, int avg_count)
{
  double sigma = 0.0;
  if (n > 0) sigma = std::sqrt(1073741824.0 / std::exp(6.02 * 10.0 / 10.0 * std::log(10.0)) / n);
  if (avg_count > 0) sigma /= std::sqrt(static_cast<double>(avg_count));
  return sigma;
}

double search_sigma(const tdeviation_inputs& inputs)
{
  return std::max(noise_sigma(inputs.n, inputs.avg_count), inputs.sigma_floor);
}

tdeviation_search deviation_search(const tdeviation_inputs& in, quantity_key key, bool parallel)
{
  const double sigma = search_sigma(in);
  const tcomplex z_open = c_inv(in.y_open);
  const tcomplex open_ratio = c_div(z_open, c_add(in.z_ref, z_open));
  const auto value_of = [&](tcomplex z) { return quantity_value(z, key, parallel, in.frequency_hz); };
  const double v_nom = value_of(divider_open_corrected(in.h, in.z_ref, in.y_open));
  const tcomplex u2 = c_mul(in.h, {in.a1, 0.0});

  double best = -1e99;
  tpoint centre;
  int pass = 0;
  int quiet = 0;
  do {
    const long long phase_step = grid_unit >> (pass + 2);
    const long long amplitude_step = grid_unit >> (pass + 1);
    // Each coordinate takes few values per pass: the costly parts are
    // computed once per value, the same way for every point.
    std::array<treference_setting, 3> references;
    std::array<long long, 3> q_values{};
    for (int k5 = -1; k5 <= 1; ++k5) {
      q_values[static_cast<std::size_t>(k5 + 1)] = limited(centre.q + k5 * amplitude_step);
      references[static_cast<std::size_t>(k5 + 1)] =
          reference_setting(q_values[static_cast<std::size_t>(k5 + 1)], in.z_ref, open_ratio);
    }
    std::array<std::array<tcomplex, 3>, 5> left{};
    std::array<std::array<tcomplex, 3>, 5> right{};
    std::array<long long, 3> m1_values{};
    std::array<long long, 3> m2_values{};
    for (int k = -1; k <= 1; ++k) {
      m1_values[static_cast<std::size_t>(k + 1)] = limited(centre.m1 + k * amplitude_step);
      m2_values[static_cast<std::size_t>(k + 1)] = limited(centre.m2 + k * amplitude_step);
    }
    for (int k = -2; k <= 2; ++k) {
      for (int j = 0; j < 3; ++j) {
        left[static_cast<std::size_t>(k + 2)][static_cast<std::size_t>(j)] =
            perturbed({in.a1, 0.0}, centre.theta1 + k * phase_step, m1_values[static_cast<std::size_t>(j)], sigma);
        right[static_cast<std::size_t>(k + 2)][static_cast<std::size_t>(j)] =
            perturbed(u2, centre.theta2 + k * phase_step, m2_values[static_cast<std::size_t>(j)], sigma);
      }
    }

    tpoint candidate = centre;
    for (int k1 = 0; k1 < 5; ++k1) {
      for (int k2 = 0; k2 < 5; ++k2) {
        for (int k3 = 0; k3 < 3; ++k3) {
          for (int k4 = 0; k4 < 3; ++k4) {
            const tcomplex h = c_div(right[static_cast<std::size_t>(k2)][static_cast<std::size_t>(k4)],
                                     left[static_cast<std::size_t>(k1)][static_cast<std::size_t>(k3)]);
            for (int k5 = 0; k5 < 3; ++k5) {
              const treference_setting& reference = references[static_cast<std::size_t>(k5)];
              const double v = value_of(divider_open_corrected(h, reference.z_ref, reference.y_open));
              // A value that cannot be computed deviates without bound.
              const double difference = std::fabs(quantity_difference(key, v, v_nom));
              const double deviation = std::isnan(difference) ? infinity : difference;
              if (deviation > best) {
                best = deviation;
                candidate = {centre.theta1 + (k1 - 2) * phase_step, centre.theta2 + (k2 - 2) * phase_step,
                             m1_values[static_cast<std::size_t>(k3)], m2_values[static_cast<std::size_t>(k4)],
                             q_values[static_cast<std::size_t>(k5)]};
              }
            }
          }
        }
      }
    }
    quiet = candidate == centre ? quiet + 1 : 0;
    ++pass;
    centre = candidate;
  } while (!(std::fabs(v_nom) < best) && pass < max_passes && quiet < quiet_passes_to_stop);
  return {best, pass};
}

namespace {

// The noise the snapshot's own spread (chance and rounding) shows on each
// input, as the worst case takes it: from the raw ratio, as the inputs
// recorded it.
double spread_floor(const tmeasurement_snapshot& snapshot)
{
  const tratio_spread spread = sum_spreads(random_spread(snapshot), quantisation_spread(snapshot));
  return worst_case_factor * equivalent_channel_sigma(spread, snapshot.avg_ratio, snapshot.channel1_amplitude);
}

}  // namespace

double bounded_deviation(const tdeviation_inputs& inputs, quantity_key key, bool parallel)
{
  const double deviation = deviation_search(inputs, key, parallel).deviation;
  // The pole lies where the shown value has it: after the short correction.
  const tcomplex z = short_correct(divider_open_corrected(inputs.h, inputs.z_ref, inputs.y_open), inputs.z_short);
  const double f = inputs.frequency_hz;
  const tquantity_poles poles = quantity_poles(key, parallel, f, z);
  const bool pole_r = poles.resistance;
  const bool pole_x = poles.reactance;
  const bool pole_z = poles.impedance;
  if (!pole_r && !pole_x && !pole_z) return deviation;
  // Near a pole the grid of noise phasors may miss how far the value runs:
  // the resistance and reactance are bounded by their own worst cases, and
  // the value is taken over that whole box (which also holds the
  // reference's ±2 % acting on both at once, so it errs wide).
  const double d_r = deviation_search(inputs, quantity_key::R, false).deviation;
  const double d_x = deviation_search(inputs, quantity_key::X, false).deviation;
  // How near the pole the reachable values come, in steps of the worst
  // case: at 1 or less they hold it; beyond 4 the value is smooth enough
  // there for the grid.
  const auto steps = [](double part, double worst) { return worst > 0.0 ? std::fabs(part) / worst : infinity; };
  const double nearness = std::min({pole_r ? steps(z.re, d_r) : infinity, pole_x ? steps(z.im, d_x) : infinity,
                                    pole_z ? std::max(steps(z.re, d_r), steps(z.im, d_x)) : infinity});
  if (!(nearness > 1.0)) return infinity;
  if (nearness > 4.0) return deviation;
  const double nominal = quantity_value(z, key, parallel, f);
  double widest = deviation;
  for (const double r_step : {-1.0, 0.0, 1.0}) {
    for (const double x_step : {-1.0, 0.0, 1.0}) {
      const double v = quantity_value({z.re + r_step * d_r, z.im + x_step * d_x}, key, parallel, f);
      widest = std::max(widest, std::fabs(quantity_difference(key, v, nominal)));
    }
  }
  return widest;
}

tdeviation_inputs deviation_snapshot()
{
  const int r = clamp_ref_index(settings.ref_index.load());
  const int f = clamp_freq_index(settings.freq_index.load());
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  const tcal_entries entries = calibration_entries(r, f);
  tdeviation_inputs inputs;
  inputs.avg_count = settings.avg_count.load();
  inputs.frequency_hz = test_frequencies[static_cast<std::size_t>(f)];
  inputs.h = snapshot.ratio_corrected;
  inputs.a1 = snapshot.channel1_amplitude;
  inputs.n = snapshot.transform_length;
  inputs.z_ref = entries.z_ref;
  inputs.y_open = entries.y_open;
  inputs.z_short = entries.z_short;
  inputs.sigma_floor = spread_floor(snapshot);
  return inputs;
}

tdeviation_inputs deviation_inputs(const tmeasurement_snapshot& snapshot)
{
  const tcal_entries entries = calibration_entries(snapshot.tag.ref_index, snapshot.tag.freq_index);
  tdeviation_inputs inputs;
  inputs.h = run_correction_chain(snapshot.avg_ratio, entries).ratio_corrected;
  inputs.a1 = snapshot.channel1_amplitude;
  inputs.n = snapshot.transform_length;
  inputs.avg_count = snapshot.tag.avg_count;
  inputs.z_ref = entries.z_ref;
  inputs.y_open = entries.y_open;
  inputs.z_short = entries.z_short;
  inputs.frequency_hz = test_frequencies[static_cast<std::size_t>(clamp_freq_index(snapshot.tag.freq_index))];
  inputs.sigma_floor = spread_floor(snapshot);
  return inputs;
}

double noise_deviation(tcomplex h, const tlcr_strings& record, double a1)
{
  tdeviation_inputs inputs = deviation_snapshot();
  inputs.h = h;
  inputs.a1 = a1;
  return deviation_search(inputs, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit)).deviation;
}

double quantity_deviation(const tlcr_strings& record)
{
  const tdeviation_inputs inputs = deviation_snapshot();
  return bounded_deviation(inputs, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit));
}

}  // namespace lcr
