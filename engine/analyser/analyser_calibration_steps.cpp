// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_calibration_steps.h"

#include "engine/readings/reading_spread.h"

#include <cmath>
#include <vector>

namespace lcr {

namespace {

bool is_finite(tcomplex value)
{
  return std::isfinite(value.re) && std::isfinite(value.im);
}

// One point as a step sees it.
struct tstep_point {
  double frequency_hz = 0.0;
  tcomplex ratio;
  tratio_spread spread;
  tcal_entries entries;
  tcorrection_chain chain;

  template <typename Part>
  tratio_spread spread_of(Part part) const
  {
    return propagate_spread([&](tcomplex h) { return part(run_correction_chain(h, entries)); }, ratio, spread);
  }
};

tanalyser_entry entry_of(tcomplex value, const tratio_spread& spread)
{
  return {value, tentry_spread::known(spread), true};
}

// Every point's entry for `mode`, or the reason none can be made; the
// calibration and capture change only when every point has one.
tanalyser_step_outcome store_points(tcal_mode mode, const std::vector<tstep_point>& points, std::size_t r,
                                    tanalyser_calibration& calibration, tanalyser_step_capture& capture,
                                    const tknown_part& known)
{
  tanalyser_calibration stored = calibration;
  tanalyser_step_capture captured = capture;
  for (const tstep_point& point : points) {
    tanalyser_cal_point& entries = stored.points[point.frequency_hz];
    switch (mode) {
      case tcal_mode::crosstalk:
        if (!is_finite(point.ratio)) return {0, "Messwert nicht endlich, nichts gespeichert"};
        entries.h_short = entry_of(point.ratio, point.spread);
        break;
      case tcal_mode::symmetry:
        if (!is_finite(point.ratio)) return {0, "Messwert nicht endlich, nichts gespeichert"};
        entries.h_direct = entry_of(point.ratio, point.spread);
        break;
      case tcal_mode::open: {
        if (!is_finite(point.chain.ratio_corrected) || !is_finite(point.chain.y_raw)) {
          return {0, "Messwert nicht endlich, nichts gespeichert"};
        }
        const tratio_spread ratio_spread = point.spread_of([](const tcorrection_chain& c) { return c.ratio_corrected; });
        captured.h_open[point.frequency_hz] = {point.chain.ratio_corrected, ratio_spread};
        entries.y_open[r] = entry_of(point.chain.y_raw, point.spread_of([](const tcorrection_chain& c) { return c.y_raw; }));
        break;
      }
      case tcal_mode::short_circuit:
        if (!is_finite(point.chain.z_open_corrected)) return {0, "Messwert nicht endlich, nichts gespeichert"};
        entries.z_short[r] = entry_of(point.chain.z_open_corrected,
                                      point.spread_of([](const tcorrection_chain& c) { return c.z_open_corrected; }));
        break;
      case tcal_mode::reference: {
        if (!(known.rp_ohm > 0.0) || !std::isfinite(known.rp_ohm)) return {0, cal_step_result_text(tcal_step_result::bad_known_resistor)};
        const auto open = captured.h_open.find(point.frequency_hz);
        if (open == captured.h_open.end()) return {0, cal_step_result_text(tcal_step_result::no_open_ratio)};
        const tspread_ratio a{point.chain.ratio_corrected,
                              point.spread_of([](const tcorrection_chain& c) { return c.ratio_corrected; })};
        if (a.value.re == 0.0) return {0, cal_step_result_text(tcal_step_result::no_known_ratio)};
        const tcomplex zk = known_impedance(known.rp_ohm, known.cp_ff, point.frequency_hz);
        const treference_solution solution =
            solve_reference(a.value, open->second.value, zk, point.entries.z_short, point.entries.z_ref);
        if (!solution.solved || !is_finite(solution.y_open)) {
          return {0, cal_step_result_text(tcal_step_result::degenerate)};
        }
        const treference_spreads spreads =
            reference_solution_spreads(a, open->second, zk, point.entries.z_short, point.entries.z_ref);
        entries.z_ref[r] = entry_of(solution.z_ref, spreads.z_ref);
        entries.y_open[r] = entry_of(solution.y_open, spreads.y_open);
        entries.z_short[r] = entry_of(solution.z_short, spreads.z_short);
        break;
      }
    }
  }
  calibration = std::move(stored);
  capture = std::move(captured);
  return {static_cast<int>(points.size()), ""};
}

}  // namespace

tanalyser_step_outcome analyser_store_step(tcal_mode mode, const tanalyser_measurement& measurement,
                                           tanalyser_calibration& calibration, tanalyser_step_capture& capture,
                                           const tknown_part& known)
{
  if (!measurement.current()) return {0, cal_step_result_text(tcal_step_result::not_settled)};
  const auto r = static_cast<std::size_t>(clamp_ref_index(measurement.tag().ref_index));
  std::vector<tstep_point> points;
  points.reserve(measurement.grid().size());
  for (std::size_t k = 0; k < measurement.grid().size(); ++k) {
    const tanalyser_point_data data = measurement.point(k);
    tstep_point point;
    point.frequency_hz = data.frequency_hz;
    point.ratio = data.ratio;
    point.spread = analyser_point_spread(data);
    // An entry without a known spread would leave every reading that uses
    // it without a statistical uncertainty.
    if (!point.spread.valid) return {0, cal_step_result_text(tcal_step_result::not_settled)};
    point.entries = analyser_entries(calibration, static_cast<int>(r), data.frequency_hz).entries;
    point.chain = run_correction_chain(point.ratio, point.entries);
    points.push_back(point);
  }
  return store_points(mode, points, r, calibration, capture, known);
}

}  // namespace lcr
