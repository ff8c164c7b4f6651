// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve_refinement.h"

#include <algorithm>

namespace lcr {

tdriver_curve driver_curve_of_rows(const std::vector<tanalyser_row>& rows)
{
  tdriver_curve curve;
  curve.points.reserve(rows.size());
  for (const tanalyser_row& entry : rows) {
    const tsweep_row& row = entry.row;
    curve.points.push_back(analyser_driver_point(row.frequency_hz, {row.z.re, row.z.im}, row.z_uncertainty,
                                                 row.phase_uncertainty, entry.doubtful, entry.calibrated));
  }
  return curve;
}

tresonance_search resonance_of(const tdriver_curve& curve)
{
  const std::vector<tdriver_point> used = fitted_points(curve);
  if (used.size() < 3) {
    tresonance_search none;
    none.refusal = "keine Resonanz im Messbereich: zu wenige Punkte";
    return none;
  }
  return find_resonance(used, least_resistance_ohm(used));
}

double resonance_hz(const std::vector<tanalyser_row>& rows, double fallback_hz)
{
  const tresonance_search search = resonance_of(driver_curve_of_rows(rows));
  return search.ok() || search.too_coarse ? search.resonance.fs_hz : fallback_hz;
}

std::optional<tresonance_refinement> resonance_refinement(const tdriver_curve& curve, int rate, int period)
{
  const tresonance_search search = resonance_of(curve);
  if (!search.too_coarse) return std::nullopt;
  const std::vector<tdriver_point> used = fitted_points(curve);
  const tresonance& resonance = search.resonance;
  const double width_hz = resonance.f2_hz - resonance.f1_hz;
  const double from_hz = std::max(resonance.f1_hz - width_hz, used.front().frequency_hz);
  const double to_hz = std::min(resonance.f2_hz + width_hz, used.back().frequency_hz);
  tgrid_result fine = dense_analyser_grid(from_hz, to_hz, most_refined_points, rate, period);
  if (!fine.grid) return std::nullopt;
  // Fine bins no denser than the curve's own there would add nothing.
  const auto fine_within = std::count_if(fine.grid->bins.begin(), fine.grid->bins.end(), [&](int bin) {
    const double hz = bin * fine.grid->bin_hz();
    return hz >= resonance.f1_hz && hz <= resonance.f2_hz;
  });
  if (fine_within <= resonance.points_within) return std::nullopt;
  const double step_hz = fine.grid->size() > 1 ? fine.grid->frequency_hz(1) - fine.grid->frequency_hz(0)
                                               : fine.grid->bin_hz();
  return tresonance_refinement{std::move(*fine.grid), step_hz, resonance};
}

std::vector<tanalyser_row> refined_rows(const std::vector<tanalyser_row>& coarse,
                                        const std::vector<tanalyser_row>& fine)
{
  if (fine.empty()) return coarse;
  const double from_hz = fine.front().row.frequency_hz;
  const double to_hz = fine.back().row.frequency_hz;
  std::vector<tanalyser_row> merged;
  merged.reserve(coarse.size() + fine.size());
  for (const tanalyser_row& row : coarse) {
    if (row.row.frequency_hz < from_hz) merged.push_back(row);
  }
  merged.insert(merged.end(), fine.begin(), fine.end());
  for (const tanalyser_row& row : coarse) {
    if (row.row.frequency_hz > to_hz) merged.push_back(row);
  }
  return merged;
}

}  // namespace lcr
