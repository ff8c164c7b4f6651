// SPDX-License-Identifier: GPL-3.0-or-later
// The ± of every parameter on noisy curves: fifty pairs of curves (free
// and with an added mass), each point off by a normal error of a known σ
// and told an uncertainty of 2σ. The truth must lie within the ± about as
// often as k = 2 promises, and the ± must be about what the scatter of
// the fifty results is: a ± far too large covers as well.

#include "driver_curves.h"

#include "engine/loudspeaker/driver_parameters.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr double bl_tm = 7.0;
constexpr double relative_sigma = 5e-3;
constexpr int seeds = 50;

struct ttally {
  int covered = 0;
  double u_sum = 0.0;
  std::vector<double> values;
};

double standard_deviation(const std::vector<double>& values)
{
  double mean = 0.0;
  for (const double v : values) mean += v / static_cast<double>(values.size());
  double sum = 0.0;
  for (const double v : values) sum += (v - mean) * (v - mean);
  return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

TEST(DriverCoverage, TheTruthLiesWithinThePlusMinusAsOftenAsKTwoPromises)
{
  const quarvel_test::tnetwork_driver& driver = quarvel_test::woofer;
  const quarvel_test::tmechanics mechanics = quarvel_test::mechanics_of(driver, bl_tm);
  const lcr::tentered mass{0.2 * mechanics.mms_kg, 0.0};
  const lcr::tentered sd{220e-4, 0.0};
  const lcr::tair air = lcr::air_at(20.0);
  const double c = air.sound_speed_m_per_s;
  const std::vector<double> grid = quarvel_test::grid_hz(10.0, 20000.0, 24);
  const quarvel_test::tnetwork_driver loaded = quarvel_test::with_added_mass(driver, bl_tm, mass.value);

  std::map<std::string, ttally> tallies;
  for (int seed = 1; seed <= seeds; ++seed) {
    std::mt19937 noise(static_cast<unsigned>(seed));
    const lcr::tdriver_curve free = quarvel_test::model_curve(driver, grid, relative_sigma, &noise);
    const lcr::tsecond_curve second{lcr::tsecond_method::added_mass,
                                    quarvel_test::model_curve(loaded, grid, relative_sigma, &noise), mass};
    const lcr::tdriver_report report = lcr::measure_driver(free, second, {std::nullopt, sd, 20.0});
    ASSERT_TRUE(report.ok()) << "seed " << seed << ": " << report.refusal;
    const lcr::tdriver_parameters& p = report.parameters;
    const lcr::tmechanical_parameters& m = *p.mechanical;
    const std::pair<const char*, std::pair<lcr::tmeasured, double>> checks[] = {
        {"Re", {p.re_ohm, driver.re_ohm}},
        {"Le", {p.le_h, driver.le_h}},
        {"fs", {p.fs_hz, driver.fs_hz()}},
        {"Zmax", {p.z_max_ohm, std::abs(driver.impedance(driver.fs_hz()))}},
        {"Qms", {p.qms, driver.qms()}},
        {"Qes", {p.qes, driver.qes()}},
        {"Qts", {p.qts, driver.qts()}},
        {"Mms", {m.mms_kg, mechanics.mms_kg}},
        {"Cms", {m.cms_m_per_n, mechanics.cms_m_per_n}},
        {"Rms", {m.rms_kg_per_s, mechanics.rms_kg_per_s}},
        {"Bl", {m.bl_tm, bl_tm}},
        {"Vas", {m.vas_m3, air.density_kg_per_m3 * c * c * sd.value * sd.value * mechanics.cms_m_per_n}},
    };
    for (const auto& [name, check] : checks) {
      const auto& [measured, truth] = check;
      ttally& tally = tallies[name];
      tally.covered += std::fabs(measured.value - truth) <= measured.u ? 1 : 0;
      tally.u_sum += measured.u;
      tally.values.push_back(measured.value);
    }
  }
  int covered = 0;
  for (const auto& [name, tally] : tallies) {
    covered += tally.covered;
    EXPECT_GE(tally.covered, seeds * 8 / 10) << name;
    // Half the mean ± against the scatter of the results.
    const double ratio = tally.u_sum / seeds / 2.0 / standard_deviation(tally.values);
    EXPECT_GT(ratio, 0.7) << name;
    EXPECT_LT(ratio, 1.5) << name;
  }
  EXPECT_GE(covered, static_cast<int>(0.9 * seeds * static_cast<double>(tallies.size())));
}

}  // namespace
