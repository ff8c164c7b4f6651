// SPDX-License-Identifier: GPL-3.0-or-later
#include "configuration_tests.h"

#include "engine/core/complex_math.h"
#include "engine/measurement/engine_state.h"
#include "engine/signal/tone_analysis.h"

#include "audio/streaming.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace lcr {

tconfig_test_state config_tests;

namespace {

constexpr int test_tone_hz = 1000;

double advance_phase(double& phase, double step)
{
  phase += step;
  phase -= std::trunc(phase);
  return phase;
}

struct tphasor_pair {
  tcomplex left;   // A, dft_ch1
  tcomplex right;  // B, dft_ch2
};

tphasor_pair phasors_at(int k)
{
  dft_bin(engine.dft_ch2, k);
  dft_bin(engine.dft_ch1, k);
  return {{engine.dft_ch1.re, engine.dft_ch1.im}, {engine.dft_ch2.re, engine.dft_ch2.im}};
}

int bin_of_test_tone()
{
  return bin_of_frequency(test_tone_hz, engine.dft_ch1.n, waveio::in_rate);
}

}  // namespace

void reset_config_tests()
{
  const std::lock_guard lock(publication_lock);
  config_tests.test_phases.fill(0.0);
  config_tests.test4_count = 0;
  config_tests.test4_smoothed.fill(0.0);
  config_tests.test4_restart_requested = false;
  config_tests.results = tconfig_test_results{};
}

void make_test_tone_1k()
{
  const double step = static_cast<double>(test_tone_hz) / waveio::out_rate;
  for (double& sample : engine.tone_buffer) {
    sample = std::sin(2.0 * pi * advance_phase(config_tests.test_phases[0], step)) * 32767.0;
  }
}

void make_test_multitone()
{
  std::fill(engine.tone_buffer.begin(), engine.tone_buffer.end(), 0.0);
  for (std::size_t j = 0; j < test_frequencies.size(); ++j) {
    const double step = static_cast<double>(test_frequencies[j]) / waveio::out_rate;
    for (double& sample : engine.tone_buffer) {
      // Each tone at the measurement level "0.10": the sum stays below 26215.
      sample += std::sin(2.0 * pi * advance_phase(config_tests.test_phases[j], step)) * tone_amplitude(1000.0);
    }
  }
}

int grade_test1(double louder_magnitude)
{
  if (louder_magnitude > 15000.0) return test_bad;
  if (louder_magnitude < 1500.0) return test_bad;
  if (louder_magnitude < 10000.0) return test_doubtful;
  return test_good;
}

int grade_test2_phase(double largest_phase_difference_deg)
{
  if (largest_phase_difference_deg > 30.0) return test_bad;
  if (largest_phase_difference_deg > 10.0) return test_doubtful;
  return test_good;
}

int grade_test2_amplitude_check(int code, double figure)
{
  if (figure > 0.5) return test_bad;
  if (figure > 0.1) return test_doubtful;
  return code;
}

int grade_test3(double left_magnitude, double right_magnitude)
{
  // Without a right signal the ratio has no meaning: red, without dividing.
  if (left_magnitude < 100.0 || !(right_magnitude > 0.0)) return test_bad;
  const double q = left_magnitude / right_magnitude;
  if (q > 1.8 && q < 2.2) return test_good;
  if (q > 0.3 && q < 0.7) return test_doubtful;
  return test_bad;
}

double effective_bits(double magnitude, int n)
{
  return 10.0 * std::log10(268435456.0 / (magnitude * magnitude * n)) / 6.02;
}

void evaluate_test1()
{
  const tphasor_pair p = phasors_at(bin_of_test_tone());
  const int code = grade_test1(std::max(c_abs(p.left), c_abs(p.right)));
  const std::lock_guard lock(publication_lock);
  config_tests.results.test1_result = code;
}

