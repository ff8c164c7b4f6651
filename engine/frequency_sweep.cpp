#include "frequency_sweep.h"

#include "csv_text.h"
#include "deviation_estimate.h"
#include "measurement_cycle.h"
#include "quantities.h"
#include "settings.h"

#include "audio/streaming.h"

#include <mutex>

namespace lcr {

namespace {

// A reference the engine recommends that the sweep has not tried yet is
// worth a second settling; three are plenty (the recommendation converges).
constexpr int most_reference_changes = 3;


std::int64_t evaluations_so_far()
{
  return measurement_snapshot().evaluation_count;
}

}  // namespace

tfrequency_sweep::tfrequency_sweep(bool auto_ref)
    : auto_ref_(auto_ref),
      operator_freq_index_(settings.freq_index.load()),
      operator_ref_index_(settings.ref_index.load())
{
  rows_.reserve(freq_count);
  switch_to(0);
}

int tfrequency_sweep::progress_percent() const
{
  return static_cast<int>(rows_.size() * 100 / freq_count);
}

void tfrequency_sweep::switch_to(int freq_index)
{
  freq_index_ = freq_index;
  reference_changes_ = 0;
  settings.freq_index = freq_index;
  settling_.restart();
}

void tsettling_wait::restart()
{
  from_evaluations_ = evaluations_so_far();
  seconds_ = tone_settling_seconds();
}

bool tsettling_wait::settled() const
{
  const std::int64_t evaluations = evaluations_so_far() - from_evaluations_;
  return static_cast<double>(evaluations) * eval_stride / waveio::in_rate >= seconds_;
}

bool tfrequency_sweep::tick()
{
  if (done_) return false;
  if (!settling_.settled()) return true;
  if (auto_ref_ && reference_changes_ < most_reference_changes) {
    const int recommended = recommended_ref_index();
    if (recommended >= 0 && recommended != settings.ref_index.load()) {
      settings.ref_index = recommended;
      ++reference_changes_;
      settling_.restart();
      return true;
    }
  }
  take_reading();
  if (freq_index_ + 1 < freq_count) {
    switch_to(freq_index_ + 1);
  } else {
    finish();
  }
  return !done_;
}

int recommended_ref_index()
{
  const double ohm = measurement_snapshot().recommended_ref_ohm;
  for (int r = 0; r < ref_count; ++r) {
    if (ref_resistors[static_cast<std::size_t>(r)] == ohm) return r;
  }
  return -1;
}

tsweep_row present_reading()
{
  const tmeasurement_snapshot snapshot = measurement_snapshot();
  tlcr_strings first;
  tlcr_strings second;
  {
    const std::lock_guard lock(publication_lock);
    first = engine.first_quantity;
    second = engine.second_quantity;
  }
  tlcr_strings magnitude;
  magnitude.quantity = "Z";
  tsweep_row row;
  row.freq_index = settings.freq_index.load();
  row.frequency_hz = test_frequencies[static_cast<std::size_t>(row.freq_index)];
  row.z = snapshot.display_z;
  row.z_deviation = quantity_deviation(magnitude);
  row.first_value = quantity_value(row.z, first);
  row.first_deviation = quantity_deviation(first);
  row.second_value = quantity_value(row.z, second);
  row.second_deviation = quantity_deviation(second);
  row.ref_index = settings.ref_index.load();
  row.signal_state = snapshot.latest_signal_state;
  return row;
}

void tfrequency_sweep::take_reading()
{
  rows_.push_back(present_reading());
}

std::vector<tfit_point> sweep_fit_points(const std::vector<tsweep_row>& rows)
{
  std::vector<tfit_point> points;
  for (const tsweep_row& row : rows) {
    const bool meaningful = row.signal_state == signal_ok || row.signal_state == signal_near_full_scale;
    if (meaningful) points.push_back({row.frequency_hz, row.z, row.z_deviation});
  }
  return points;
}

std::string sweep_csv_text(const std::vector<tsweep_row>& rows, std::string_view first_symbol,
                           std::string_view second_symbol)
{
  std::string text = csv_line({"frequency_hz", "ref_ohm", "z_re", "z_im", "z_deviation", "first_quantity", "first_value",
                               "first_deviation", "second_quantity", "second_value", "second_deviation", "signal_state"});
  for (const tsweep_row& row : rows) {
    text += csv_line({csv_number(row.frequency_hz), csv_number(ref_resistors[static_cast<std::size_t>(row.ref_index)]),
                      csv_number(row.z.re), csv_number(row.z.im), csv_number(row.z_deviation),
                      csv_field(first_symbol), csv_number(row.first_value), csv_number(row.first_deviation),
                      csv_field(second_symbol), csv_number(row.second_value), csv_number(row.second_deviation),
                      std::to_string(row.signal_state)});
  }
  return text;
}

void tfrequency_sweep::finish()
{
  settings.freq_index = operator_freq_index_;
  settings.ref_index = operator_ref_index_;
  done_ = true;
}

}  // namespace lcr
