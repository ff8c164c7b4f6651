// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The whole meter on the simulated fixture's virtual clock, for end-to-end
// tests: the command-line meter's session (streaming worker, engine, fixture)
// started from a fresh engine, with helpers to measure a device network and
// to compare with its exact impedance.

#include "cli/meter_session.h"
#include "engine/calibration/calibration_steps.h"
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"
#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include "audio/simulated/dut_network.h"
#include "audio/streaming.h"

#include <complex>
#include <memory>
#include <string>

namespace quarvel_test {

struct tsim_reading {
  lcr::tcomplex z;            // display_z, ohm
  std::complex<double> exact; // the network's impedance, ohm
  std::complex<double> ratio; // the ideal divider ratio H with the nominal reference
  double recommended_ohm = 0.0;
  int ref_index = 0;

  double magnitude_error() const { return std::abs(std::abs(std::complex(z.re, z.im)) / std::abs(exact) - 1.0); }
  double phase_error_deg() const
  {
    double d = (std::arg(std::complex(z.re, z.im)) - std::arg(exact)) * 180.0 / lcr::pi;
    while (d > 180.0) d -= 360.0;
    while (d < -180.0) d += 360.0;
    return std::fabs(d);
  }
  bool ratio_in_range() const { return std::abs(ratio) >= 0.05 && std::abs(ratio) <= 0.95; }
};

class simulated_meter : public fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    lcr::reset_engine_state();
    lcr::reset_cal_capture();
    lcr::reset_config_tests();
    waveio::reset_stream_state();
  }

  void TearDown() override
  {
    session.reset();
    waveio::reset_stream_state();
  }

  // Opens the meter at "Pegel" 1.00, "FT Faktor" 16, "Mittelwert" 16 unless
  // told otherwise, with no calibration file.
  void open(quarvel_cli::tmeter_options options = precise_options())
  {
    if (!options.sim_dut) options.sim_dut = "R=1k";
    options.cal_file = directory.path() + "/absent.cal";
    session = std::make_unique<quarvel_cli::tmeter_session>(options);
  }

  static quarvel_cli::tmeter_options precise_options()
  {
    quarvel_cli::tmeter_options options;
    options.tone_level = lcr::level_table.back();
    options.ft_factor = 16;
    options.avg_count = 16;
    options.freq_index = 3;
    options.ref_index = 2;
    return options;
  }

  waveio::tfixture_config config() { return session->fixture().configuration(); }
  // Rewires the set-up: readings settle anew, as after the operator's change.
  void configure(const waveio::tfixture_config& c)
  {
    session->fixture().set_configuration(c);
    lcr::request_settling();
  }

  // Runs the stream on for `seconds` of stream time.
  void run_seconds(double seconds)
  {
    session->run_until(session->frames_processed() + static_cast<std::int64_t>(seconds * waveio::in_rate));
  }


  // `network` in the measuring adapter with its reference fitted.
  void place_device(const std::string& network)
  {
    waveio::tfixture_config c = config();
    c.dut_network = network;
    c.device_state = waveio::tdevice_state::device_under_test;
    c.reference_state = waveio::treference_state::fitted;
    c.wiring = waveio::twiring::measuring_adapter;
    configure(c);
  }

  // Measures `network` at frequency index f with reference index r.
  tsim_reading measure(const std::string& network, int f, int r)
  {
    place_device(network);
    lcr::settings.freq_index = f;
    lcr::settings.ref_index = r;
    const lcr::tmeasurement_snapshot snapshot = settled_snapshot();
    tsim_reading reading;
    reading.z = snapshot.display_z;
    reading.recommended_ohm = snapshot.recommended_ref_ohm;
    reading.ref_index = r;
    const double omega = 2.0 * lcr::pi * lcr::test_frequencies[static_cast<std::size_t>(f)];
    reading.exact = waveio::parse_dut_network(network).impedance(omega).value_ohm();
    const double ref_ohm = lcr::ref_resistors[static_cast<std::size_t>(r)];
    reading.ratio = reading.exact / (ref_ohm + reading.exact);
    return reading;
  }

  // Runs the stream on until the latest reading has settled under the
  // present settings (a test fails when none comes in 30 s of stream).
  lcr::tmeasurement_snapshot settled_snapshot()
  {
    for (int step = 0; step < 600; ++step) {
      const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
      if (lcr::is_current_reading(snapshot)) return snapshot;
      run_seconds(0.05);
    }
    ADD_FAILURE() << "no settled reading in 30 s of stream";
    return lcr::measurement_snapshot();
  }

  // Measures with the reference the meter recommends for the device.
  tsim_reading measure_with_recommended(const std::string& network, int f, int& r)
  {
    tsim_reading reading = measure(network, f, r);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const int recommended = reference_index_of(reading.recommended_ohm);
      if (recommended == r) break;
      r = recommended;
      reading = measure(network, f, r);
    }
    return reading;
  }

  static int reference_index_of(double ohm)
  {
    for (int r = 0; r < lcr::ref_count; ++r) {
      if (lcr::ref_resistors[static_cast<std::size_t>(r)] == ohm) return r;
    }
    return 2;
  }

  temporary_directory directory;
  std::unique_ptr<quarvel_cli::tmeter_session> session;
};

}  // namespace quarvel_test
