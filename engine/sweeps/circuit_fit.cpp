// SPDX-License-Identifier: GPL-3.0-or-later
#include "circuit_fit.h"

#include "engine/quantities/quantity_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace lcr {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

double omega_of(double frequency_hz)
{
  return 2.0 * pi * frequency_hz;
}

// A deviation of 0 would give a point infinite weight: one part in 10⁹ of
// |Z| is the least a point can be trusted with.
double uncertainty_of(const tfit_point& point)
{
  const double floor = 1e-9 * std::max(c_abs(point.z), 1e-12);
  return std::max(std::fabs(point.deviation_ohm), floor);
}

// One point's row of a linear fit: the value fitted, the basis values of
// the parameters, and the value's uncertainty.
struct tfit_row {
  double y = 0.0;
  std::array<double, 2> base{};
  double u = 1.0;
};

// Weighted least squares of y ≈ Σ p_k·b_k with `count` (1 or 2)
// parameters; each parameter's ± from the rows' pulls on it: statistical
// uncertainties add as independent, bounds whole.
struct tlinear_fit {
  std::array<double, 2> p{};
  std::array<double, 2> plus_minus{};
  bool solved = false;
};

template <typename Row>
tlinear_fit solve_least_squares(std::span<const tfit_point> points, int count, Row row_of)
{
  std::array<std::array<double, 2>, 2> a{};
  std::array<double, 2> b{};
  for (const tfit_point& point : points) {
    const tfit_row row = row_of(point);
    const double w = 1.0 / (row.u * row.u);
    for (int i = 0; i < count; ++i) {
      b[i] += w * row.base[i] * row.y;
      for (int j = 0; j < count; ++j) a[i][j] += w * row.base[i] * row.base[j];
    }
  }
  std::array<std::array<double, 2>, 2> inverse{};
  if (count == 1) {
    if (!(a[0][0] > 0.0)) return {};
    inverse[0][0] = 1.0 / a[0][0];
  } else {
    const double det = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    if (!(std::fabs(det) > 0.0)) return {};
    inverse = {{{a[1][1] / det, -a[0][1] / det}, {-a[1][0] / det, a[0][0] / det}}};
  }
  tlinear_fit fit;
  std::array<double, 2> statistical{};
  std::array<double, 2> bounded{};
  for (int k = 0; k < count; ++k) fit.p[k] = inverse[k][0] * b[0] + inverse[k][1] * b[1];
  for (const tfit_point& point : points) {
    const tfit_row row = row_of(point);
    const double w = 1.0 / (row.u * row.u);
    for (int k = 0; k < count; ++k) {
      const double pull = (inverse[k][0] * row.base[0] + inverse[k][1] * row.base[1]) * w * row.u;
      if (point.bound) {
        bounded[k] += std::fabs(pull);
      } else {
        statistical[k] += pull * pull;
      }
    }
  }
  for (int k = 0; k < count; ++k) fit.plus_minus[k] = std::sqrt(statistical[k]) + bounded[k];
  fit.solved = true;
  return fit;
}

// An element that is the reciprocal of a fitted parameter (C from 1/C, R
// from G): its ± from the interval the parameter's ± spans; unbounded when
// that reaches zero.
std::pair<double, double> reciprocal(double parameter, double plus_minus)
{
  const double value = 1.0 / parameter;
  if (!(std::fabs(parameter) > plus_minus)) return {value, infinity};
  return {value, std::max(std::fabs(1.0 / (parameter - plus_minus) - value), std::fabs(value - 1.0 / (parameter + plus_minus)))};
}

// R as the weighted mean of the real parts.
void fit_series_resistance(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const tlinear_fit r = solve_least_squares(points, 1, [](const tfit_point& point) {
    return tfit_row{point.z.re, {1.0, 0.0}, uncertainty_of(point)};
  });
  fit.r_ohm = r.p[0];
  fit.r_deviation = r.plus_minus[0];
}

// The reactance as L·ω (inductive) and −(1/C)/ω (capacitive) terms.
bool fit_series_reactance(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const bool with_l = has_inductance(fit.model);
  const bool with_c = has_capacitance(fit.model);
  const int count = with_l && with_c ? 2 : 1;
  const tlinear_fit x = solve_least_squares(points, count, [&](const tfit_point& point) {
    const double omega = omega_of(point.frequency_hz);
    tfit_row row{point.z.im, {}, uncertainty_of(point)};
    if (with_l) row.base[0] = omega;
    if (with_c) row.base[with_l ? 1 : 0] = -1.0 / omega;
    return row;
  });
  if (!x.solved) return false;
  if (with_l) {
    fit.l_h = x.p[0];
    fit.l_deviation = x.plus_minus[0];
  }
  if (with_c) {
    std::tie(fit.c_f, fit.c_deviation) = reciprocal(x.p[with_l ? 1 : 0], x.plus_minus[with_l ? 1 : 0]);
  }
  return (!with_l || fit.l_h > 0.0) && (!with_c || fit.c_f > 0.0);
}

