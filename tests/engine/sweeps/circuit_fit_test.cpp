// SPDX-License-Identifier: GPL-3.0-or-later
// The equivalent circuit of a sweep, on exact impedances of known circuits
// with deviations as a meter shows them: the right circuit, its elements
// within their deviations, and no inductance made up for a plain capacitor.

#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/sweeps/circuit_fit.h"
#include "engine/sweeps/frequency_sweep.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <functional>
#include <iostream>
#include <random>
#include <vector>

namespace {

constexpr std::array<double, 8> frequencies_hz{100, 200, 500, 1000, 2000, 5000, 10000, 20000};

// The eight points of a circuit, each with a deviation of `relative` of |Z|.
std::vector<lcr::tfit_point> sweep_of(const std::function<std::complex<double>(double)>& impedance, double relative)
{
  std::vector<lcr::tfit_point> points;
  for (const double f : frequencies_hz) {
    const std::complex<double> z = impedance(2.0 * lcr::pi * f);
    points.push_back({f, {z.real(), z.imag()}, relative * std::abs(z)});
  }
  return points;
}

std::complex<double> capacitor(double omega, double c_f)
{
  return {0.0, -1.0 / (omega * c_f)};
}

void expect_within(double fitted, double truth, double deviation, const char* what)
{
  EXPECT_LE(std::fabs(fitted - truth), std::max(deviation, 1e-12 * std::fabs(truth)))
      << what << ": " << fitted << " against " << truth << " ± " << deviation;
}

TEST(CircuitFit, AnElectrolyticWithEsrAndEsl)
{
  // 100 µF, 0.1 Ω, 20 nH: the self-resonance near 112.5 kHz lies above the
  // range, but the inductance already shows at 20 kHz.
  const auto points = sweep_of([](double w) { return std::complex(0.1, w * 20e-9) + capacitor(w, 100e-6); }, 1e-4);
  const lcr::tcircuit_fit fit = lcr::best_circuit_fit(points);
  ASSERT_TRUE(fit.valid);
  EXPECT_EQ(fit.model, lcr::tcircuit_model::series_rlc);
  expect_within(fit.c_f, 100e-6, fit.c_deviation, "C");
  expect_within(fit.r_ohm, 0.1, fit.r_deviation, "ESR");
  expect_within(fit.l_h, 20e-9, fit.l_deviation, "ESL");
  EXPECT_NEAR(fit.resonance_hz, 112539.5, 1.0);
  EXPECT_TRUE(lcr::resonance_worth_showing(fit.resonance_hz));
  // Without its inductance, the two-element circuit leaves a misfit.
  EXPECT_GT(lcr::fit_circuit(lcr::tcircuit_model::series_rc, points).misfit, 4.0 * fit.misfit);
}

TEST(CircuitFit, EachCircuitIsFoundWithItsElements)
{
  const auto rc = lcr::best_circuit_fit(sweep_of([](double w) { return 2.0 + capacitor(w, 1e-6); }, 1e-3));
  EXPECT_EQ(rc.model, lcr::tcircuit_model::series_rc);
  expect_within(rc.c_f, 1e-6, rc.c_deviation, "C");
  expect_within(rc.r_ohm, 2.0, rc.r_deviation, "R");

  const auto rl = lcr::best_circuit_fit(sweep_of([](double w) { return std::complex(5.0, w * 10e-3); }, 1e-3));
  EXPECT_EQ(rl.model, lcr::tcircuit_model::series_rl);
  expect_within(rl.l_h, 10e-3, rl.l_deviation, "L");
  EXPECT_EQ(rl.resonance_hz, 0.0);

  const auto parallel = lcr::best_circuit_fit(
      sweep_of([](double w) { return 1.0 / (1.0 / 10e3 + std::complex(0.0, w * 1e-9)); }, 1e-3));
  EXPECT_EQ(parallel.model, lcr::tcircuit_model::parallel_rc);
  expect_within(parallel.r_ohm, 10e3, parallel.r_deviation, "Rp");
  expect_within(parallel.c_f, 1e-9, parallel.c_deviation, "Cp");
}

// A plain capacitor with readings that scatter within their deviations
// gets no inductance out of the scatter.
TEST(CircuitFit, ScatterWithinTheDeviationsMakesNoThirdElement)
{
  auto points = sweep_of([](double w) { return 2.0 + capacitor(w, 1e-6); }, 1e-3);
  const double signs[] = {1, -1, -1, 1, 1, -1, 1, -1};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].z.im += 0.5 * signs[i] * points[i].deviation_ohm;
    points[i].z.re -= 0.3 * signs[i] * points[i].deviation_ohm;
  }
  EXPECT_EQ(lcr::best_circuit_fit(points).model, lcr::tcircuit_model::series_rc);
  // No points, or readings no circuit can give: nothing valid.
  EXPECT_FALSE(lcr::best_circuit_fit({}).valid);
  const std::vector<lcr::tfit_point> negative{{100, {-5.0, 0.0}, 0.1}, {1000, {-5.0, 0.0}, 0.1}};
  EXPECT_FALSE(lcr::fit_circuit(lcr::tcircuit_model::parallel_rc, negative).valid);
}

