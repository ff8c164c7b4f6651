// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How often the meter's readings lie within their own figures, counted
// against the exact impedance of simulated networks on the simulated
// set-up's virtual clock: a set-up (ideal or realistic and calibrated,
// with its noise), a way of measuring (the single tone or the multitone,
// "FT Faktor" and "Mittelwert"), networks measured at every test frequency
// with the reference the meter recommends. For the coverage tests and
// bench/coverage_probe.

#include "cli/calibration_sweep.h"
#include "cli/meter_session.h"
#include "remote/benchtop_functions.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"
#include "engine/sweeps/frequency_sweep.h"

#include "audio/simulated/dut_network.h"
#include "audio/simulated/fixture_set_up.h"
#include "audio/simulated/simulated_fixture.h"

#include "support/temporary_directory.h"
#include "support/whole_calibration.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quarvel_test {

struct tcoverage_set_up {
  const char* name;
  bool realistic;
  double noise_rms;
};

struct tcoverage_way {
  const char* name;
  bool multitone;
  int ft;
  int avg;
  bool functions = false;  // count the benchtop functions too
};

// Coverage of one figure over many readings.
struct tcoverage {
  int readings = 0;
  int within_uncertainty = 0;
  int unknown_uncertainty = 0;
  int within_deviation = 0;
  double worst_in_uncertainties = 0.0;
  double worst_in_deviations = 0.0;

  void add(double error, double uncertainty, double deviation)
  {
    ++readings;
    if (std::isfinite(uncertainty)) {
      if (error <= uncertainty) ++within_uncertainty;
      worst_in_uncertainties = std::max(worst_in_uncertainties, error / uncertainty);
    } else {
      ++unknown_uncertainty;
    }
    if (error <= deviation) ++within_deviation;
    worst_in_deviations = std::max(worst_in_deviations, error / deviation);
  }
};

struct tcoverage_result {
  tcoverage magnitude;
  tcoverage phase;
  // Both values of every benchtop function (:FETCh? and :FETCh:UNCertainty?
  // of the remote control), when asked for.
  tcoverage functions;
};

inline const std::vector<std::string>& coverage_networks()
{
  static const std::vector<std::string> list{"R=2.2",  "R=3.3",      "R=470",        "R=47k",
                                             "R=2.2M", "C=47p",      "C=10n",        "C=4.7u",
                                             "L=22u",  "L=4.7m",     "C=1u + R=2",   "C=470n | R=1M",
                                             "L=1",    "(L=1m + R=0.8) | C=50p"};
  return list;
}

inline std::complex<double> exact_impedance(const std::string& network, double frequency_hz)
{
  return waveio::parse_dut_network(network).impedance(2.0 * lcr::pi * frequency_hz).value_ohm();
}

inline double phase_error_deg(std::complex<double> measured, std::complex<double> exact)
{
  // Two-quadrant phases: an error is taken modulo 180°.
  const double d = (std::atan(measured.imag() / measured.real()) - std::atan(exact.imag() / exact.real())) * 180.0 / lcr::pi;
  return std::fabs(std::remainder(d, 180.0));
}

class tcoverage_survey {
public:
  // Opens the meter on the set-up (calibrated where it is realistic: each
  // mode in one pass with the multitone on a noisy one, stepped otherwise);
  // each network and frequency is then read `repeats` times.
  tcoverage_survey(const tcoverage_set_up& set_up, int repeats) : repeats_(repeats)
  {
    quarvel_cli::tmeter_options options;
    options.sim_dut = "R=1k";
    options.sim_noise_rms = set_up.noise_rms;
    options.tone_level = lcr::level_table.back();
    options.ft_factor = 4;
    options.avg_count = 16;
    options.cal_file = directory_.path() + "/absent.cal";
    lcr::reset_calibration_tables();
    session_ = std::make_unique<quarvel_cli::tmeter_session>(options);
    if (set_up.realistic) {
      waveio::tfixture_config c = session_->fixture().configuration();
      waveio::add_realistic_imperfections(c);
      session_->fixture().set_configuration(c);
      calibrate_whole_set_up(*session_, set_up.noise_rms > 5.0);
    }
  }

