// SPDX-License-Identifier: GPL-3.0-or-later
// Curves and entries that cannot give a driver's parameters are refused
// with the reason the operator can act on, and nothing is fitted.

#include "driver_curves.h"

#include "engine/loudspeaker/driver_parameters.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using quarvel_test::grid_hz;
using quarvel_test::model_curve;
using quarvel_test::woofer;

lcr::tdriver_curve curve_of(const std::vector<double>& frequencies_hz,
                            const std::function<std::complex<double>(double)>& impedance)
{
  lcr::tdriver_curve curve;
  for (const double f : frequencies_hz)
    curve.points.push_back({f, impedance(f), 1e-3 * std::abs(impedance(f)), 1e-3});
  return curve;
}

// A second resonance beside the driver's, as a vented box's.
std::complex<double> two_peaks(double f)
{
  const std::complex<double> jw(0.0, 2.0 * lcr::pi * f);
  return woofer.impedance(f) + 1.0 / (1.0 / 25.0 + 1.0 / (jw * 4e-3) + jw * 400e-6);
}

TEST(DriverRefusals, CurvesThatDoNotShowOneResonanceClearly)
{
  const std::vector<double> full = grid_hz(10.0, 20000.0, 24);
  const quarvel_test::tnetwork_driver high_q{6.2, 1.8e-3, 90.0, 17.05e-3, 413e-6};
  const struct {
    const char* name;
    lcr::tdriver_curve curve;
    const char* reason;
  } cases[] = {
      {"a coil alone", curve_of(full, [](double f) { return std::complex(6.0, 2.0 * lcr::pi * f * 1e-3); }),
       "keine Resonanz im Messbereich: |Z| hat innerhalb der Kurve keine Spitze"},
      {"fs below the range", model_curve(woofer, grid_hz(100.0, 20000.0, 24)),
       "keine Resonanz im Messbereich"},
      {"the phase turned",
       curve_of(full, [](double f) { return woofer.impedance(f) * std::polar(1.0, 1.2); }),
       "die Phase kreuzt um 44 Hz nicht Null"},
      {"a vented box", curve_of(full, two_peaks), "zweite Resonanzspitze bei"},
      {"f1 below the range", model_curve(woofer, grid_hz(40.0, 20000.0, 24)),
       "Kurve deckt die Resonanz nicht ab: unterhalb von fs"},
      {"a coarse grid", model_curve(high_q, grid_hz(10.0, 20000.0, 12)), "zu wenige Punkte um fs (5)"},
  };
  for (const auto& c : cases) {
    const lcr::tdriver_fit fit = lcr::fit_driver(c.curve);
    EXPECT_NE(fit.refusal.find(c.reason), std::string::npos) << c.name << ": " << fit.refusal;
  }
  // The same narrow peak at 48 points per octave is fitted.
  EXPECT_TRUE(lcr::fit_driver(model_curve(high_q, grid_hz(10.0, 20000.0, 48))).ok());
}

