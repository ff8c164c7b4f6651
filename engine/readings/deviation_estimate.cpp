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
#include <utility>

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

// The reference factor's ends in the search (q = 0 and q = grid_unit).
constexpr double least_reference_factor = 1.0 - 0.02;
constexpr double largest_reference_factor = 1.0 + 0.02;
constexpr double degrees_per_radian = 180.0 / pi;

// A function of one angle with its first and second derivative.
struct tjet {
  double v = 0.0;
  double d1 = 0.0;
  double d2 = 0.0;
};

tjet operator+(tjet a, tjet b)
{
  return {a.v + b.v, a.d1 + b.d1, a.d2 + b.d2};
}

tjet operator-(tjet a, tjet b)
{
  return {a.v - b.v, a.d1 - b.d1, a.d2 - b.d2};
}

tjet scaled(tjet a, double factor)
{
  return {factor * a.v, factor * a.d1, factor * a.d2};
}

tjet quotient(tjet a, tjet b)
{
  const double v = a.v / b.v;
  const double d1 = (a.d1 - v * b.d1) / b.v;
  return {v, d1, (a.d2 - 2.0 * d1 * b.d1 - v * b.d2) / b.v};
}

tjet arcsine(tjet a)
{
  const double root = std::sqrt(1.0 - a.v * a.v);
  return {std::asin(a.v), a.d1 / root, a.d2 / root + a.v * a.d1 * a.d1 / (root * root * root)};
}

// √(p + q·cos t), t moving with the angle.
tjet root_of_cosine(double p, double q, double cos_t, double sin_t)
{
  const double u = p + q * cos_t;
  const double u1 = -q * sin_t;
  const double r = std::sqrt(u);
  return {r, u1 / (2.0 * r), (-2.0 * u * q * cos_t - u1 * u1) / (4.0 * u * r)};
}

// With the reference factor g aside, a perturbed impedance is
// Z = g·R / (A/N − c): A and N the left and right inputs, each within σ of
// a1 and u2 = h·a1, R the reference's real part (the search drops its
// imaginary part) and c = 1 + z_ref·y_open (the perturbed stray admittance
// scales with the reference, so c stays). As N runs round its circle, 1/N
// runs round the circle (m0, r0), and A/N − c fills the disc of centre
// C(θ) = C0 + K·e^{i(θ + arg C0)} and radius σ·|1/N|. log Z is holomorphic
// in each input where Z has neither zero nor pole, so |Z| and arg Z take
// their extremes with N on its circle: over θ, at the disc's nearest and
// farthest points and its tangents from 0.
struct tnoise_circle {
  double c0 = 0.0;  // |C0|
  double k = 0.0;   // K = a1·r0
  double m0 = 0.0;  // |m0|
  double r0 = 0.0;
  double cos_mu = 1.0;  // of arg m0 − arg C0
  double sin_mu = 0.0;
  double sigma = 0.0;
};

// The disc at θ: |C| and σ·|1/N|.
struct tdisc_at {
  double cos_t = 1.0;
  double sin_t = 0.0;
  tjet distance;
  tjet radius;
};

tdisc_at disc_at(const tnoise_circle& n, double theta)
{
  tdisc_at disc;
  disc.cos_t = std::cos(theta);
  disc.sin_t = std::sin(theta);
  disc.distance = root_of_cosine(n.c0 * n.c0 + n.k * n.k, 2.0 * n.k * n.c0, disc.cos_t, disc.sin_t);
  const double cos_m = disc.cos_t * n.cos_mu + disc.sin_t * n.sin_mu;
  const double sin_m = disc.sin_t * n.cos_mu - disc.cos_t * n.sin_mu;
  disc.radius = scaled(root_of_cosine(n.m0 * n.m0 + n.r0 * n.r0, 2.0 * n.r0 * n.m0, cos_m, sin_m), n.sigma);
  return disc;
}

// arg C − arg C0 of the disc.
tjet centre_angle(const tnoise_circle& n, const tdisc_at& disc)
{
  const double d2 = disc.distance.v * disc.distance.v;
  return {std::atan2(n.k * disc.sin_t, n.c0 + n.k * disc.cos_t), n.k * (n.k + n.c0 * disc.cos_t) / d2,
          n.k * n.c0 * disc.sin_t * (n.k * n.k - n.c0 * n.c0) / (d2 * d2)};
}

// The extreme (sense +1 the largest, −1 the smallest) of f on [lo, hi],
// where f bends one way only and has its extreme inside: Newton's steps
// on the slope, halving the interval where a step would leave it.
template <typename F>
double extreme_on_arc(const F& f, double lo, double hi, double start, double sense)
{
  double t = start;
  double extreme = sense * -infinity;
  for (int step = 0; step < 64; ++step) {
    const tjet j = f(t);
    extreme = sense > 0.0 ? std::max(extreme, j.v) : std::min(extreme, j.v);
    const double slope = sense * j.d1;
    (slope > 0.0 ? lo : hi) = t;
    const double step_to_top = -slope / (sense * j.d2);
    // What so short a step leaves of the extreme (bend · step²) is far
    // below the rounding allowed for.
    if (!(std::fabs(step_to_top) > 1e-10 * (1.0 + std::fabs(t)))) break;
    const double next = t + step_to_top;
    t = next > lo && next < hi ? next : 0.5 * (lo + hi);
  }
  return extreme;
}

