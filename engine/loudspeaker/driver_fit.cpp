// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_fit.h"

#include "engine/core/complex_math.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace lcr {

namespace {

using complex = std::complex<double>;

constexpr int most_iterations = 300;
constexpr double largest_damping = 1e12;
// χ² of one parameter more that chance exceeds once in a thousand.
constexpr double one_parameter_bound = 10.83;
// A relative misfit below a part in 10⁹ per point is the numbers'
// rounding: no parameter is worth adding for it.
constexpr double rounding_variance = 1e-18;

// A point as the fit weighs it: its residual is split along the measured
// |Z| (radial) and across it (the phase), each with its own σ.
struct tweighted_point {
  double frequency_hz = 0.0;
  complex z_ohm;
  complex turn;  // conj(Z)/|Z|: turns a difference into (radial, tangential)
  double sigma_radial_ohm = 1.0;
  double sigma_tangential_ohm = 1.0;
};

std::vector<tweighted_point> weighted_points(std::span<const tdriver_point> points, bool weighted)
{
  std::vector<tweighted_point> result;
  result.reserve(points.size());
  for (const tdriver_point& point : points) {
    const double magnitude = std::max(std::abs(point.z_ohm), 1e-12);
    tweighted_point entry{point.frequency_hz, point.z_ohm, std::conj(point.z_ohm) / magnitude, magnitude,
                          magnitude};
    if (weighted) {
      // A σ of 0 would weigh a point infinitely: a part in 10⁹ of |Z| is
      // the least a point is trusted with.
      entry.sigma_radial_ohm = std::max(point.sigma_magnitude_ohm, 1e-9 * magnitude);
      entry.sigma_tangential_ohm = point.sigma_phase_rad > 0.0
                                       ? std::max(magnitude * point.sigma_phase_rad, 1e-9 * magnitude)
                                       : entry.sigma_radial_ohm;
    }
    result.push_back(entry);
  }
  return result;
}

struct tproblem {
  std::vector<tweighted_point> points;
  std::vector<std::size_t> free;  // indices into the vector of the parameters fitted
  tcoil_model coil = tcoil_model::plain;
};

// The weighted residuals (measured − model) and the model's weighted
// slopes, two rows per point.
struct tlinearised {
  std::vector<double> residual;
  std::vector<tdriver_vector> slopes;
  double chi_square = 0.0;
};

tlinearised linearise(const tproblem& problem, const tdriver_vector& values, bool with_slopes)
{
  const tdriver_model model = model_of(values, problem.coil);
  tlinearised result;
  result.residual.reserve(2 * problem.points.size());
  for (const tweighted_point& point : problem.points) {
    const complex difference = (point.z_ohm - driver_impedance(model, point.frequency_hz)) * point.turn;
    const double radial = difference.real() / point.sigma_radial_ohm;
    const double tangential = difference.imag() / point.sigma_tangential_ohm;
    result.residual.push_back(radial);
    result.residual.push_back(tangential);
    result.chi_square += radial * radial + tangential * tangential;
    if (!with_slopes) continue;
    const auto slopes = driver_impedance_slopes(model, point.frequency_hz);
    tdriver_vector radial_row{};
    tdriver_vector tangential_row{};
    for (std::size_t k = 0; k < driver_parameter_count; ++k) {
      const complex turned = slopes[k] * point.turn;
      radial_row[k] = turned.real() / point.sigma_radial_ohm;
      tangential_row[k] = turned.imag() / point.sigma_tangential_ohm;
    }
    result.slopes.push_back(radial_row);
    result.slopes.push_back(tangential_row);
  }
  return result;
}

// Sᵀ·S over the free parameters, and Sᵀ·r.
struct tnormal_equations {
  tsquare_matrix matrix;
  std::vector<double> right;
};

tnormal_equations normal_equations(const tproblem& problem, const tlinearised& linear)
{
  const std::size_t n = problem.free.size();
  tnormal_equations equations{tsquare_matrix(n), std::vector<double>(n, 0.0)};
  for (std::size_t row = 0; row < linear.slopes.size(); ++row) {
    const tdriver_vector& slope = linear.slopes[row];
    for (std::size_t i = 0; i < n; ++i) {
      equations.right[i] += slope[problem.free[i]] * linear.residual[row];
      for (std::size_t k = 0; k < n; ++k)
        equations.matrix.at(i, k) += slope[problem.free[i]] * slope[problem.free[k]];
    }
  }
  return equations;
}

// Le may come out below zero within its ± (a curve that hardly shows it);
// the others are magnitudes of a passive network.
bool physical(const tdriver_vector& values)
{
  return values[index_of(tdriver_parameter::re_ohm)] > 0.0 &&
         values[index_of(tdriver_parameter::res_ohm)] > 0.0 &&
         values[index_of(tdriver_parameter::fs_hz)] > 0.0 && values[index_of(tdriver_parameter::qms)] > 0.0;
}

struct tsolution {
  tdriver_vector values{};
  double chi_square = 0.0;
  bool solved = false;
};

tsolution levenberg_marquardt(const tproblem& problem, tdriver_vector values)
{
  tlinearised linear = linearise(problem, values, true);
  double damping = 1e-3;
  for (int iteration = 0; iteration < most_iterations && linear.chi_square > 0.0; ++iteration) {
    tnormal_equations equations = normal_equations(problem, linear);
    for (std::size_t i = 0; i < problem.free.size(); ++i) equations.matrix.at(i, i) *= 1.0 + damping;
    const std::optional<std::vector<double>> step = solve_positive(equations.matrix, equations.right);
    tdriver_vector trial = values;
    bool negligible = true;
    for (std::size_t i = 0; step && i < problem.free.size(); ++i) {
      const std::size_t k = problem.free[i];
      trial[k] += (*step)[i];
      negligible = negligible && std::fabs((*step)[i]) <= 1e-12 * std::fabs(values[k]);
    }
    const double trial_chi_square = step && physical(trial) ? linearise(problem, trial, false).chi_square
                                                            : std::numeric_limits<double>::infinity();
    if (!(trial_chi_square < linear.chi_square)) {
      damping *= 10.0;
      if (damping > largest_damping) break;  // no step downhill is left: the minimum
      continue;
    }
    const double gain = linear.chi_square - trial_chi_square;
    values = trial;
    linear = linearise(problem, values, true);
    damping = std::max(damping / 10.0, 1e-12);
    if (negligible || gain <= 1e-13 * trial_chi_square) break;
  }
  return {values, linear.chi_square, physical(values)};
}

// The χ² that one fit in a thousand of the right model exceeds (Wilson and
// Hilferty's cube).
double chi_square_bound(double freedom)
{
  constexpr double z = 3.09;  // the normal distribution's upper 0.1 %
  const double a = 2.0 / (9.0 * freedom);
  const double cube = 1.0 - a + z * std::sqrt(a);
  return freedom * cube * cube * cube;
}

tdriver_fit refused(std::string reason)
{
  tdriver_fit fit;
  fit.refusal = std::move(reason);
  return fit;
}

// Where the resonance shows its parameters best; the others from there.
tdriver_vector start_values(std::span<const tdriver_point> points, const tresonance& resonance, double re_ohm,
                            const tclassic_parameters& classic)
{
  tdriver_model start;
  start.re_ohm = re_ohm;
  start.fs_hz = resonance.phase_zero_hz;
  start.res_ohm = resonance.z_max_ohm - re_ohm;
  start.qms = classic.qms;
  // The top of the curve: what the motional part leaves of the reactance is
  // the coil's.
  const tdriver_point& top = points.back();
  const complex motional = driver_impedance(start, top.frequency_hz) - re_ohm;
  start.le_h = (top.z_ohm - re_ohm - motional).imag() / (2.0 * pi * top.frequency_hz);
  return vector_of(start);
}

// The lossy coil's start from the plain fit: G2 and Le from what the
// plain model leaves at the top of the curve, 1/Zl = 1/(jωLe) + G2.
tdriver_vector lossy_start(std::span<const tdriver_point> points, tdriver_vector plain)
{
  tdriver_model model = model_of(plain, tcoil_model::plain);
  const tdriver_point& top = points.back();
  const double omega = 2.0 * pi * top.frequency_hz;
  model.le_h = 0.0;
  const complex coil = top.z_ohm - driver_impedance(model, top.frequency_hz);
  const complex admittance = 1.0 / coil;
  double& le_h = plain[index_of(tdriver_parameter::le_h)];
  double& g2_s = plain[index_of(tdriver_parameter::g2_s)];
  if (admittance.imag() < 0.0) le_h = -1.0 / (omega * admittance.imag());
  g2_s = admittance.real() > 0.0 ? admittance.real() : 1e-3 / (omega * std::max(std::fabs(le_h), 1e-9));
  return plain;
}

struct tcandidate {
  tsolution solution;
  tproblem problem;
  tsquare_matrix normal_inverse;  // of the free parameters
  bool valid = false;
};

tcandidate solve_candidate(tproblem problem, const tdriver_vector& start)
{
  tcandidate candidate{levenberg_marquardt(problem, start), std::move(problem), tsquare_matrix(), false};
  if (!candidate.solution.solved) return candidate;
  const tlinearised linear = linearise(candidate.problem, candidate.solution.values, true);
  const std::optional<tsquare_matrix> inverse =
      inverse_positive(normal_equations(candidate.problem, linear).matrix);
  if (!inverse) return candidate;
  candidate.normal_inverse = *inverse;
  candidate.valid = true;
  return candidate;
}

int freedom_of(const tcandidate& candidate)
{
  return static_cast<int>(2 * candidate.problem.points.size() - candidate.problem.free.size());
}

// The misfit per degree of freedom a further parameter is judged against.
double misfit_scale(const tcandidate& candidate, bool weighted)
{
  const double reduced = candidate.solution.chi_square / freedom_of(candidate);
  return weighted ? std::max(1.0, reduced) : std::max(reduced, rounding_variance);
}

bool losses_stand_out(const tcandidate& plain, const tcandidate& lossy, bool weighted)
{
  if (!lossy.valid) return false;
  const double g2_s = lossy.solution.values[index_of(tdriver_parameter::g2_s)];
  const std::size_t g2_row = lossy.problem.free.size() - 1;
  const double g2_u =
      2.0 * std::sqrt(lossy.normal_inverse.at(g2_row, g2_row) * misfit_scale(lossy, weighted));
  const double gain = plain.solution.chi_square - lossy.solution.chi_square;
  return g2_s > g2_u && gain > one_parameter_bound * misfit_scale(lossy, weighted);
}

void take_candidate(const tcandidate& candidate, bool weighted, tdriver_fit& fit)
{
  const tproblem& problem = candidate.problem;
  fit.model = model_of(candidate.solution.values, problem.coil);
  fit.chi_square = candidate.solution.chi_square;
  fit.freedom = freedom_of(candidate);
  fit.weighted = weighted;
  fit.describes_curve = !weighted || fit.chi_square <= chi_square_bound(fit.freedom);
  fit.variance_scale = weighted ? std::max(1.0, fit.chi_square / fit.freedom) : fit.chi_square / fit.freedom;
  for (std::size_t i = 0; i < problem.free.size(); ++i) {
    for (std::size_t k = 0; k < problem.free.size(); ++k) {
      fit.covariance.at(problem.free[i], problem.free[k]) =
          candidate.normal_inverse.at(i, k) * fit.variance_scale;
    }
  }
  if (!fit.re_given) return;
  // How the fitted parameters follow a change of the held Re: the shift
  // that keeps the normal equations satisfied, −(SᵀS)⁻¹·Sᵀ·s_Re.
  const tlinearised linear = linearise(problem, candidate.solution.values, true);
  std::vector<double> pull(problem.free.size(), 0.0);
  for (std::size_t row = 0; row < linear.slopes.size(); ++row) {
    for (std::size_t i = 0; i < problem.free.size(); ++i) {
      pull[i] +=
          linear.slopes[row][problem.free[i]] * linear.slopes[row][index_of(tdriver_parameter::re_ohm)];
    }
  }
  fit.re_slopes[index_of(tdriver_parameter::re_ohm)] = 1.0;
  for (std::size_t i = 0; i < problem.free.size(); ++i) {
    double slope = 0.0;
    for (std::size_t k = 0; k < problem.free.size(); ++k)
      slope -= candidate.normal_inverse.at(i, k) * pull[k];
    fit.re_slopes[problem.free[i]] = slope;
  }
}

std::vector<std::size_t> free_parameters(bool re_given, tcoil_model coil)
{
  std::vector<std::size_t> free;
  if (!re_given) free.push_back(index_of(tdriver_parameter::re_ohm));
  for (const tdriver_parameter parameter : {tdriver_parameter::le_h, tdriver_parameter::res_ohm,
                                            tdriver_parameter::fs_hz, tdriver_parameter::qms}) {
    free.push_back(index_of(parameter));
  }
  if (coil == tcoil_model::lossy) free.push_back(index_of(tdriver_parameter::g2_s));
  return free;
}

}  // namespace