TEST(DriverRefusals, EntriesThatCannotBeMeasuredWith)
{
  const lcr::tdriver_curve free = quarvel_test::woofer_curve();
  const lcr::tdriver_curve loaded =
      model_curve(quarvel_test::with_added_mass(woofer, 7.0, 5e-3), grid_hz(10.0, 20000.0, 24));
  quarvel_test::tnetwork_driver softer_driver = woofer;
  softer_driver.lces_h *= 1.5;
  const lcr::tdriver_curve softer = model_curve(softer_driver, grid_hz(10.0, 20000.0, 24));
  const lcr::tentered sd{220e-4, 0.0};
  const auto mass = [&](double kg) {
    return lcr::tsecond_curve{lcr::tsecond_method::added_mass, loaded, {kg, 0.0}};
  };
  const auto box = [&](double m3) {
    return lcr::tsecond_curve{lcr::tsecond_method::closed_box, loaded, {m3, 0.0}};
  };
  const struct {
    const char* name;
    std::optional<lcr::tsecond_curve> second;
    lcr::tdriver_entries entries;
    const char* reason;
  } cases[] = {
      {"no mass", mass(0.0), {std::nullopt, sd, 20.0}, "Masse muss positiv sein"},
      {"a mass taken off", mass(-5e-3), {std::nullopt, sd, 20.0}, "Masse muss positiv sein"},
      {"an empty box", box(0.0), {std::nullopt, sd, 20.0}, "Volumen muss positiv sein"},
      {"no cone area", mass(5e-3), {std::nullopt, std::nullopt, 20.0}, "Membranfläche Sd fehlt"},
      {"a negative cone area",
       mass(5e-3),
       {std::nullopt, lcr::tentered{-1.0, 0.0}, 20.0},
       "Membranfläche muss positiv"},
      {"no coil resistance",
       std::nullopt,
       {lcr::tentered{0.0, 0.0}, std::nullopt, 20.0},
       "Re muss positiv sein"},
      {"Re above the peak",
       std::nullopt,
       {lcr::tentered{60.0, 0.0}, std::nullopt, 20.0},
       "nicht unter |Z| der Resonanz"},
      {"hot air", std::nullopt, {std::nullopt, std::nullopt, 80.0}, "Temperatur außerhalb"},
      {"a mass that raises fs",
       lcr::tsecond_curve{lcr::tsecond_method::added_mass, free, {5e-3, 0.0}},
       {std::nullopt, sd, 20.0},
       "mit Zusatzmasse liegt die Resonanz nicht tiefer"},
      {"a box that softens the suspension",
       lcr::tsecond_curve{lcr::tsecond_method::closed_box, softer, {0.02, 0.0}},
       {std::nullopt, sd, 20.0},
       "Vas wäre nicht positiv"},
  };
  for (const auto& c : cases) {
    const lcr::tdriver_report report = lcr::measure_driver(free, c.second, c.entries);
    EXPECT_NE(report.refusal.find(c.reason), std::string::npos) << c.name << ": " << report.refusal;
  }
}

TEST(DriverRefusals, AZmaPartnerMustShareTheGrid)
{
  const auto zma_of = [](const lcr::tdriver_curve& curve) {
    std::vector<lcr::tzma_point> points;
    for (const lcr::tdriver_point& p : curve.points)
      points.push_back({p.frequency_hz, std::abs(p.z_ohm), std::arg(p.z_ohm) * 180.0 / lcr::pi});
    return lcr::driver_curve_of(points);
  };
  const quarvel_test::tnetwork_driver loaded = quarvel_test::with_added_mass(woofer, 7.0, 5e-3);
  const lcr::tdriver_curve coarse = model_curve(loaded, grid_hz(10.0, 20000.0, 24));
  const lcr::tdriver_curve fine = model_curve(loaded, grid_hz(10.0, 20000.0, 48));
  const lcr::tdriver_entries entries{std::nullopt, lcr::tentered{220e-4, 0.0}, 20.0};
  const auto measure = [&](const lcr::tdriver_curve& free, const lcr::tdriver_curve& second) {
    return lcr::measure_driver(free, lcr::tsecond_curve{lcr::tsecond_method::added_mass, second, {5e-3, 0.0}},
                               entries);
  };
  const lcr::tdriver_curve free = quarvel_test::woofer_curve();
  EXPECT_EQ(measure(zma_of(free), fine).refusal,
            "Kurven mit verschiedenen Frequenzrastern: beide im selben Raster messen");
  EXPECT_EQ(measure(free, zma_of(fine)).refusal,
            "Kurven mit verschiedenen Frequenzrastern: beide im selben Raster messen");
  EXPECT_TRUE(measure(zma_of(free), zma_of(coarse)).ok());
  // The analyser's curves carry their own uncertainties: any grids go.
  EXPECT_TRUE(measure(free, fine).ok());
}

}  // namespace
