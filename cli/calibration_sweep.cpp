// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_sweep.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"

#include "audio/streaming.h"

namespace quarvel_cli {

namespace {
constexpr std::int64_t tick_frames = waveio::in_rate / 2;  // the sweep's 500 ms timer
constexpr int settle_ticks = static_cast<int>(lcr::calibration_settle_seconds * 2.0);
}  // namespace

void place_fixture_for_calibration(lcr::tcal_mode mode, waveio::tsimulated_fixture& fixture, double rp_ohm, double cp_ff)
{
  waveio::tfixture_config config = fixture.configuration();
  waveio::wire_set_up(config, waveio::set_up_for_calibration_mode(static_cast<int>(mode)));
  config.known_resistance_ohm = rp_ohm;
  config.known_capacitance_f = cp_ff * 1e-15;
  fixture.set_configuration(config);
}

namespace {

// "Start" selects "FT Faktor" 4 and "Pegel" 1.00; they stay afterwards.
void select_calibration_settings()
{
  if (lcr::settings.ft_factor.load() != 4) {
    lcr::settings.ft_factor = 4;
    lcr::settings.request_transform_rebuild = true;
  }
  lcr::settings.tone_level = lcr::level_table.back();
  // The operator has just connected the set-up of this mode.
  lcr::request_settling();
}

}  // namespace

std::vector<lcr::tcal_step_result> calibration_multitone(tmeter_session& session, lcr::tcal_mode mode)
{
  select_calibration_settings();
  const lcr::tmultitone_calibration_settings pass;
  // Looked at every 10 ms of stream: the step is taken from the first
  // settled reading.
  constexpr std::int64_t step_frames = waveio::in_rate / 100;
  constexpr auto most_steps = static_cast<int>(lcr::calibration_settle_seconds * 100.0);
  std::vector<lcr::tcal_step_result> results(lcr::freq_count, lcr::tcal_step_result::not_settled);
  for (int step = 0; step < most_steps; ++step) {
    session.run_until(session.frames_processed() + step_frames);
    if (const auto stored = lcr::cal_store_multitone_step(mode)) {
      results.assign(stored->begin(), stored->end());
      break;
    }
  }
  return results;
}

std::vector<lcr::tcal_step_result> calibration_sweep(tmeter_session& session, lcr::tcal_mode mode, int operator_freq_index)
{
  select_calibration_settings();
  std::vector<lcr::tcal_step_result> results;
  std::int64_t tick = session.frames_processed();
  const auto next_tick = [&] {
    tick += tick_frames;
    session.run_until(tick);
  };
  for (int f = 0; f < lcr::freq_count; ++f) {
    next_tick();
    lcr::settings.freq_index = f;
    lcr::tcal_step_result result = lcr::tcal_step_result::not_settled;
    for (int wait = 0; wait < settle_ticks && result == lcr::tcal_step_result::not_settled; ++wait) {
      next_tick();
      result = lcr::cal_store_step(mode);
    }
    results.push_back(result);
  }
  next_tick();
  lcr::settings.freq_index = operator_freq_index;
  return results;
}

}  // namespace quarvel_cli