// R ∥ C is linear in the admittance: G and ω·C, the uncertainties carried
// over (one of |Z| is one of |Y| times |Y|²).
bool fit_parallel(std::span<const tfit_point> points, tcircuit_fit& fit)
{
  const auto admittance_row = [](const tfit_point& point, bool imaginary) {
    const tcomplex y = c_inv(point.z);
    const double magnitude = c_abs(point.z);
    const double u = uncertainty_of(point) / (magnitude * magnitude);
    return imaginary ? tfit_row{y.im, {omega_of(point.frequency_hz), 0.0}, u} : tfit_row{y.re, {1.0, 0.0}, u};
  };
  const tlinear_fit g = solve_least_squares(points, 1, [&](const tfit_point& point) { return admittance_row(point, false); });
  const tlinear_fit c = solve_least_squares(points, 1, [&](const tfit_point& point) { return admittance_row(point, true); });
  if (!g.solved || !c.solved) return false;
  std::tie(fit.r_ohm, fit.r_deviation) = reciprocal(g.p[0], g.plus_minus[0]);
  fit.c_f = c.p[0];
  fit.c_deviation = c.plus_minus[0];
  return g.p[0] > 0.0 && fit.c_f > 0.0;
}

// The χ² that one fit in a thousand of the right circuit exceeds, for
// `freedom` degrees of freedom (Wilson and Hilferty's cube).
double chi_square_bound(double freedom)
{
  constexpr double z = 3.09;  // the normal distribution's upper 0.1 %
  const double a = 2.0 / (9.0 * freedom);
  const double cube = 1.0 - a + z * std::sqrt(a);
  return freedom * cube * cube * cube;
}

int element_count(tcircuit_model model)
{
  return (has_resistance(model) ? 1 : 0) + (has_inductance(model) ? 1 : 0) + (has_capacitance(model) ? 1 : 0);
}

bool elements_valid(tcircuit_fit& fit, std::span<const tfit_point> points)
{
  if (fit.model == tcircuit_model::parallel_rc) return fit_parallel(points, fit);
  if (has_resistance(fit.model)) fit_series_resistance(points, fit);
  if (fit.model == tcircuit_model::resistor) return fit.r_ohm > 0.0;
  if (!fit_series_reactance(points, fit)) return false;
  // A series resistance below zero by more than its ± is no passive
  // circuit: a dead input or a set-up fault, not a part.
  return !has_resistance(fit.model) || fit.r_ohm > -fit.r_deviation;
}

}  // namespace

bool has_resistance(tcircuit_model model)
{
  return model != tcircuit_model::capacitor && model != tcircuit_model::inductor;
}

bool has_inductance(tcircuit_model model)
{
  return model == tcircuit_model::inductor || model == tcircuit_model::series_rl ||
         model == tcircuit_model::series_rlc;
}

bool has_capacitance(tcircuit_model model)
{
  return model == tcircuit_model::capacitor || model == tcircuit_model::series_rc ||
         model == tcircuit_model::series_rlc || model == tcircuit_model::parallel_rc;
}

tcomplex circuit_impedance(const tcircuit_fit& fit, double frequency_hz)
{
  const double omega = omega_of(frequency_hz);
  if (fit.model == tcircuit_model::parallel_rc) return c_inv({1.0 / fit.r_ohm, omega * fit.c_f});
  const double r = has_resistance(fit.model) ? fit.r_ohm : 0.0;
  const double x_l = has_inductance(fit.model) ? omega * fit.l_h : 0.0;
  const double x_c = has_capacitance(fit.model) ? -1.0 / (omega * fit.c_f) : 0.0;
  return {r, x_l + x_c};
}

