// SPDX-License-Identifier: GPL-3.0-or-later
#include "multitone_response.h"

#include "settings.h"
#include "settled_reading.h"

#include <algorithm>
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

// Every reference from the lowest to the highest that the points recommend
// may be the best compromise; those not tried yet are tried next.
void tmultitone_response::choose_reference(const std::vector<tsweep_row>& first_curve)
{
  int lowest = ref_count;
  int highest = -1;
  for (const tsweep_row& row : first_curve) {
    if (row.recommended_ref_index < 0) continue;
    lowest = std::min(lowest, row.recommended_ref_index);
    highest = std::max(highest, row.recommended_ref_index);
  }
  for (int r = lowest; r <= highest; ++r) {
    if (std::find(candidates_.begin(), candidates_.end(), r) == candidates_.end()) candidates_.push_back(r);
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
    if (candidate_ == 0) choose_reference(curve);
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