// Each extreme sought is a larger curve (|C|, or arg C) plus or minus a
// smaller one (the disc's radius, or its half angle seen from 0). It lies
// where the larger curve comes within the smaller one's range of its own
// extreme; where the larger curve bends more than the bounds below (which
// hold on the whole circle) allow the smaller to, the sum has one extreme
// there, and Newton's steps find it.
struct tcurvature_bounds {
  double radius = 0.0;   // |∂²(σ·|1/N|)|
  double tangent = 0.0;  // |∂² asin(σ·|1/N| / |C|)|
};

tcurvature_bounds curvature_bounds(const tnoise_circle& n)
{
  const double near = n.c0 - n.k;
  const double sigma_r0 = n.sigma * n.r0;
  const double distance_bend = n.k * n.c0 * ((n.c0 + n.k) * (n.c0 + n.k) + n.k * n.c0) / (near * near * near);
  const double inner = n.m0 - n.r0;
  tcurvature_bounds bounds;
  bounds.radius = sigma_r0 * n.m0 * ((n.m0 + n.r0) * (n.m0 + n.r0) + n.r0 * n.m0) / (inner * inner * inner);
  const double q = n.sigma * (n.m0 + n.r0) / near;
  const double q1 = (sigma_r0 + q * n.k) / near;
  const double q2 = (bounds.radius + 2.0 * q1 * n.k + q * distance_bend) / near;
  const double root = std::sqrt(1.0 - q * q);
  bounds.tangent = q2 / root + q * q1 * q1 / (root * root * root);
  return bounds;
}

// Least and largest |A/N − c| over both inputs' noise; nothing where the
// curvatures do not keep each one single.
std::optional<std::pair<double, double>> distance_range(const tnoise_circle& n,
                                                        const tcurvature_bounds& bounds)
{
  const double spread = 2.0 * n.sigma * n.r0;  // of the radius over θ
  const double scale = spread / (n.k * n.c0);
  // The farthest lies where |C| is within `spread` of its largest (θ = 0),
  // the nearest where it is within `spread` of its least (θ = π).
  const double cos_far = 1.0 - (n.c0 + n.k) * scale + 0.5 * spread * scale;
  const double cos_near = 1.0 - (n.c0 - n.k) * scale - 0.5 * spread * scale;
  if (!(cos_far > 0.0 && cos_near > 0.0)) return std::nullopt;
  const double far_width = std::acos(cos_far);
  const double near_width = std::acos(cos_near);
  const double q = 2.0 * n.k * n.c0;
  const double near_u = (n.c0 - n.k) * (n.c0 - n.k) + q * (1.0 - cos_near);
  const double far_bend = n.k * n.c0 * cos_far / (n.c0 + n.k);
  const double near_bend =
      (2.0 * (n.c0 - n.k) * (n.c0 - n.k) * q * cos_near - q * q * (1.0 - cos_near * cos_near)) /
      (4.0 * near_u * std::sqrt(near_u));
  if (!(far_bend > bounds.radius && near_bend > bounds.radius)) return std::nullopt;
  const double farthest = extreme_on_arc(
      [&](double t) {
        const tdisc_at disc = disc_at(n, t);
        return disc.distance + disc.radius;
      },
      -far_width, far_width, 0.0, 1.0);
  const double nearest = extreme_on_arc(
      [&](double t) {
        const tdisc_at disc = disc_at(n, t);
        return disc.distance - disc.radius;
      },
      pi - near_width, pi + near_width, pi, -1.0);
  return std::pair{nearest, farthest};
}

// Extremes of arg(A/N − c) − arg C0 over both inputs' noise.
std::optional<std::pair<double, double>> angle_range(const tnoise_circle& n, const tcurvature_bounds& bounds)
{
  const double largest = std::asin(n.k / n.c0);  // of arg C − arg C0, at θ = ±acos(−K/|C0|)
  const double tangent_spread =
      std::asin(n.sigma * (n.m0 + n.r0) / (n.c0 - n.k)) - std::asin(n.sigma * (n.m0 - n.r0) / (n.c0 + n.k));
  const double level = largest - tangent_spread;
  if (!(level > 0.0)) return std::nullopt;
  // Where arg C − arg C0 ≥ level: K·sin(θ − level) ≥ |C0|·sin(level).
  const double offset = std::asin(std::min(1.0, n.c0 * std::sin(level) / n.k));
  const double lo = level + offset;
  const double hi = level + pi - offset;
  const double bend =
      n.k * n.c0 * (n.c0 * n.c0 - n.k * n.k) * std::sin(offset - level) / std::pow(n.c0 + n.k, 4);
  if (!(offset > level && bend > bounds.tangent)) return std::nullopt;
  const auto angle = [&](double t, double side) {
    const tdisc_at disc = disc_at(n, t);
    return centre_angle(n, disc) + scaled(arcsine(quotient(disc.radius, disc.distance)), side);
  };
  const double start = std::acos(-n.k / n.c0);
  const double upper = extreme_on_arc([&](double t) { return angle(t, 1.0); }, lo, hi, start, 1.0);
  const double lower = extreme_on_arc([&](double t) { return angle(t, -1.0); }, -hi, -lo, -start, -1.0);
  return std::pair{lower, upper};
}

}  // namespace

