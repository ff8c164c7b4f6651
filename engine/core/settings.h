// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's process-wide settings and constant tables, and the lock under
// which results cross from the streaming worker to the window.
//
// Settings are single values: the window writes them on its thread, the
// engine reads each where it uses it on the worker thread, so every one is a
// std::atomic. The two rebuild requests are taken by the engine with one
// atomic read-and-clear (take_*), which keeps a request that the window raises
// during a rebuild for the next block.

#include <array>
#include <atomic>
#include <mutex>

namespace lcr {

inline constexpr std::array<int, 8> test_frequencies{100, 200, 500, 1000, 2000, 5000, 10000, 20000};
inline constexpr std::array<int, 6> ref_resistors{10, 100, 1000, 10000, 100000, 1000000};

inline constexpr int freq_count = static_cast<int>(test_frequencies.size());
inline constexpr int ref_count = static_cast<int>(ref_resistors.size());

// "Pegel" items "0.01" … "1.00" as `tone_level` values; the tone's amplitude
// is tone_level × 65535 / 20000 sample units.
inline constexpr std::array<double, 7> level_table{100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0};
// "FT Faktor" and "Mittelwert" items as factors.
inline constexpr std::array<int, 3> ft_factor_items{1, 4, 16};
inline constexpr std::array<int, 3> avg_count_items{1, 4, 16};

struct tsettings {
  std::atomic<int> ref_index{0};         // 0 … ref_count-1
  std::atomic<int> freq_index{3};        // 0 … freq_count-1; 3 is 1000 Hz
  std::atomic<double> tone_level{1000.0};
  std::atomic<int> ft_factor{1};         // 1, 4 or 16; clamped at rebuild
  std::atomic<int> avg_count{0};         // 0 until "Mittelwert" is applied; acts as 1
  std::atomic<int> test_mode{0};         // 0 measurement, 1 … 4 configuration test
  std::atomic<bool> display_running{true};
  std::atomic<bool> request_transform_rebuild{false};
  std::atomic<bool> request_average_rebuild{false};
  // Raised by request_settling: something the engine cannot see changed
  // (the wiring of the adapter, the part at the terminals).
  std::atomic<unsigned> settle_generation{0};
  // The tone is the sum of the eight test frequencies, measured at once.
  std::atomic<bool> multitone{false};
  // The impedance analyser's publication in force (analyser_stream.h):
  // while its job runs, the analyser's excitation replaces the tone.
  std::atomic<unsigned> analyser_generation{0};
};

// The one instance; written by the window's thread, read by the worker.
extern tsettings settings;

// Guards every value handed between the worker and the window other than the
// settings: results, plot history, test results, the shared quantity texts
// and the calibration entries. Held only for a copy.
extern std::mutex publication_lock;

// Puts every setting back to its start value (program start, or a test's
// fresh state).
void reset_settings();

// Something outside the engine changed what the inputs record: readings
// count as settled again only once everything they average was recorded
// afterwards. Any thread.
void request_settling();

// Atomic read-and-clear of a rebuild request; true when it was raised.
bool take_transform_rebuild_request();
bool take_average_rebuild_request();

// Frequency of the current `freq_index` in Hz, the index clamped to the table.
int current_frequency_hz();
// Nominal resistance of the current `ref_index` in ohm, clamped likewise.
int current_ref_resistor_ohm();

// The indices clamped into their tables, for code that indexes the tables
// with a setting that a careless writer could have put out of range.
int clamp_freq_index(int index);
int clamp_ref_index(int index);

}  // namespace lcr