namespace {

tcircuit_fit fit_all(tcircuit_model model, std::span<const tfit_point> points)
{
  tcircuit_fit fit;
  fit.model = model;
  // One more point than the model has elements, or the misfit says nothing.
  const int elements = element_count(model);
  if (points.size() <= static_cast<std::size_t>(elements)) return fit;
  fit.valid = elements_valid(fit, points);
  if (!fit.valid) {
    fit.misfit = infinity;
    return fit;
  }
  bool statistical = true;
  for (const tfit_point& point : points) {
    const tcomplex residual = c_sub(point.z, circuit_impedance(fit, point.frequency_hz));
    const double u = uncertainty_of(point);
    fit.misfit += (residual.re * residual.re + residual.im * residual.im) / (u * u);
    statistical = statistical && !point.bound;
  }
  // Points within their (k = 2) uncertainties leave a misfit of about a
  // quarter per degree of freedom; more than that, the circuit or the
  // uncertainties fall short, and the ± grow by as much.
  const double freedom = 2.0 * static_cast<double>(points.size()) - elements;
  // With k = 2 uncertainties as weights, χ² is four times the misfit.
  fit.describes_curve = !statistical || 4.0 * fit.misfit <= chi_square_bound(freedom);
  const double widening = std::max(1.0, 2.0 * std::sqrt(fit.misfit / freedom));
  fit.r_deviation *= widening;
  fit.l_deviation *= widening;
  fit.c_deviation *= widening;
  if (model == tcircuit_model::series_rlc) fit.resonance_hz = 1.0 / (2.0 * pi * std::sqrt(fit.l_h * fit.c_f));
  return fit;
}

// An element of the fit, its value and ±.
struct telement {
  double tcircuit_fit::*value;
  double tcircuit_fit::*deviation;
};

constexpr std::array<telement, 3> fit_elements{{{&tcircuit_fit::r_ohm, &tcircuit_fit::r_deviation},
                                             {&tcircuit_fit::l_h, &tcircuit_fit::l_deviation},
                                             {&tcircuit_fit::c_f, &tcircuit_fit::c_deviation}}};

// A circuit that describes the curve gives the same elements from its lower
// and its upper frequencies. Where the two halves disagree well beyond both
// their ±, the circuit misses something that grows or fades with frequency (a
// winding's capacitance, a dielectric's loss), which leaves the whole
// curve's misfit small but pulls the elements; their ± then spans both
// halves' values with their own ±. So they do for a circuit that does not
// describe the curve: its elements depend on the frequencies fitted.
void widen_for_disagreeing_halves(tcircuit_fit& fit, std::span<const tfit_point> points)
{
  const auto least = static_cast<std::size_t>(element_count(fit.model) + 1);
  if (!fit.valid || points.size() < 2 * least) return;
  std::vector<tfit_point> sorted(points.begin(), points.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const tfit_point& a, const tfit_point& b) { return a.frequency_hz < b.frequency_hz; });
  const std::size_t middle = sorted.size() / 2;
  const tcircuit_fit lower = fit_all(fit.model, std::span(sorted).first(middle));
  const tcircuit_fit upper = fit_all(fit.model, std::span(sorted).subspan(middle));
  if (!lower.valid || !upper.valid) return;
  for (const telement& element : fit_elements) {
    const double low = lower.*element.value;
    const double high = upper.*element.value;
    const double low_deviation = lower.*element.deviation;
    const double high_deviation = upper.*element.deviation;
    // A half that hardly tells an element (an inductance at low
    // frequencies) has nothing to disagree with; and chance alone makes two
    // halves differ by their ± together once in thirty, by half as much
    // again once in three hundred.
    if (!(std::fabs(low) > 2.0 * low_deviation) || !(std::fabs(high) > 2.0 * high_deviation)) continue;
    if (fit.describes_curve && !(std::fabs(low - high) > 1.5 * (low_deviation + high_deviation))) continue;
    const double value = fit.*element.value;
    fit.*element.deviation = std::max({fit.*element.deviation, std::fabs(low - value) + low_deviation,
                                       std::fabs(high - value) + high_deviation});
  }
}

}  // namespace

tcircuit_fit fit_circuit(tcircuit_model model, std::span<const tfit_point> points)
{
  tcircuit_fit fit = fit_all(model, points);
  widen_for_disagreeing_halves(fit, points);
  return fit;
}

bool every_element_significant(const tcircuit_fit& fit)
{
  const auto stands_out = [](double value, double deviation) { return std::fabs(value) > deviation; };
  return fit.valid && (!has_resistance(fit.model) || stands_out(fit.r_ohm, fit.r_deviation)) &&
         (!has_inductance(fit.model) || stands_out(fit.l_h, fit.l_deviation)) &&
         (!has_capacitance(fit.model) || stands_out(fit.c_f, fit.c_deviation));
}

tcircuit_fit best_circuit_fit(std::span<const tfit_point> points)
{
  tcircuit_fit best;
  best.misfit = infinity;
  for (const tcircuit_model model :
       {tcircuit_model::resistor, tcircuit_model::capacitor, tcircuit_model::inductor, tcircuit_model::series_rc,
        tcircuit_model::series_rl, tcircuit_model::series_rlc, tcircuit_model::parallel_rc}) {
    const tcircuit_fit fit = fit_circuit(model, points);
    // An element that does not stand out of its ± is not there.
    if (every_element_significant(fit) && fit.misfit < best.misfit) best = fit;
  }
  return best;
}

const char* circuit_model_name(tcircuit_model model)
{
  switch (model) {
    case tcircuit_model::resistor: return "R";
    case tcircuit_model::capacitor: return "C";
    case tcircuit_model::inductor: return "L";
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
  std::string elements;
  const auto add = [&](const std::string& element) { elements += (elements.empty() ? "" : ", ") + element; };
  if (has_resistance(fit.model)) add(element_text("R", "R", fit.r_ohm, fit.r_deviation));
  if (has_inductance(fit.model)) add(element_text("L", "L", fit.l_h, fit.l_deviation));
  if (has_capacitance(fit.model)) add(element_text("C", "C", fit.c_f, fit.c_deviation));
  std::string text = std::string(circuit_model_name(fit.model)) + ": " + elements;
  if (resonance_worth_showing(fit.resonance_hz)) {
    text += ", Eigenresonanz " + format_fixed(fit.resonance_hz / 1000.0, 2, 1, decimal_separator()) + " kHz";
  }
  if (!fit.describes_curve) text += " (beschreibt die Kurve nur näherungsweise)";
  return text;
}

}  // namespace lcr