  // `on_phase` sees each reading's phase with its figures.
  tcoverage_result measure(const tcoverage_way& way, const std::vector<std::string>& networks = coverage_networks(),
                           std::function<void(const lcr::tquantity_reading&)> on_phase = {})
  {
    on_phase_ = std::move(on_phase);
    functions_ = way.functions;
    set_factors(way.ft, way.avg);
    lcr::settings.multitone = way.multitone;
    tcoverage_result result;
    for (const std::string& network : networks) {
      place(network);
      if (way.multitone) {
        measure_multitone(network, way, result);
      } else {
        for (int f = 0; f < lcr::freq_count; ++f) measure_single(network, f, way, result);
      }
    }
    lcr::settings.multitone = false;
    return result;
  }

private:
  void run_seconds(double seconds)
  {
    session_->run_until(session_->frames_processed() + static_cast<std::int64_t>(seconds * waveio::in_rate));
  }

  void set_factors(int ft, int avg)
  {
    lcr::settings.ft_factor = ft;
    lcr::settings.request_transform_rebuild = true;
    lcr::settings.avg_count = avg;
    lcr::settings.request_average_rebuild = true;
  }

  void place(const std::string& network)
  {
    waveio::tfixture_config c = session_->fixture().configuration();
    c.dut_network = network;
    c.device_state = waveio::tdevice_state::device_under_test;
    c.reference_state = waveio::treference_state::fitted;
    session_->fixture().set_configuration(c);
    lcr::request_settling();
  }

  bool settle()
  {
    for (int step = 0; step < 1200; ++step) {
      if (lcr::is_current_reading(lcr::measurement_snapshot())) return true;
      run_seconds(0.05);
    }
    return false;
  }

  // A fresh reading: its averaged windows all after the last one's.
  lcr::tmeasurement_snapshot next_reading(const tcoverage_way& way)
  {
    run_seconds(way.ft * way.avg * 0.05 + 0.05);
    settle();
    return lcr::measurement_snapshot();
  }

  void count(const std::string& network, const lcr::tmeasurement_snapshot& point, tcoverage_result& result)
  {
    const double frequency_hz = lcr::test_frequencies[static_cast<std::size_t>(point.tag.freq_index)];
    const std::complex<double> exact = exact_impedance(network, frequency_hz);
    const lcr::tquantity_reading z = lcr::quantity_reading(point, lcr::quantity_key::Z, false);
    const lcr::tquantity_reading phi = lcr::quantity_reading(point, lcr::quantity_key::phi_Z, false);
    if (on_phase_) on_phase_(phi);
    if (functions_) count_functions(point, exact, result.functions);
    const lcr::tcomplex measured = lcr::corrected_chain(point).z;
    const std::complex<double> z_measured{measured.re, measured.im};
    result.magnitude.add(std::fabs(std::abs(z_measured) - std::abs(exact)), z.uncertainty, z.deviation);
    if (std::getenv("COVERAGE_MISSES") && std::fabs(std::abs(z_measured) - std::abs(exact)) > z.uncertainty) {
      std::fprintf(stderr, "miss |Z| %s %g Hz ref %g: error %.3g u %.3g rel %.3g h %.4f\n", network.c_str(), frequency_hz,
                   static_cast<double>(lcr::ref_resistors[static_cast<std::size_t>(point.tag.ref_index)]),
                   std::abs(z_measured) - std::abs(exact), z.uncertainty, (std::abs(z_measured) - std::abs(exact)) / std::abs(exact),
                   std::abs(exact / (exact + static_cast<double>(lcr::ref_resistors[static_cast<std::size_t>(point.tag.ref_index)]))));
    }
    result.phase.add(phase_error_deg(z_measured, exact), phi.uncertainty, phi.deviation);
    if (std::getenv("COVERAGE_MISSES") &&
        (phase_error_deg(z_measured, exact) > phi.deviation || phase_error_deg(z_measured, exact) > 3.0 * phi.uncertainty)) {
      std::fprintf(stderr, "miss phi %s %g Hz ref %g: error %.3g deviation %.3g u %.3g value %.3g\n", network.c_str(),
                   frequency_hz, static_cast<double>(lcr::ref_resistors[static_cast<std::size_t>(point.tag.ref_index)]),
                   phase_error_deg(z_measured, exact), phi.deviation, phi.uncertainty, phi.value);
    }
  }

