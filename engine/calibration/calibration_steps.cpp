// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_steps.h"

#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/reading_spread.h"
#include "engine/readings/settled_reading.h"

#include <cmath>
#include <mutex>

namespace lcr {

tcal_capture_state cal_capture;

namespace {

// The latest reading, if it is one of the present settings, with its
// ratio corrected by the tables in force.
struct tstep_reading {
  bool current = false;
  std::size_t r = 0;
  std::size_t f = 0;
  tcomplex avg_ratio;
  tratio_spread spread;  // of avg_ratio: chance and the input's rounding
  tcal_entries entries;  // in force at (r, f)
  tcorrection_chain chain;

  // The spread of a value of the chain, as the reading's scatter carries
  // into it.
  template <typename Part>
  tratio_spread spread_of(Part part) const
  {
    return propagate_spread([&](tcomplex h) { return part(run_correction_chain(h, entries)); }, avg_ratio, spread);
  }
};

// `current`: whether the snapshot (or the multitone reading it is a point
// of) is a reading of the settings in force.
tstep_reading step_reading(const tmeasurement_snapshot& snapshot, bool current)
{
  tstep_reading reading;
  reading.current = current;
  reading.r = static_cast<std::size_t>(clamp_ref_index(snapshot.tag.ref_index));
  reading.f = static_cast<std::size_t>(clamp_freq_index(snapshot.tag.freq_index));
  reading.avg_ratio = snapshot.avg_ratio;
  reading.spread = reading_spread(snapshot);
  reading.entries = calibration_entries(snapshot.tag.ref_index, snapshot.tag.freq_index);
  reading.chain = run_correction_chain(reading.avg_ratio, reading.entries);
  return reading;
}

bool is_finite(tcomplex value)
{
  return std::isfinite(value.re) && std::isfinite(value.im);
}

// Plain complex division: false for a zero divisor instead of a guard value.
bool divide(tcomplex a, tcomplex b, tcomplex& quotient)
{
  if (!(b.re * b.re + b.im * b.im > 0.0)) return false;
  quotient = c_div(a, b);
  return is_finite(quotient);
}

}  // namespace

void reset_cal_capture()
{
  const std::lock_guard lock(publication_lock);
  cal_capture = tcal_capture_state{};
}

const char* cal_step_result_text(tcal_step_result result)
{
  switch (result) {
    case tcal_step_result::stored: return "gespeichert";
    case tcal_step_result::not_settled: return "kein eingeschwungener Messwert (Aufbau, Ton oder Tonstrom unruhig)";
    case tcal_step_result::no_open_ratio: return "kein Leerlaufwert in diesem Lauf (zuerst Modus 2)";
    case tcal_step_result::no_known_ratio: return "Messwert des bekannten Widerstands unbrauchbar";
    case tcal_step_result::degenerate: return "bekannter Widerstand nicht vom Leerlauf zu unterscheiden";
    case tcal_step_result::bad_known_resistor: return "bekannter Widerstand ungültig";
    case tcal_step_result::not_finite: return "Messwert nicht endlich, nichts gespeichert";
  }
  return "";
}

treference_solution solve_reference(tcomplex a, tcomplex b, tcomplex zk, tcomplex z_short_old, tcomplex z_ref_old)
{
  treference_solution solution;
  solution.solved = reference_from_ratios(a, b, zk, z_short_old, z_ref_old, solution.z_ref, solution.z_short);
  if (solution.solved) solution.y_open = c_inv(divider_z(b, solution.z_ref));
  return solution;
}

treference_spreads reference_solution_spreads(tspread_ratio a, tspread_ratio b, tcomplex zk, tcomplex z_short_old,
                                              tcomplex z_ref_old)
{
  // Both readings' scatter, the known resistor's and the open's, carried
  // into each entry the step solves for.
  const auto spread_of = [&](auto part) {
    const auto with_a = [&](tcomplex x) { return part(solve_reference(x, b.value, zk, z_short_old, z_ref_old)); };
    const auto with_b = [&](tcomplex x) { return part(solve_reference(a.value, x, zk, z_short_old, z_ref_old)); };
    return sum_spreads(propagate_spread(with_a, a.value, a.spread), propagate_spread(with_b, b.value, b.spread));
  };
  return {spread_of([](const treference_solution& s) { return s.z_ref; }),
          spread_of([](const treference_solution& s) { return s.y_open; }),
          spread_of([](const treference_solution& s) { return s.z_short; })};
}

tcomplex known_impedance(double rp_ohm, double cp_ff, double frequency_hz)
{
  if (cp_ff == 0.0) return {rp_ohm, 0.0};
  const double omega = 2.0 * pi * frequency_hz;
  return par_to_ser({rp_ohm, -1.0 / (cp_ff * 1e-15 * omega)});
}

bool reference_from_ratios(tcomplex a, tcomplex b, tcomplex zk, tcomplex z_short_old, tcomplex z_ref_old,
                           tcomplex& z_ref, tcomplex& z_short)
{
  const tcomplex one{1.0, 0.0};
  // u = 1/a − 1/b, evaluated as ((Q − 1)·(1 − b))/b with Q = ((1 − a)·b)/((1 − b)·a).
  tcomplex q;
  tcomplex u;
  if (!divide(c_mul(c_sub(one, a), b), c_mul(c_sub(one, b), a), q)) return false;
  if (!divide(c_mul(c_sub(q, one), c_sub(one, b)), b, u)) return false;
  // The short reads in proportion to the reference it was measured with.
  tcomplex s;
  if (!divide(z_short_old, z_ref_old, s)) s = {};
  tcomplex found;
  if (!divide(c_mul(zk, u), c_sub(one, c_mul(s, u)), found)) return false;
  if (!(found.re * found.re + found.im * found.im > 0.0)) return false;
  z_ref = found;
  z_short = c_mul(s, found);
  return is_finite(z_short);
}

namespace {

tcal_step_result store_crosstalk(const tstep_reading& reading)
{
  if (!reading.current) return tcal_step_result::not_settled;
  if (!is_finite(reading.avg_ratio)) return tcal_step_result::not_finite;
  const std::lock_guard lock(publication_lock);
  calibration.h_short[reading.f] = reading.avg_ratio;
  calibration_spreads.h_short[reading.f] = tentry_spread::known(reading.spread);
  return tcal_step_result::stored;
}

tcal_step_result store_symmetry(const tstep_reading& reading)
{
  if (!reading.current) return tcal_step_result::not_settled;
  if (!is_finite(reading.avg_ratio)) return tcal_step_result::not_finite;
  const std::lock_guard lock(publication_lock);
  calibration.h_direct[reading.f] = reading.avg_ratio;
  calibration_spreads.h_direct[reading.f] = tentry_spread::known(reading.spread);
  return tcal_step_result::stored;
}

tcal_step_result store_open(const tstep_reading& reading)
{
  if (!reading.current) return tcal_step_result::not_settled;
  const tratio_spread ratio_spread = reading.spread_of([](const tcorrection_chain& c) { return c.ratio_corrected; });
  const tratio_spread y_spread = reading.spread_of([](const tcorrection_chain& c) { return c.y_raw; });
  if (!is_finite(reading.chain.ratio_corrected) || !is_finite(reading.chain.y_raw)) return tcal_step_result::not_finite;
  const std::lock_guard lock(publication_lock);
  cal_capture.h_open[reading.f] = reading.chain.ratio_corrected;
  cal_capture.h_open_spread[reading.f] = ratio_spread;
  calibration.y_open[reading.r][reading.f] = reading.chain.y_raw;
  calibration_spreads.y_open[reading.r][reading.f] = tentry_spread::known(y_spread);
  return tcal_step_result::stored;
}

tcal_step_result store_short(const tstep_reading& reading)
{
  if (!reading.current) return tcal_step_result::not_settled;
  const tratio_spread z_spread = reading.spread_of([](const tcorrection_chain& c) { return c.z_open_corrected; });
  if (!is_finite(reading.chain.z_open_corrected)) return tcal_step_result::not_finite;
  const std::lock_guard lock(publication_lock);
  calibration.z_short[reading.r][reading.f] = reading.chain.z_open_corrected;
  calibration_spreads.z_short[reading.r][reading.f] = tentry_spread::known(z_spread);
  return tcal_step_result::stored;
}

tcal_step_result store_reference(const tstep_reading& reading)
{
  if (!reading.current) return tcal_step_result::not_settled;
  const std::size_t r = reading.r;
  const std::size_t f = reading.f;
  const tratio_spread a_spread = reading.spread_of([](const tcorrection_chain& c) { return c.ratio_corrected; });
  tcal_capture_state capture;
  tcomplex z_short_old;
  tcomplex z_ref_old;
  {
    const std::lock_guard lock(publication_lock);
    if (is_finite(reading.chain.ratio_corrected)) cal_capture.h_known[f] = reading.chain.ratio_corrected;
    capture = cal_capture;
    z_short_old = calibration.z_short[r][f];
    z_ref_old = calibration.z_ref[r][f];
  }
  const double rp = capture.known_rp;
  const double cp = capture.known_cp;
  if (!(rp > 0.0) || !std::isfinite(rp) || !(cp >= 0.0) || !std::isfinite(cp)) {
    return tcal_step_result::bad_known_resistor;
  }
  const tcomplex zk = known_impedance(rp, cp, test_frequencies[f]);
  const tcomplex a = capture.h_known[f];
  const tcomplex b = capture.h_open[f];
  if (a.re == 0.0) return tcal_step_result::no_known_ratio;
  if (b.re == 0.0) return tcal_step_result::no_open_ratio;
  const treference_solution solution = solve_reference(a, b, zk, z_short_old, z_ref_old);
  if (!solution.solved || !is_finite(solution.y_open)) return tcal_step_result::degenerate;

  const treference_spreads spreads =
      reference_solution_spreads({a, a_spread}, {b, capture.h_open_spread[f]}, zk, z_short_old, z_ref_old);
  const std::lock_guard lock(publication_lock);
  calibration.z_ref[r][f] = solution.z_ref;
  calibration.y_open[r][f] = solution.y_open;
  calibration.z_short[r][f] = solution.z_short;
  calibration_spreads.z_ref[r][f] = tentry_spread::known(spreads.z_ref);
  calibration_spreads.y_open[r][f] = tentry_spread::known(spreads.y_open);
  calibration_spreads.z_short[r][f] = tentry_spread::known(spreads.z_short);
  return tcal_step_result::stored;
}

tcal_step_result store_step(tcal_mode mode, const tstep_reading& reading)
{
  switch (mode) {
    case tcal_mode::crosstalk: return store_crosstalk(reading);
    case tcal_mode::symmetry: return store_symmetry(reading);
    case tcal_mode::open: return store_open(reading);
    case tcal_mode::short_circuit: return store_short(reading);
    case tcal_mode::reference: return store_reference(reading);
  }
  return tcal_step_result::stored;
}

tstep_reading latest_step_reading()
{
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  return step_reading(snapshot, is_current_reading(snapshot));
}

}  // namespace

tcal_step_result cal_store_crosstalk()
{
  return store_crosstalk(latest_step_reading());
}

tcal_step_result cal_store_symmetry()
{
  return store_symmetry(latest_step_reading());
}

tcal_step_result cal_store_open()
{
  return store_open(latest_step_reading());
}

tcal_step_result cal_store_short()
{
  return store_short(latest_step_reading());
}

tcal_step_result cal_store_reference()
{
  return store_reference(latest_step_reading());
}

tcal_step_result cal_store_step(tcal_mode mode)
{
  return store_step(mode, latest_step_reading());
}

tmultitone_calibration_settings::tmultitone_calibration_settings() : operator_avg_count_(settings.avg_count.load())
{
  settings.avg_count = multitone_calibration_avg_count;
  settings.request_average_rebuild = true;
  settings.multitone = true;
}

tmultitone_calibration_settings::~tmultitone_calibration_settings()
{
  settings.multitone = false;
  settings.avg_count = operator_avg_count_;
  settings.request_average_rebuild = true;
}

std::optional<std::array<tcal_step_result, freq_count>> cal_store_multitone_step(tcal_mode mode)
{
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  if (!snapshot.tag.multitone || !is_current_reading(snapshot)) return std::nullopt;
  // An entry without a known spread would leave every reading that uses
  // it without a statistical uncertainty.
  for (int f = 0; f < freq_count; ++f) {
    if (!reading_spread(multitone_point(snapshot, f)).valid) return std::nullopt;
  }
  std::array<tcal_step_result, freq_count> results{};
  for (int f = 0; f < freq_count; ++f) {
    results[static_cast<std::size_t>(f)] = store_step(mode, step_reading(multitone_point(snapshot, f), true));
  }
  return results;
}

}  // namespace lcr