tdriver_fit fit_driver(const tdriver_curve& curve, std::optional<double> given_re_ohm)
{
  if (!curve.ok()) return refused(curve.refusal);
  if (given_re_ohm && !(*given_re_ohm > 0.0)) return refused("Re muss positiv sein");
  const std::vector<tdriver_point> used = fitted_points(curve);
  const double re_ohm = given_re_ohm.value_or(least_resistance_ohm(used));
  const tresonance_search search = find_resonance(used, re_ohm);
  if (!search.ok()) return refused(search.refusal);
  const tclassic_parameters start_classic = classic_parameters(used, search.resonance, re_ohm);
  const tdriver_vector start = start_values(used, search.resonance, re_ohm, start_classic);
  const bool weighted = curve.weighted();
  const std::vector<tweighted_point> points = weighted_points(used, weighted);

  tdriver_fit fit;
  fit.re_given = given_re_ohm.has_value();
  fit.points_used = used.size();
  fit.points_uncalibrated = static_cast<std::size_t>(
      std::count_if(used.begin(), used.end(), [](const tdriver_point& point) { return point.uncalibrated; }));
  fit.resonance = search.resonance;
  const tcandidate plain =
      solve_candidate({points, free_parameters(fit.re_given, tcoil_model::plain), tcoil_model::plain}, start);
  if (!plain.valid) return refused("Anpassung gelingt nicht: das Modell findet zur Kurve keine Parameter");
  const tcandidate lossy =
      solve_candidate({points, free_parameters(fit.re_given, tcoil_model::lossy), tcoil_model::lossy},
                      lossy_start(used, plain.solution.values));
  take_candidate(losses_stand_out(plain, lossy, weighted) ? lossy : plain, weighted, fit);
  if (!(fit.model.fs_hz > used.front().frequency_hz && fit.model.fs_hz < used.back().frequency_hz)) {
    return refused("Kurve deckt fs nicht ab: die Anpassung legt fs außerhalb des Messbereichs");
  }
  fit.classic = classic_parameters(used, search.resonance, fit.model.re_ohm);
  return fit;
}

double fitted_uncertainty(const tdriver_fit& fit, tdriver_parameter parameter)
{
  const std::size_t k = index_of(parameter);
  return 2.0 * std::sqrt(fit.covariance.at(k, k));
}

}  // namespace lcr
