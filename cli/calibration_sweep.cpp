#include "calibration_sweep.h"

#include "engine/measurement_cycle.h"
#include "engine/settings.h"

#include <algorithm>
#include <cmath>

#include "audio/streaming.h"

namespace quarvel_cli {

namespace {
constexpr std::int64_t tick_frames = waveio::in_rate / 2;  // the sweep's 500 ms timer
}  // namespace

void place_fixture_for_calibration(lcr::tcal_mode mode, waveio::tsimulated_fixture& fixture, double rp_ohm, double cp_ff)
{
  waveio::tfixture_config config = fixture.configuration();
  config.wiring = waveio::twiring::measuring_adapter;
  config.reference_state = waveio::treference_state::fitted;
  switch (mode) {
    case lcr::tcal_mode::crosstalk:
      config.reference_state = waveio::treference_state::open;
      config.device_state = waveio::tdevice_state::shorted;
      break;
    case lcr::tcal_mode::symmetry:
      config.reference_state = waveio::treference_state::shorted;
      config.device_state = waveio::tdevice_state::open;
      break;
    case lcr::tcal_mode::open: config.device_state = waveio::tdevice_state::open; break;
    case lcr::tcal_mode::short_circuit: config.device_state = waveio::tdevice_state::shorted; break;
    case lcr::tcal_mode::reference:
      config.device_state = waveio::tdevice_state::known_resistor;
      config.known_resistance_ohm = rp_ohm;
      config.known_capacitance_f = cp_ff * 1e-15;
      break;
  }
  fixture.set_configuration(config);
}

std::vector<lcr::tcal_step_result> calibration_sweep(tmeter_session& session, lcr::tcal_mode mode, int operator_freq_index)
{
  // "Start" selects "FT Faktor" 4 and "Pegel" 1.00; they stay afterwards.
  if (lcr::settings.ft_factor.load() != 4) {
    lcr::settings.ft_factor = 4;
    lcr::settings.request_transform_rebuild = true;
  }
  lcr::settings.tone_level = lcr::level_table.back();
  // The store waits until the new tone has come back through the output
  // lead and fills every averaged window: 500 ms are too short for that.
  const auto ticks_to_store =
      std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(lcr::tone_settling_seconds() * 2.0)));
  std::vector<lcr::tcal_step_result> results;
  std::int64_t tick = session.frames_processed();
  for (int f = 0; f < lcr::freq_count; ++f) {
    tick += tick_frames;
    session.run_until(tick);
    lcr::settings.freq_index = f;
    tick += ticks_to_store * tick_frames;
    session.run_until(tick);
    results.push_back(lcr::cal_store_step(mode));
    tick += tick_frames;
  }
  session.run_until(tick);
  lcr::settings.freq_index = operator_freq_index;
  return results;
}

}  // namespace quarvel_cli
