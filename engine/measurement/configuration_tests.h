// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The four tests of the sound-card set-up. While one is selected it replaces
// the measurement in the block loop: each block plays the test's signal and
// each evaluation grades the recording.
//
//  1 "Aussteuerung": recording level of a full-scale 1 kHz tone (fixture 1)
//  2 "Amplitudenverlauf" / "Phasenverlauf": flatness over the eight test
//    frequencies (fixture 1)
//  3 "Stereo + Kanalzurordnung": left must carry twice the right (fixture 2)
//  4 "eff. Auflösung": effective resolution of an open input
//
// Tones and evaluations run on the streaming worker; the results are
// published under `publication_lock` and read by the window.

#include "engine/core/settings.h"

#include <array>
#include <atomic>

namespace lcr {

// Result codes.
inline constexpr int test_not_measured = 0;
inline constexpr int test_good = 1;      // green
inline constexpr int test_doubtful = 2;  // yellow
inline constexpr int test_bad = 3;       // red

// What the window reads at its display tick.
struct tconfig_test_results {
  int test1_result = test_not_measured;
  int test2_amplitude_result = test_not_measured;
  int test2_phase_result = test_not_measured;
  int test3_result = test_not_measured;
  double test4_bits_best = 0.0;   // from the smallest smoothed magnitude
  double test4_bits_worst = 0.0;  // from the largest
};

struct tconfig_test_state {
  // Worker only.
  std::array<double, freq_count> test_phases{};     // cycles, 0 ≤ phase < 1
  int test4_count = 0;                              // settling counter, 0 … 20
  std::array<double, freq_count> test4_smoothed{};  // right-channel magnitudes
  // Set by the window when a test is selected; the worker restarts test 4's
  // settling when it takes it.
  std::atomic<bool> test4_restart_requested{false};

  // Published under `publication_lock`; a code keeps its value until the
  // same test writes it again.
  tconfig_test_results results;
};

// The one instance.
extern tconfig_test_state config_tests;

void reset_config_tests();

// Worker: the test signals into the engine's tone buffer.
void make_test_tone_1k();
void make_test_multitone();

// Worker: the evaluations, on the windows already taken into the transforms.
void evaluate_test1();
void evaluate_test2();
void evaluate_test3();
void evaluate_test4();

// A copy of the published results, taken under the lock.
tconfig_test_results config_test_results();

// Pure grading rules, shared by the evaluations and their tests.
int grade_test1(double louder_magnitude);
int grade_test2_phase(double largest_phase_difference_deg);
// Applies one amplitude check to the running code.
int grade_test2_amplitude_check(int code, double figure);
int grade_test3(double left_magnitude, double right_magnitude);
// Effective resolution in bits of a smoothed bin magnitude at length n.
double effective_bits(double magnitude, int n);

}  // namespace lcr