// A silent input reads −Zref + jZref at every frequency with an enormous
// deviation; no circuit may be claimed from it, nor from too few points.
TEST(CircuitFit, ADeadInputOrTooFewPointsFitNothing)
{
  std::vector<lcr::tsweep_row> rows(8);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].frequency_hz = frequencies_hz[i];
    rows[i].z = {-1000.0, 1000.0};
    rows[i].z_deviation = 4e18;
    rows[i].signal_state = lcr::signal_right_weak;
  }
  EXPECT_TRUE(lcr::sweep_fit_points(rows).empty());
  std::vector<lcr::tfit_point> dead;
  for (const lcr::tsweep_row& row : rows) dead.push_back({row.frequency_hz, row.z, 1.0});
  EXPECT_FALSE(lcr::best_circuit_fit(dead).valid);  // a resistance far below zero
  EXPECT_EQ(lcr::circuit_fit_text(lcr::best_circuit_fit(dead)), "keine Ersatzschaltung passt");

  // Three good rows: the two-element circuits fit, R–L–C does not.
  auto points = sweep_of([](double w) { return 2.0 + capacitor(w, 1e-6); }, 1e-3);
  points.resize(3);
  EXPECT_TRUE(lcr::fit_circuit(lcr::tcircuit_model::series_rc, points).valid);
  EXPECT_FALSE(lcr::fit_circuit(lcr::tcircuit_model::series_rlc, points).valid);
  // Two rows tell one element only: the capacitance, the resistance being
  // lost in the deviations; one row tells nothing.
  points.resize(2);
  EXPECT_EQ(lcr::best_circuit_fit(points).model, lcr::tcircuit_model::capacitor);
  points.resize(1);
  EXPECT_FALSE(lcr::best_circuit_fit(points).valid);
  // A small negative resistance within the noise is still a capacitor.
  auto ideal = sweep_of([](double w) { return -0.001 + capacitor(w, 1e-6); }, 1e-3);
  EXPECT_EQ(lcr::best_circuit_fit(ideal).model, lcr::tcircuit_model::capacitor);
}

// A resistor is "R": no capacitance of 95 F ± 295 kF, no inductance of
// femtohenries, from readings that scatter within their deviations.
TEST(CircuitFit, AnElementThatDoesNotStandOutIsNotThere)
{
  auto points = sweep_of([](double) { return std::complex(2.2, 0.0); }, 2e-3);
  const double signs[] = {1, -1, -1, 1, 1, -1, 1, -1};
  for (std::size_t i = 0; i < points.size(); ++i) points[i].z.im += 0.3 * signs[i] * points[i].deviation_ohm;
  const lcr::tcircuit_fit fit = lcr::best_circuit_fit(points);
  EXPECT_EQ(fit.model, lcr::tcircuit_model::resistor);
  lcr::set_decimal_separator(',');
  EXPECT_EQ(lcr::circuit_fit_text(fit).rfind("R: R = 2,200 Ohm \u00b1 ", 0), 0u) << lcr::circuit_fit_text(fit);
  // The R–C that used to be claimed: its capacitance has no bound.
  const lcr::tcircuit_fit rc = lcr::fit_circuit(lcr::tcircuit_model::series_rc, points);
  EXPECT_FALSE(lcr::every_element_significant(rc)) << lcr::circuit_fit_text(rc);
}

