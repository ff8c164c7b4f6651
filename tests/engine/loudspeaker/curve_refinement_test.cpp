// SPDX-License-Identifier: GPL-3.0-or-later
// A resonance too narrow for the 1 Hz bins: when it is measured again on
// the fine bins, and what the fine points then give; the merged rows; and
// which grids of two .zma curves still count as one.

#include "engine/loudspeaker/curve_refinement.h"
#include "engine/loudspeaker/driver_fit.h"
#include "driver_curves.h"

#include <gtest/gtest.h>

namespace {

using quarvel_test::grid_hz;
using quarvel_test::model_curve;

// fs 22.5 Hz, Qms 9.4: nine 1 Hz bins within its −3 dB width.
constexpr quarvel_test::tnetwork_driver narrow{5.6, 1.5e-3, 66.667, 50e-3, 1000e-6};

std::vector<double> frequencies_of(const lcr::tanalyser_grid& grid)
{
  std::vector<double> frequencies;
  for (std::size_t k = 0; k < grid.size(); ++k) frequencies.push_back(grid.frequency_hz(k));
  return frequencies;
}

lcr::tanalyser_row row_at(double frequency_hz)
{
  lcr::tanalyser_row row;
  row.row.frequency_hz = frequency_hz;
  return row;
}

TEST(CurveRefinement, ANarrowResonanceIsMeasuredAgainOnFineBinsAndThenFits)
{
  const std::vector<double> coarse_hz = grid_hz(10.0, 2000.0, 24);
  const lcr::tdriver_curve coarse = model_curve(narrow, coarse_hz);
  EXPECT_EQ(lcr::fit_driver(coarse).refusal.rfind("zu wenige Punkte um fs (9)", 0), 0u);

  const auto refinement = lcr::resonance_refinement(coarse);
  ASSERT_TRUE(refinement);
  const lcr::tanalyser_grid& fine = refinement->grid;
  EXPECT_EQ(fine.bin_hz(), 0.25);
  EXPECT_LE(fine.size(), static_cast<std::size_t>(lcr::most_refined_points));
  EXPECT_EQ(refinement->step_hz, fine.frequency_hz(1) - fine.frequency_hz(0));
  // A width of f1 … f2 either side, within the curve.
  const lcr::tresonance& coarse_resonance = refinement->resonance;
  const double width_hz = coarse_resonance.f2_hz - coarse_resonance.f1_hz;
  EXPECT_LE(fine.frequency_hz(0), std::max(coarse_resonance.f1_hz - width_hz, 10.0) + 0.5);
  EXPECT_GE(fine.frequency_hz(fine.size() - 1), coarse_resonance.f2_hz + width_hz - 0.5);

  // The fine points in place of the coarse ones: the fit now has plenty.
  std::vector<double> merged_hz;
  for (const double f : coarse_hz) {
    if (f < fine.frequency_hz(0)) merged_hz.push_back(f);
  }
  const std::vector<double> fine_hz = frequencies_of(fine);
  merged_hz.insert(merged_hz.end(), fine_hz.begin(), fine_hz.end());
  for (const double f : coarse_hz) {
    if (f > fine_hz.back()) merged_hz.push_back(f);
  }
  const lcr::tdriver_fit fit = lcr::fit_driver(model_curve(narrow, merged_hz));
  ASSERT_TRUE(fit.ok()) << fit.refusal;
  EXPECT_GE(fit.resonance.points_within, 15);
  EXPECT_NEAR(fit.model.fs_hz, narrow.fs_hz(), 1e-4 * narrow.fs_hz());
  EXPECT_NEAR(fit.model.qms, narrow.qms(), 1e-4 * narrow.qms());
  EXPECT_FALSE(lcr::resonance_refinement(model_curve(narrow, merged_hz)));
}

TEST(CurveRefinement, NoCloserLookWhereTheCurveSufficesOrShowsNoResonance)
{
  EXPECT_FALSE(lcr::resonance_refinement(quarvel_test::woofer_curve()));
  // A resistor and an inductor: no peak at all.
  constexpr quarvel_test::tnetwork_driver coil{5.6, 1e-3, 1e-9, 1.0, 1e-12};
  EXPECT_FALSE(lcr::resonance_refinement(model_curve(coil, grid_hz(10.0, 2000.0, 24))));
  EXPECT_FALSE(lcr::resonance_refinement(lcr::tdriver_curve{}));
}

TEST(CurveRefinement, FinePointsTakeThePlaceOfTheCoarseOnesWithinTheirStretch)
{
  std::vector<lcr::tanalyser_row> coarse;
  for (int f = 20; f <= 40; ++f) coarse.push_back(row_at(f));
  const std::vector<lcr::tanalyser_row> fine{row_at(25.25), row_at(25.5), row_at(30.0), row_at(30.75)};
  const std::vector<lcr::tanalyser_row> merged = lcr::refined_rows(coarse, fine);
  std::vector<double> merged_hz;
  for (const lcr::tanalyser_row& row : merged) merged_hz.push_back(row.row.frequency_hz);
  const std::vector<double> expected{20, 21, 22, 23, 24, 25, 25.25, 25.5, 30.0, 30.75, 31, 32,
                                     33, 34, 35, 36, 37, 38, 39, 40};
  EXPECT_EQ(merged_hz, expected);
  EXPECT_EQ(lcr::refined_rows(coarse, {}).size(), coarse.size());
}

TEST(CurveRefinement, TwoCurvesRefinedAroundTheirOwnResonancesShareTheirGrid)
{
  const std::vector<double> coarse_hz = grid_hz(10.0, 2000.0, 24);
  const auto refined_hz = [&](double from_hz, double to_hz) {
    std::vector<double> frequencies;
    for (const double f : coarse_hz) {
      if (f < from_hz || f > to_hz) frequencies.push_back(f);
    }
    for (double f = from_hz; f <= to_hz; f += 0.25) frequencies.push_back(f);
    std::sort(frequencies.begin(), frequencies.end());
    return model_curve(narrow, frequencies);
  };
  const lcr::tdriver_curve coarse = model_curve(narrow, coarse_hz);
  EXPECT_TRUE(lcr::same_grid(refined_hz(15.0, 30.0), refined_hz(12.5, 27.0)));
  EXPECT_TRUE(lcr::same_grid(coarse, refined_hz(12.5, 27.0)));
  // Fine points over more than two octaves are another grid.
  EXPECT_FALSE(lcr::same_grid(coarse, refined_hz(10.0, 45.0)));
  // So is a denser grid throughout.
  EXPECT_TRUE(lcr::same_grid(coarse, coarse));
  EXPECT_FALSE(lcr::same_grid(coarse, model_curve(narrow, grid_hz(10.0, 2000.0, 48))));
}

}  // namespace
