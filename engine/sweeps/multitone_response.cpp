// SPDX-License-Identifier: GPL-3.0-or-later
#include "multitone_response.h"

#include "engine/core/settings.h"
#include "engine/readings/settled_reading.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace lcr {

double worst_relative_deviation(const std::vector<tsweep_row>& rows)
{
  if (rows.empty()) return std::numeric_limits<double>::infinity();
  double worst = 0.0;
  for (const tsweep_row& row : rows) {
    const double magnitude = c_abs(row.z);
    worst = std::max(worst, magnitude > 0.0 ? row.z_deviation / magnitude : std::numeric_limits<double>::infinity());
  }
  return worst;
}

int least_worst_curve(const std::vector<std::vector<tsweep_row>>& curves)
{
  int best = -1;
  double best_worst = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < curves.size(); ++i) {
    const double worst = worst_relative_deviation(curves[i]);
    if (best < 0 || worst < best_worst) {
      best = static_cast<int>(i);
      best_worst = worst;
    }
  }
  return best;
}

namespace {

// What a point tells about |Z|: its statistical uncertainty (k = 2) where
// known, else its worst case. Half its value leaves the point telling
// where the device lies.
double telling_spread(const tsweep_row& row)
{
  return std::isfinite(row.z_uncertainty) ? row.z_uncertainty : row.z_deviation;
}

bool point_informative(const tsweep_row& row)
{
  return telling_spread(row) < 0.5 * c_abs(row.z);
}

// The impedance a point stands for in the choice: its reading; for a point
// that told nothing, the geometric middle of the range it leaves open,
// between a tenth of the smallest reference and what it bounds from above
// (its ratio small: the device far below the reference), or between what
// it bounds from below and ten times the largest reference (its ratio near
// one: far above).
tcomplex standing_impedance(const tsweep_row& row)
{
  if (point_informative(row)) return row.z;
  const double ref_ohm = ref_resistors[static_cast<std::size_t>(clamp_ref_index(row.ref_index))];
  const double magnitude = c_abs(row.z);
  const double spread = telling_spread(row);
  const double smallest = ref_resistors.front() / 10.0;
  const double largest = ref_resistors.back() * 10.0;
  const bool below = magnitude < c_abs(c_add(row.z, {ref_ohm, 0.0})) * 0.5;
  const double middle = below ? std::sqrt(smallest * std::clamp(magnitude + spread, smallest, largest))
                              : std::sqrt(std::clamp(magnitude - spread, ref_ohm, largest) * largest);
  return {middle, 0.0};
}

}  // namespace

bool curve_informative(const std::vector<tsweep_row>& rows)
{
  return std::all_of(rows.begin(), rows.end(), point_informative);
}

int curve_reference(const std::vector<tsweep_row>& rows)
{
  int best = -1;
  double best_worst = std::numeric_limits<double>::infinity();
  for (int r = 0; !rows.empty() && r < ref_count; ++r) {
    const double ref_ohm = ref_resistors[static_cast<std::size_t>(r)];
    double worst = 0.0;
    for (const tsweep_row& row : rows) {
      const tcomplex z = standing_impedance(row);
      const double sum = c_abs(c_add(z, {ref_ohm, 0.0}));
      const double magnitude = c_abs(z);
      worst = std::max(worst, magnitude > 0.0 ? (sum + magnitude) * sum / (magnitude * ref_ohm)
                                              : std::numeric_limits<double>::infinity());
    }
    if (best < 0 || worst < best_worst) {
      best = r;
      best_worst = worst;
    }
  }
  return best;
}

tmultitone_response::tmultitone_response(bool auto_ref, const std::optional<tquantity_pair>& quantities,
                                         int most_waiting_ticks)
    : quantities_(quantities.value_or(displayed_quantity_pair())),
      most_waiting_ticks_(most_waiting_ticks),
      operator_ref_index_(settings.ref_index.load()),
      restore_ref_(auto_ref)
{
  if (auto_ref) candidates_.push_back(operator_ref_index_);
  settings.multitone = true;
}

tmultitone_response::~tmultitone_response()
{
  stop();
}

std::vector<tsweep_row> tmultitone_response::full_rows() const
{
  if (!values_only_ || !latest_) return rows_;
  return multitone_rows(*latest_, quantities_);
}

void tmultitone_response::stop()
{
  if (!running_) return;
  running_ = false;
  // The frozen curve is complete (before the settings change back).
  rows_ = full_rows();
  values_only_ = false;
  settings.multitone = false;
  if (restore_ref_) settings.ref_index = operator_ref_index_;
}

std::string tmultitone_response::failure_text() const
{
  return failed_ ? multitone_failure_text : std::string();
}

void tmultitone_response::try_candidate(std::size_t candidate)
{
  candidate_ = candidate;
  if (choosing_reference()) settings.ref_index = candidates_[candidate_];
}

void tmultitone_response::add_candidate(int ref_index)
{
  if (ref_index < 0) return;
  if (std::find(candidates_.begin(), candidates_.end(), ref_index) == candidates_.end()) {
    candidates_.push_back(ref_index);
  }
}

bool tmultitone_response::tick(int evaluations_apart)
{
  if (!running_) return false;
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  const bool current = snapshot.tag.multitone && is_current_reading(snapshot);
  if (!current) gap_ = true;
  if (!current || snapshot.evaluation_count == last_evaluation_) {
    if (++waiting_ticks_ > most_waiting_ticks_) {
      failed_ = true;
      stop();
    }
    return false;
  }
  waiting_ticks_ = 0;
  if (!gap_ && snapshot.evaluation_count - last_evaluation_ < evaluations_apart) return false;
  gap_ = false;
  last_evaluation_ = snapshot.evaluation_count;
  if (choosing_reference()) {
    // The references are compared by |Z|'s deviation alone.
    std::vector<tsweep_row> curve = multitone_rows(snapshot, quantities_, false);
    if (candidate_ == 0) {
      first_curve_informative_ = curve_informative(curve);
      add_candidate(curve_reference(curve));
    } else if (candidate_ == 1 && !first_curve_informative_) {
      add_candidate(curve_reference(curve));
    }
    tried_.push_back(std::move(curve));
    tried_snapshots_.push_back(snapshot);
    try_candidate(candidate_ + 1);
    if (choosing_reference()) return false;
    // The best curve was measured wholly at its reference: it is the first
    // one shown, and the response goes on there.
    const auto best = static_cast<std::size_t>(least_worst_curve(tried_));
    latest_ = tried_snapshots_[best];
    settings.ref_index = latest_->tag.ref_index;
    tried_.clear();
    tried_snapshots_.clear();
  } else {
    latest_ = snapshot;
  }
  rows_ = multitone_rows(*latest_, quantities_, !values_only_);
  ++curves_;
  return true;
}

}  // namespace lcr