std::optional<double> closed_form_deviation(const tdeviation_inputs& in, quantity_key key, bool parallel)
{
  if (parallel || (key != quantity_key::Z && key != quantity_key::phi_Z)) return std::nullopt;
  const double sigma = search_sigma(in);
  const double r_ohm = in.z_ref.re;
  const tcomplex u2 = c_mul(in.h, {in.a1, 0.0});
  const double u2_abs = c_abs(u2);
  if (!(sigma > 0.0 && sigma < infinity && r_ohm > 0.0 && r_ohm < infinity)) return std::nullopt;
  // Neither input may vanish within the noise (the chain's guards).
  if (!(in.a1 > sigma && in.a1 < infinity && u2_abs > sigma && u2_abs < infinity)) return std::nullopt;
  // As the search's perturbed references make it: 1/open_ratio.
  tcomplex c{1.0, 0.0};
  if (!(in.y_open == tcomplex{})) {
    const tcomplex z_open = c_inv(in.y_open);
    const tcomplex open_ratio = c_div(z_open, c_add(in.z_ref, z_open));
    if (open_ratio == tcomplex{}) return std::nullopt;
    c = c_inv(open_ratio);
  }
  const double d = (u2_abs - sigma) * (u2_abs + sigma);
  const tcomplex m0{u2.re / d, -u2.im / d};
  const tcomplex centre = c_sub({in.a1 * m0.re, in.a1 * m0.im}, c);
  const double arg_c0 = std::atan2(centre.im, centre.re);
  const double mu = std::atan2(m0.im, m0.re) - arg_c0;
  tnoise_circle n;
  n.c0 = c_abs(centre);
  n.r0 = sigma / d;
  n.k = in.a1 * n.r0;
  n.m0 = c_abs(m0);
  n.cos_mu = std::cos(mu);
  n.sin_mu = std::sin(mu);
  n.sigma = sigma;
  // The least |A/N − c|: the pole (an open) must lie beyond the noise.
  const double least_distance = n.c0 - n.k - sigma * (n.m0 + n.r0);
  if (!(least_distance > 0.0)) return std::nullopt;
  // What the search's own rounding may add: the chain cancels as the pole
  // nears.
  const double largest_ratio = (in.a1 + sigma) / (u2_abs - sigma);
  const double rounding = 1e-12 * (1.0 + (largest_ratio + c_abs(c)) / least_distance);
  const double value =
      quantity_value(divider_open_corrected(in.h, in.z_ref, in.y_open), key, false, in.frequency_hz);
  if (!std::isfinite(value)) return std::nullopt;
  const tcurvature_bounds bounds = curvature_bounds(n);
  if (key == quantity_key::Z) {
    const auto range = distance_range(n, bounds);
    if (!range) return std::nullopt;
    const double z_max = largest_reference_factor * r_ohm / range->first;
    const double z_min = least_reference_factor * r_ohm / range->second;
    return std::max(z_max - value, value - z_min) + rounding * z_max;
  }
  const auto range = angle_range(n, bounds);
  if (!range) return std::nullopt;
  // arg Z = −arg(A/N − c), widened by the rounding.
  const double lo = -(arg_c0 + range->second + rounding) * degrees_per_radian;
  const double hi = -(arg_c0 + range->first - rounding) * degrees_per_radian;
  const auto holds_odd_right_angle = [](double a, double b) {
    return std::floor((b - 90.0) / 180.0) >= std::ceil((a - 90.0) / 180.0);
  };
  // Where the resistance may vanish, the phase's guard makes the value 0.
  if (holds_odd_right_angle(lo, hi)) return std::nullopt;
  if (holds_odd_right_angle(lo - value, hi - value)) return 90.0;
  return std::max(std::fabs(std::remainder(lo - value, 180.0)), std::fabs(std::remainder(hi - value, 180.0)));
}

double worst_case_deviation(const tdeviation_inputs& inputs, quantity_key key, bool parallel)
{
  if (const std::optional<double> deviation = closed_form_deviation(inputs, key, parallel)) return *deviation;
  return deviation_search(inputs, key, parallel).deviation;
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
  const double deviation = worst_case_deviation(inputs, key, parallel);
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
  return worst_case_deviation(inputs, parse_quantity_key(record.quantity),
                              is_parallel_circuit(record.circuit));
}

double quantity_deviation(const tlcr_strings& record)
{
  const tdeviation_inputs inputs = deviation_snapshot();
  return bounded_deviation(inputs, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit));
}

}  // namespace lcr
