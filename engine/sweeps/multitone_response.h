// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The live frequency response: the multitone on, and a curve of the eight
// test frequencies from every fresh reading that has settled under it, until
// stopped. With "Auto R ref" it first finds the one reference that keeps the
// worst relative deviation of |Z| over the eight smallest. It measures a
// curve at the operator's reference and predicts from it which reference
// divides every point best (curve_reference); when that is another, it
// settles there once and measures again. A first curve that told nothing
// about some point (its uncertainty as large as half its value: the
// reference far too large or too small) earns one more such step from the
// second. Of the
// curves measured, the one with the smallest worst relative deviation is
// shown first, and the response goes on at its reference. Only the
// simulated set-up changes its reference by itself.
//
// Stepped by the caller's ticks on the thread that owns the settings; it
// never waits. Stopping (or destruction) brings back the single tone and
// the operator's reference.

#include "engine/sweeps/frequency_sweep.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lcr {

// Why a multitone response or sweep ended without a curve.
inline constexpr const char* multitone_failure_text = "kein eingeschwungener Messwert mit dem Multiton";

// The worst relative deviation of |Z| over a curve's points (infinite for
// an empty curve or a point with |Z| = 0).
double worst_relative_deviation(const std::vector<tsweep_row>& rows);

// Of measured curves at different references, the index of the one with
// the smallest worst relative deviation (−1 for none).
int least_worst_curve(const std::vector<std::vector<tsweep_row>>& curves);

// Whether every point of a curve tells where its device lies: its
// statistical uncertainty (k = 2; the worst case where that is unknown)
// below half its |Z|.
bool curve_informative(const std::vector<tsweep_row>& rows);

// The reference that divides every point of a measured curve best: the
// worst case of a divider reading grows with (1 + |H|)/|H·(1 − H)| =
// (|R + Z| + |Z|)·|R + Z|/(|Z|·R) (the noise of both inputs adding in the
// least favourable phase, as the deviation takes it), and the reference
// with the smallest worst such factor over the points is chosen (the tones
// carry equal amplitudes). A point that
// told nothing stands for the geometric middle of the range it leaves
// open. −1 for an empty curve.
int curve_reference(const std::vector<tsweep_row>& rows);

class tmultitone_response {
public:
  // `most_waiting_ticks`: ticks without a fresh settled reading before the
  // response gives up (30 s of the window's 100 ms display ticks).
  explicit tmultitone_response(bool auto_ref, const std::optional<tquantity_pair>& quantities = std::nullopt,
                               int most_waiting_ticks = 300);
  ~tmultitone_response();
  tmultitone_response(const tmultitone_response&) = delete;
  tmultitone_response& operator=(const tmultitone_response&) = delete;

  // For a display that shows |Z| and the phase: each curve's two quantities
  // then carry no deviations (NaN) until stop() or full_rows().
  void set_values_only(bool values_only) { values_only_ = values_only; }

  // One tick: true when a new curve has come (in rows()). A curve is taken
  // from a reading at least `evaluations_apart` evaluations after the last
  // one's, or from the first settled reading after an unsettled one (the
  // start, another device): a display that shows every other evaluation
  // still shows that one at once.
  bool tick(int evaluations_apart = 1);
  // Freezes the curve; the single tone and the operator's reference return.
  void stop();

  bool running() const { return running_; }
  // Stopped because no settled reading came.
  bool failed() const { return failed_; }
  std::string failure_text() const;
  // Still trying references before the first curve.
  bool choosing_reference() const { return candidate_ < candidates_.size(); }
  const std::vector<tsweep_row>& rows() const { return rows_; }
  // The latest curve with every deviation, for an export.
  std::vector<tsweep_row> full_rows() const;
  std::int64_t curves() const { return curves_; }
  // The evaluation (counted since the stream started) the latest curve was
  // taken from; −1 before the first.
  std::int64_t curve_evaluation() const { return latest_ ? latest_->evaluation_count : -1; }

private:
  void try_candidate(std::size_t candidate);
  void add_candidate(int ref_index);

  tquantity_pair quantities_;
  int most_waiting_ticks_;
  int operator_ref_index_;
  bool restore_ref_;
  std::vector<int> candidates_;               // the references measured and to be measured
  bool first_curve_informative_ = true;
  std::size_t candidate_ = 0;                 // the one being measured
  std::vector<std::vector<tsweep_row>> tried_;  // a curve per reference tried
  std::vector<tmeasurement_snapshot> tried_snapshots_;  // each made at its tag's reference
  std::int64_t last_evaluation_ = -1;
  int waiting_ticks_ = 0;
  bool gap_ = true;  // no settled reading was current at some tick since the last curve
  std::vector<tsweep_row> rows_;
  std::optional<tmeasurement_snapshot> latest_;  // rows_ are made of it
  bool values_only_ = false;
  std::int64_t curves_ = 0;
  bool running_ = true;
  bool failed_ = false;
};

}  // namespace lcr