  void measure_single(const std::string& network, int f, const tcoverage_way& way, tcoverage_result& result)
  {
    lcr::settings.freq_index = f;
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (!settle()) return;
      const int recommended = lcr::recommended_ref_index(lcr::measurement_snapshot());
      if (recommended < 0 || recommended == lcr::settings.ref_index.load()) break;
      lcr::settings.ref_index = recommended;
    }
    for (int repeat = 0; repeat < repeats_; ++repeat) count(network, next_reading(way), result);
  }

  void measure_multitone(const std::string& network, const tcoverage_way& way, tcoverage_result& result)
  {
    lcr::settings.freq_index = 3;
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (!settle()) return;
      const int recommended = lcr::recommended_ref_index(lcr::measurement_snapshot());
      if (recommended < 0 || recommended == lcr::settings.ref_index.load()) break;
      lcr::settings.ref_index = recommended;
    }
    for (int repeat = 0; repeat < repeats_; ++repeat) {
      const lcr::tmeasurement_snapshot snapshot = next_reading(way);
      for (int f = 0; f < lcr::freq_count; ++f) count(network, lcr::multitone_point(snapshot, f), result);
    }
  }

  // Some quantities of a pure element have no value a reading could hold:
  // its parallel resistance or reactance, its Q or D are infinite, and the
  // parts of 1/(Rp + jXp) jump where Xp does (the quantities' guards give
  // them a value at the element itself). Told by a nudge of the part that
  // is zero, against the quantity's size at the same magnitude at 45°.
  static bool ill_defined_for(std::complex<double> exact, const lcr::tquantity_choice& choice, double frequency_hz)
  {
    if (exact.real() != 0.0 && exact.imag() != 0.0) return false;
    const double magnitude = std::abs(exact);
    const auto value = [&](std::complex<double> z) {
      return lcr::quantity_value({z.real(), z.imag()}, choice.key, choice.parallel, frequency_hz);
    };
    const double at = value(exact);
    const double scale = std::max(std::fabs(value(std::polar(magnitude, lcr::pi / 4.0))), std::fabs(at));
    const std::complex<double> nudge = exact.real() == 0.0 ? std::complex<double>(1e-9 * magnitude, 0.0)
                                                          : std::complex<double>(0.0, 1e-9 * magnitude);
    const double change = std::max(std::fabs(value(exact + nudge) - at), std::fabs(value(exact - nudge) - at));
    return !(change <= 1e-6 * scale);
  }

  // Every benchtop function's two values as the remote control answers
  // them, against the same quantities of the exact impedance.
  static void count_functions(const lcr::tmeasurement_snapshot& point, std::complex<double> exact,
                              tcoverage& coverage)
  {
    const double frequency_hz = lcr::test_frequencies[static_cast<std::size_t>(point.tag.freq_index)];
    for (int index = 0; index < scpi::function_count(); ++index) {
      const scpi::tbenchtop_function& function = scpi::benchtop_function(index);
      const lcr::tsweep_row row = lcr::reading_row(point, function.quantities);
      const auto add = [&](bool second, const lcr::tquantity_choice& choice, double value, double deviation,
                           double uncertainty) {
        if (ill_defined_for(exact, choice, frequency_hz)) return;
        const double truth = scpi::function_value(
            function, second, lcr::quantity_value({exact.real(), exact.imag()}, choice.key, choice.parallel, frequency_hz));
        const double shown = scpi::function_value(function, second, value);
        // A two-quadrant phase's error modulo half a turn, in its unit.
        const double half_turn = scpi::function_value(function, second, lcr::quantity_period(choice.key));
        double error = shown - truth;
        if (half_turn > 0.0) error = std::remainder(error, half_turn);
        coverage.add(std::fabs(error), scpi::function_value(function, second, uncertainty),
                     scpi::function_value(function, second, deviation));
        const double u = scpi::function_value(function, second, uncertainty);
        if (std::getenv("COVERAGE_MISSES") && (std::fabs(error) > scpi::function_value(function, second, deviation) ||
                                               std::fabs(error) > 3.0 * u)) {
          std::fprintf(stderr, "miss %s %s Z %.6g%+.6gj %g Hz ref %d: shown %.6g truth %.6g deviation %.3g u %.3g\n",
                       std::string(function.name).c_str(), second ? "second" : "first", exact.real(), exact.imag(),
                       frequency_hz, lcr::ref_resistors[static_cast<std::size_t>(point.tag.ref_index)], shown, truth,
                       scpi::function_value(function, second, deviation), u);
        }
      };
      add(false, function.quantities.first, row.first_value, row.first_deviation, row.first_uncertainty);
      add(true, function.quantities.second, row.second_value, row.second_deviation, row.second_uncertainty);
    }
  }

  int repeats_;
  bool functions_ = false;
  std::function<void(const lcr::tquantity_reading&)> on_phase_;
  temporary_directory directory_;
  std::unique_ptr<quarvel_cli::tmeter_session> session_;
};

}  // namespace quarvel_test
