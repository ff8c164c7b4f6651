#include "circuit_fit.h"

#include "quantity_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace lcr {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

double omega_of(double frequency_hz)
{
  return 2.0 * pi * frequency_hz;
}

// A deviation of 0 would give a point infinite weight: one part in 10⁹ of
// |Z| is the least a point can be trusted with.
double weight_of(const tfit_point& point)
{
  const double floor = 1e-9 * std::max(c_abs(point.z), 1e-12);
  const double deviation = std::max(std::fabs(point.deviation_ohm), floor);
  return 1.0 / (deviation * deviation);
}

// Weighted least squares of y ≈ Σ p_i b_i(x) with one or two basis values
// per point; the parameters and their standard errors.
struct tlinear_fit {
  std::array<double, 2> p{};
  std::array<double, 2> sigma{};
  bool solved = false;
};

template <typename Basis>
tlinear_fit solve_least_squares(std::span<const tfit_point> points, int count, Basis basis)
{
  std::array<std::array<double, 2>, 2> a{};
  std::array<double, 2> b{};
  for (const tfit_point& point : points) {
    const auto [y, base] = basis(point);
    const double w = weight_of(point);
    for (int i = 0; i < count; ++i) {
      b[i] += w * base[i] * y;
      for (int j = 0; j < count; ++j) a[i][j] += w * base[i] * base[j];
    }
  }
  tlinear_fit fit;
  if (count == 1) {
    if (!(a[0][0] > 0.0)) return fit;
    fit.p[0] = b[0] / a[0][0];
    fit.sigma[0] = std::sqrt(1.0 / a[0][0]);
  } else {
    const double det = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    if (!(std::fabs(det) > 0.0)) return fit;
    fit.p[0] = (b[0] * a[1][1] - b[1] * a[0][1]) / det;
    fit.p[1] = (a[0][0] * b[1] - a[1][0] * b[0]) / det;
    fit.sigma[0] = std::sqrt(std::fabs(a[1][1] / det));
    fit.sigma[1] = std::sqrt(std::fabs(a[0][0] / det));
  }
  fit.solved = true;
  return fit;
}

// R as the weighted mean of the real parts.
void fit_series_resistance(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const tlinear_fit r = solve_least_squares(points, 1, [](const tfit_point& point) {
    return std::pair{point.z.re, std::array<double, 2>{1.0, 0.0}};
  });
  fit.r_ohm = r.p[0];
  fit.r_deviation = r.sigma[0];
}

// The reactance as L·ω (inductive) and −(1/C)/ω (capacitive) terms.
void fit_series_reactance(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const bool with_l = fit.model != tcircuit_model::series_rc;
  const bool with_c = fit.model != tcircuit_model::series_rl;
  const int count = with_l && with_c ? 2 : 1;
  const tlinear_fit x = solve_least_squares(points, count, [&](const tfit_point& point) {
    const double omega = omega_of(point.frequency_hz);
    std::array<double, 2> base{};
    if (with_l) base[0] = omega;
    if (with_c) base[with_l ? 1 : 0] = -1.0 / omega;
    return std::pair{point.z.im, base};
  });
  if (!x.solved) return;
  if (with_l) {
    fit.l_h = x.p[0];
    fit.l_deviation = x.sigma[0];
  }
  if (with_c) {
    const double inverse_c = x.p[with_l ? 1 : 0];
    const double inverse_c_sigma = x.sigma[with_l ? 1 : 0];
    fit.c_f = 1.0 / inverse_c;
    fit.c_deviation = inverse_c_sigma / (inverse_c * inverse_c);
  }
  fit.valid = (!with_l || fit.l_h > 0.0) && (!with_c || fit.c_f > 0.0);
}

// R ∥ C is linear in the admittance: G and ω·C, with the weights carried
// over (a deviation of |Z| is one of |Y| times |Z|²).
void fit_parallel(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const auto weighted_in_y = [](const tfit_point& point) {
    const double magnitude = c_abs(point.z);
    return tfit_point{point.frequency_hz, c_inv(point.z), point.deviation_ohm / (magnitude * magnitude)};
  };
  std::array<tfit_point, 64> admittances{};
  const std::size_t count = std::min(points.size(), admittances.size());
  std::transform(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(count), admittances.begin(), weighted_in_y);
  const std::span<const tfit_point> y(admittances.data(), count);
  const tlinear_fit g = solve_least_squares(y, 1, [](const tfit_point& point) {
    return std::pair{point.z.re, std::array<double, 2>{1.0, 0.0}};
  });
  const tlinear_fit c = solve_least_squares(y, 1, [](const tfit_point& point) {
    return std::pair{point.z.im, std::array<double, 2>{omega_of(point.frequency_hz), 0.0}};
  });
  fit.r_ohm = 1.0 / g.p[0];
  fit.r_deviation = g.sigma[0] / (g.p[0] * g.p[0]);
  fit.c_f = c.p[0];
  fit.c_deviation = c.sigma[0];
  fit.valid = g.solved && c.solved && g.p[0] > 0.0 && fit.c_f > 0.0;
}

}  // namespace