void evaluate_test2()
{
  std::array<double, freq_count> bmag{};
  std::array<double, freq_count> amag{};
  std::array<double, freq_count> phase{};
  bool silent = false;
  for (std::size_t i = 0; i < test_frequencies.size(); ++i) {
    const int k = static_cast<int>(std::lround(static_cast<double>(test_frequencies[i]) * engine.dft_ch2.n /
                                               waveio::in_rate));
    const tphasor_pair p = phasors_at(k);
    const double g = p.left.re * p.left.re + p.left.im * p.left.im;
    if (!(g > 0.0)) {
      silent = true;
      break;
    }
    const tcomplex ratio{(p.left.re * p.right.re + p.left.im * p.right.im) / g,
                         (p.left.re * p.right.im - p.left.im * p.right.re) / g};
    bmag[i] = c_abs(p.right);
    amag[i] = c_abs(p.left);
    phase[i] = angle_deg(ratio.re, ratio.im);
  }
  constexpr std::size_t reference = 3;  // 1000 Hz
  int phase_code = test_bad;
  int amplitude_code = test_bad;
  if (!silent && bmag[reference] > 0.0) {
    double largest_phase = 0.0;
    double right_flatness = 0.0;
    double left_flatness = 0.0;
    double channel_difference = 0.0;
    for (std::size_t i = 0; i < test_frequencies.size(); ++i) {
      largest_phase = std::max(largest_phase, std::fabs(phase[i] - phase[reference]));
      right_flatness = std::max(right_flatness, std::fabs(bmag[i] - bmag[reference]));
      left_flatness = std::max(left_flatness, std::fabs(amag[i] - amag[reference]));
      channel_difference = std::max(channel_difference, std::fabs(bmag[i] - amag[i]));
    }
    phase_code = grade_test2_phase(largest_phase);
    amplitude_code = test_good;
    amplitude_code = grade_test2_amplitude_check(amplitude_code, right_flatness / bmag[reference]);
    amplitude_code = grade_test2_amplitude_check(amplitude_code, left_flatness / bmag[reference]);
    amplitude_code = grade_test2_amplitude_check(amplitude_code,
                                                 channel_difference * 2.0 / (bmag[reference] + amag[reference]));
  }
  const std::lock_guard lock(publication_lock);
  config_tests.results.test2_phase_result = phase_code;
  config_tests.results.test2_amplitude_result = amplitude_code;
}

void evaluate_test3()
{
  const tphasor_pair p = phasors_at(bin_of_test_tone());
  const int code = grade_test3(c_abs(p.left), c_abs(p.right));
  const std::lock_guard lock(publication_lock);
  config_tests.results.test3_result = code;
}

void evaluate_test4()
{
  int& count = config_tests.test4_count;
  if (config_tests.test4_restart_requested.exchange(false)) count = 0;
  if (count < 20) ++count;
  if (count == 19) config_tests.test4_smoothed.fill(0.0);
  if (count != 20) return;  // the input settles for the first 19 evaluations

  auto& smoothed = config_tests.test4_smoothed;
  double lo = smoothed[0];
  double hi = smoothed[0];
  for (std::size_t i = 0; i < test_frequencies.size(); ++i) {
    dft_bin(engine.dft_ch2, bin_of_frequency(test_frequencies[i], engine.dft_ch1.n, waveio::in_rate));
    smoothed[i] = c_abs({engine.dft_ch2.re, engine.dft_ch2.im}) * 0.01 + smoothed[i] * 0.99;
    hi = std::max(hi, smoothed[i]);
    lo = std::min(lo, smoothed[i]);
  }
  const int n = engine.dft_ch2.n;
  const std::lock_guard lock(publication_lock);
  if (hi > 0.0) config_tests.results.test4_bits_worst = effective_bits(hi, n);
  if (lo > 0.0) config_tests.results.test4_bits_best = effective_bits(lo, n);
}

tconfig_test_results config_test_results()
{
  const std::lock_guard lock(publication_lock);
  return config_tests.results;
}

}  // namespace lcr
