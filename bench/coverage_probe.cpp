// SPDX-License-Identifier: GPL-3.0-or-later
// Not a benchmark: how often the meter's readings lie within their own
// figures, counted against the exact impedance of simulated networks on
// the simulated set-up's virtual clock. For each set-up (ideal and quiet,
// ideal with noise, realistic and calibrated, realistic, calibrated and
// noisy) and each way of measuring (the single tone at several "FT Faktor"
// and "Mittelwert", the multitone) it measures a dozen networks at every
// test frequency with the reference the meter recommends and prints, for
// |Z| and the phase, the share of readings within their statistical
// uncertainty (k = 2) and within their worst-case deviation, and the
// largest error in units of each.
//
//   build/default/bench/coverage_probe [--repeats N] [--quick] [--set-up TEXT] [--way TEXT]
//
// (only the set-ups and ways whose names contain the texts)

#include "cli/calibration_sweep.h"
#include "cli/meter_session.h"

#include "engine/calibration_steps.h"
#include "engine/corrections.h"
#include "engine/frequency_sweep.h"
#include "engine/measurement_cycle.h"
#include "engine/settings.h"
#include "engine/settled_reading.h"

#include "audio/simulated/dut_network.h"
#include "audio/simulated/fixture_set_up.h"
#include "audio/simulated/simulated_fixture.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct tset_up {
  const char* name;
  bool realistic;
  double noise_rms;
};