// Many random parts of every kind, read with errors as their uncertainties
// describe them: statistical ones scatter (k = 2: about 95 % within), worst
// cases lean all one way up to their bound. The fit names the part's
// circuit, and its ± hold the true elements.
TEST(CircuitFit, OnManyRandomPartsTheCircuitIsFoundAndItsPlusMinusHoldsTheTruth)
{
  std::mt19937 random(20261209);
  std::uniform_real_distribution<double> decade(0.0, 1.0);
  const auto log_uniform = [&](double low, double high) { return low * std::pow(high / low, decade(random)); };
  std::normal_distribution<double> gauss(0.0, 0.5);  // of a k = 2 uncertainty
  int parts = 0;
  int right_circuit = 0;
  int elements = 0;
  int held = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const auto kind = static_cast<lcr::tcircuit_model>(trial % 7);
    const double r = log_uniform(0.1, 1e5);
    const double l = log_uniform(1e-6, 1.0);
    const double c = log_uniform(1e-10, 1e-4);
    lcr::tcircuit_fit truth;
    truth.model = kind;
    truth.r_ohm = r;
    truth.l_h = l;
    truth.c_f = c;
    const bool bounds = trial % 2 == 1;
    const double relative = log_uniform(1e-5, 1e-2);
    const double lean = 2.0 * decade(random) - 1.0;
    std::vector<lcr::tfit_point> points;
    for (const double f : frequencies_hz) {
      const lcr::tcomplex z = lcr::circuit_impedance(truth, f);
      const double u = relative * lcr::c_abs(z);
      const double e_re = bounds ? lean * u * 0.7 : gauss(random) * u;
      const double e_im = bounds ? -lean * u * 0.7 : gauss(random) * u;
      points.push_back({f, {z.re + e_re, z.im + e_im}, u, bounds});
    }
    const lcr::tcircuit_fit fit = lcr::best_circuit_fit(points);
    ++parts;
    if (!fit.valid) continue;
    right_circuit += fit.model == kind;
    const auto check = [&](bool present, double value, double deviation, double true_value) {
      if (!present) return;
      ++elements;
      held += std::fabs(value - true_value) <= deviation;
    };
    check(lcr::has_resistance(fit.model), fit.r_ohm, fit.r_deviation, r);
    check(lcr::has_inductance(fit.model), fit.l_h, fit.l_deviation, l);
    check(lcr::has_capacitance(fit.model), fit.c_f, fit.c_deviation, c);
  }
  std::cout << "[ figures  ] " << parts << " random parts: circuit found for " << right_circuit << ", " << held
            << " of " << elements << " elements within their ±\n";
  EXPECT_GE(right_circuit, parts * 85 / 100);
  EXPECT_GE(held, elements * 94 / 100);
}

// A coil with its winding's capacitance, (1 mH + 0.8 Ω) ∥ C, read with
// statistical uncertainties of 1e-4 of |Z|: no circuit of the set describes
// it, and the series R-L that comes nearest says so, its inductance pulled
// up by the capacitance at the top frequencies; its ± spans what the lower
// and upper frequencies give, and so holds the true 1 mH. The right circuit
// alone, at the same uncertainties, describes its curve with tight ±.
TEST(CircuitFit, ACircuitThatDoesNotDescribeTheCurveWidensItsPlusMinus)
{
  for (const double winding_f : {50e-12, 200e-12}) {
    std::vector<lcr::tfit_point> points = sweep_of(
        [&](double w) { return 1.0 / (1.0 / std::complex(0.8, w * 1e-3) + std::complex(0.0, w * winding_f)); }, 1e-4);
    for (lcr::tfit_point& point : points) point.bound = false;
    const lcr::tcircuit_fit fit = lcr::best_circuit_fit(points);
    ASSERT_TRUE(fit.valid);
    EXPECT_EQ(fit.model, lcr::tcircuit_model::series_rl);
    EXPECT_FALSE(fit.describes_curve);
    expect_within(fit.l_h, 1e-3, fit.l_deviation, "L");
    expect_within(fit.r_ohm, 0.8, fit.r_deviation, "R");
    EXPECT_NE(lcr::circuit_fit_text(fit).find("nur näherungsweise"), std::string::npos);
  }
  std::vector<lcr::tfit_point> coil = sweep_of([](double w) { return std::complex(0.8, w * 1e-3); }, 1e-4);
  for (lcr::tfit_point& point : coil) point.bound = false;
  const lcr::tcircuit_fit fit = lcr::best_circuit_fit(coil);
  EXPECT_TRUE(fit.describes_curve);
  EXPECT_LT(fit.l_deviation, 1e-7);
}

}  // namespace