tcomplex circuit_impedance(const tcircuit_fit& fit, double frequency_hz)
{
  const double omega = omega_of(frequency_hz);
  switch (fit.model) {
    case tcircuit_model::series_rc: return {fit.r_ohm, -1.0 / (omega * fit.c_f)};
    case tcircuit_model::series_rl: return {fit.r_ohm, omega * fit.l_h};
    case tcircuit_model::series_rlc: return {fit.r_ohm, omega * fit.l_h - 1.0 / (omega * fit.c_f)};
    case tcircuit_model::parallel_rc: return c_inv({1.0 / fit.r_ohm, omega * fit.c_f});
  }
  return {};
}

tcircuit_fit fit_circuit(tcircuit_model model, std::span<const tfit_point> points)
{
  tcircuit_fit fit;
  fit.model = model;
  // One more point than the model has elements, or the misfit says nothing.
  const std::size_t elements = model == tcircuit_model::series_rlc ? 3 : 2;
  if (points.size() <= elements) return fit;
  if (model == tcircuit_model::parallel_rc) {
    fit_parallel(points, fit);
  } else {
    fit_series_resistance(points, fit);
    fit_series_reactance(points, fit);
  }
  // A series resistance below zero by more than its noise is no passive
  // circuit: a dead input or a set-up fault, not a part.
  const bool series = model != tcircuit_model::parallel_rc;
  if (series && !(fit.r_ohm > -3.0 * fit.r_deviation)) fit.valid = false;
  if (!fit.valid) {
    fit.misfit = infinity;
    return fit;
  }
  for (const tfit_point& point : points) {
    const tcomplex residual = c_sub(point.z, circuit_impedance(fit, point.frequency_hz));
    fit.misfit += weight_of(point) * (residual.re * residual.re + residual.im * residual.im);
  }
  if (model == tcircuit_model::series_rlc) fit.resonance_hz = 1.0 / (2.0 * pi * std::sqrt(fit.l_h * fit.c_f));
  return fit;
}

tcircuit_fit best_circuit_fit(std::span<const tfit_point> points)
{
  tcircuit_fit best = fit_circuit(tcircuit_model::series_rc, points);
  for (const tcircuit_model model : {tcircuit_model::series_rl, tcircuit_model::parallel_rc}) {
    const tcircuit_fit other = fit_circuit(model, points);
    if (other.valid && (!best.valid || other.misfit < best.misfit)) best = other;
  }
  const tcircuit_fit three = fit_circuit(tcircuit_model::series_rlc, points);
  if (three.valid && (!best.valid || three.misfit < 0.25 * best.misfit)) best = three;
  return best;
}

const char* circuit_model_name(tcircuit_model model)
{
  switch (model) {
    case tcircuit_model::series_rc: return "Reihe R-C";
    case tcircuit_model::series_rl: return "Reihe R-L";
    case tcircuit_model::series_rlc: return "Reihe R-L-C";
    case tcircuit_model::parallel_rc: return "R || C";
  }
  return "";
}

bool resonance_worth_showing(double resonance_hz)
{
  return resonance_hz >= 10.0 && resonance_hz <= 200000.0;
}

}  // namespace lcr

namespace lcr {

namespace {

std::string element_text(const char* symbol, const char* key, double value, double deviation)
{
  tlcr_strings record;
  record.quantity = key;
  format_quantity(1, record, value);
  tlcr_strings spread = record;
  format_quantity(0, spread, deviation);
  auto trimmed = [](std::string text) { return text.erase(0, text.find_first_not_of(' ')); };
  return std::string(symbol) + " = " + trimmed(record.value_text) + " " + record.unit_text + " \u00b1 " +
         trimmed(spread.value_text) + " " + spread.unit_text;
}

}  // namespace

std::string circuit_fit_text(const tcircuit_fit& fit)
{
  if (!fit.valid) return "keine Ersatzschaltung passt";
  std::string text = std::string(circuit_model_name(fit.model)) + ": " +
                     element_text("R", "R", fit.r_ohm, fit.r_deviation);
  if (fit.model == tcircuit_model::series_rl || fit.model == tcircuit_model::series_rlc) {
    text += ", " + element_text("L", "L", fit.l_h, fit.l_deviation);
  }
  if (fit.model != tcircuit_model::series_rl) text += ", " + element_text("C", "C", fit.c_f, fit.c_deviation);
  if (resonance_worth_showing(fit.resonance_hz)) {
    text += ", Eigenresonanz " + format_fixed(fit.resonance_hz / 1000.0, 2, 1, decimal_separator()) + " kHz";
  }
  return text;
}

}  // namespace lcr