struct tway {
  const char* name;
  bool multitone;
  int ft;
  int avg;
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

struct tresult {
  tcoverage magnitude;
  tcoverage phase;
};

const std::vector<std::string>& networks()
{
  static const std::vector<std::string> list{"R=2.2",  "R=3.3",      "R=470",        "R=47k",
                                             "R=2.2M", "C=47p",      "C=10n",        "C=4.7u",
                                             "L=22u",  "L=4.7m",     "C=1u + R=2",   "C=470n | R=1M",
                                             "L=1",    "(L=1m + R=0.8) | C=50p"};
  return list;
}

std::complex<double> exact_impedance(const std::string& network, double frequency_hz)
{
  return waveio::parse_dut_network(network).impedance(2.0 * lcr::pi * frequency_hz).value_ohm();
}

double phase_error_deg(std::complex<double> measured, std::complex<double> exact)
{
  // Two-quadrant phases: an error is taken modulo 180°.
  const double d = (std::atan(measured.imag() / measured.real()) - std::atan(exact.imag() / exact.real())) * 180.0 / lcr::pi;
  return std::fabs(std::remainder(d, 180.0));
}

class tprobe {
public:
  tprobe(const tset_up& set_up, int repeats) : repeats_(repeats)
  {
    directory_ = std::filesystem::temp_directory_path() / ("quarvel-coverage-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
    quarvel_cli::tmeter_options options;
    options.sim_dut = "R=1k";
    options.sim_noise_rms = set_up.noise_rms;
    options.tone_level = lcr::level_table.back();
    options.ft_factor = 4;
    options.avg_count = 16;
    options.cal_file = (directory_ / "absent.cal").string();
    lcr::reset_calibration_tables();
    session_ = std::make_unique<quarvel_cli::tmeter_session>(options);
    if (set_up.realistic) {
      waveio::tfixture_config c = session_->fixture().configuration();
      waveio::add_realistic_imperfections(c);
      session_->fixture().set_configuration(c);
      calibrate(set_up.noise_rms > 5.0);
    }
  }

  ~tprobe()
  {
    session_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  tresult measure(const tway& way)
  {
    set_factors(way.ft, way.avg);
    lcr::settings.multitone = way.multitone;
    tresult result;
    for (const std::string& network : networks()) {
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
  lcr::tmeasurement_snapshot next_reading(const tway& way)
  {
    run_seconds(way.ft * way.avg * 0.05 + 0.05);
    settle();
    return lcr::measurement_snapshot();
  }

  void count(const std::string& network, const lcr::tmeasurement_snapshot& point, tresult& result)
  {
    const double frequency_hz = lcr::test_frequencies[static_cast<std::size_t>(point.tag.freq_index)];
    const std::complex<double> exact = exact_impedance(network, frequency_hz);
    const lcr::tquantity_reading z = lcr::quantity_reading(point, lcr::quantity_key::Z, false);
    const lcr::tquantity_reading phi = lcr::quantity_reading(point, lcr::quantity_key::phi_Z, false);
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
    if (std::getenv("COVERAGE_MISSES") && phase_error_deg(z_measured, exact) > phi.deviation) {
      std::fprintf(stderr, "miss deviation phi %s %g Hz ref %g: error %.3g deviation %.3g value %.3g\n", network.c_str(),
                   frequency_hz, static_cast<double>(lcr::ref_resistors[static_cast<std::size_t>(point.tag.ref_index)]),
                   phase_error_deg(z_measured, exact), phi.deviation, phi.value);
    }
  }

  void measure_single(const std::string& network, int f, const tway& way, tresult& result)
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

  void measure_multitone(const std::string& network, const tway& way, tresult& result)
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

  // Modes 0 and 1, then per reference modes 2, 3 and 4 with the known
  // resistor of its decade (R ∥ 200 fF): stepped, or each in one pass with
  // the multitone.
  void calibrate(bool multitone)
  {
    const auto step = [&](lcr::tcal_mode mode) {
      if (multitone) return quarvel_cli::calibration_multitone(*session_, mode);
      return quarvel_cli::calibration_sweep(*session_, mode, 3);
    };
    for (const lcr::tcal_mode mode : {lcr::tcal_mode::crosstalk, lcr::tcal_mode::symmetry}) {
      quarvel_cli::place_fixture_for_calibration(mode, session_->fixture(), 1000.0, 200.0);
      step(mode);
    }
    for (int r = 0; r < lcr::ref_count; ++r) {
      const double ohm = lcr::ref_resistors[static_cast<std::size_t>(r)];
      lcr::settings.ref_index = r;
      {
        const std::lock_guard lock(lcr::publication_lock);
        lcr::cal_capture.known_rp = ohm;
        lcr::cal_capture.known_cp = 200.0;
      }
      for (const lcr::tcal_mode mode : {lcr::tcal_mode::open, lcr::tcal_mode::short_circuit, lcr::tcal_mode::reference}) {
        quarvel_cli::place_fixture_for_calibration(mode, session_->fixture(), ohm, 200.0);
        step(mode);
      }
    }
  }

  int repeats_;
  std::filesystem::path directory_;
  std::unique_ptr<quarvel_cli::tmeter_session> session_;
};

void print_row(const char* set_up, const char* way, const char* figure, const tcoverage& c)
{
  const double known = std::max(c.readings - c.unknown_uncertainty, 1);
  std::printf("| %-30s | %-22s | %-5s | %6d | %6.1f %% | %5d | %8.2f | %6.1f %% | %8.3f |\n", set_up, way, figure,
              c.readings, 100.0 * c.within_uncertainty / known, c.unknown_uncertainty, c.worst_in_uncertainties,
              100.0 * c.within_deviation / std::max(c.readings, 1), c.worst_in_deviations);
}

}  // namespace

int main(int argc, char** argv)
{
  int repeats = 3;
  bool quick = false;
  std::string only_set_up;
  std::string only_way;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--repeats" && i + 1 < argc) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--quick") {
      quick = true;
    } else if (argument == "--set-up" && i + 1 < argc) {
      only_set_up = argv[++i];
    } else if (argument == "--way" && i + 1 < argc) {
      only_way = argv[++i];
    } else {
      std::fprintf(stderr, "usage: coverage_probe [--repeats N] [--quick] [--set-up TEXT] [--way TEXT]\n");
      return argument == "--help" ? 0 : 2;
    }
  }
  const std::vector<tset_up> set_ups{{"ideal, quiet", false, 0.0},
                                     {"ideal, noise 30", false, 30.0},
                                     {"ideal, noise 300", false, 300.0},
                                     {"realistic, calibrated, noise 1", true, 1.0},
                                     {"realistic, calibrated, noise 30", true, 30.0}};
  std::vector<tway> ways{{"single FT 1, Mw 1", false, 1, 1},
                         {"single FT 4, Mw 4", false, 4, 4},
                         {"single FT 1, Mw 16", false, 1, 16},
                         {"multitone FT 1, Mw 4", true, 1, 4}};
  if (quick) ways.resize(2);
  std::printf("| set-up | way | value | readings | within u (k=2) | u unknown | worst error/u | within deviation | worst "
              "error/deviation |\n|---|---|---|---|---|---|---|---|---|\n");
  for (const tset_up& set_up : set_ups) {
    if (std::string_view(set_up.name).find(only_set_up) == std::string_view::npos) continue;
    tprobe probe(set_up, repeats);
    for (const tway& way : ways) {
      if (std::string_view(way.name).find(only_way) == std::string_view::npos) continue;
      const tresult result = probe.measure(way);
      print_row(set_up.name, way.name, "|Z|", result.magnitude);
      print_row(set_up.name, way.name, "phi", result.phase);
      std::fflush(stdout);
    }
  }
  return 0;
}
