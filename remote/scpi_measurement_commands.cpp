// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that wait for the meter: triggers, fetches, sweeps and the
// calibration steps. None blocks; each is taken up again at the next run.

#include "scpi_replies.h"
#include "scpi_session.h"

#include "engine/core/settings.h"
#include "engine/sweeps/frequency_sweep.h"

namespace scpi {

tscpi_session::toutcome tscpi_session::execute_measurement(const tprogram_unit& unit, std::string& replies,
                                                           std::chrono::steady_clock::time_point now)
{
  const auto matches = [&](const char* pattern) { return header_matches(pattern, unit.mnemonics); };
  const bool is_trigger = matches("TRIGger[:IMMediate]");
  const bool is_query = matches("FETCh[:IMPedance][:FORMatted]") || matches("FETCh:DEViation") ||
                        matches("FETCh:UNCertainty") || matches("SWEep");
  const bool is_load = matches("CORRection:LOAD");
  if (is_query != unit.query) {
    add_error(terror_code::undefined_header, is_query ? "a query only" : "a command only");
    return toutcome::done;
  }
  if (!is_load && !unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return toutcome::done;
  }
  if (is_trigger) {
    trigger();
    return toutcome::done;
  }
  if (matches("SWEep")) return execute_sweep(replies);
  if (is_query) {
    const tfigure figure = matches("FETCh:DEViation")     ? tfigure::deviation
                           : matches("FETCh:UNCertainty") ? tfigure::uncertainty
                                                          : tfigure::value;
    return execute_fetch(figure, replies, now);
  }
  return execute_correction(unit, now);
}

bool tscpi_session::trigger()
{
  if (measuring()) return true;  // the running measurement answers this trigger too
  if (instrument_.sweep_active()) {
    add_error(terror_code::settings_conflict, "a sweep is running; trigger when it has ended");
    return false;
  }
  measuring_since_ = std::chrono::steady_clock::now();
  if (list_.empty()) {
    // Only a reading recorded after the trigger counts.
    instrument_.request_settling();
    measuring_ = tmeasuring::reading;
    return true;
  }
  const bool step = list_mode_ == tlist_mode::step;
  if (step_point_ >= list_.size()) step_point_ = 0;
  const std::vector<int> points = step ? std::vector<int>{list_[step_point_]} : list_;
  if (!instrument_.start_sweep(points)) {
    add_error(terror_code::settings_conflict, "a sweep is running; trigger when it has ended");
    return false;
  }
  owns_sweep_ = true;
  measuring_ = tmeasuring::list;
  operation_condition_ &= ~operation_list_complete;
  // A new pass through the list forgets the last one.
  if (!step || step_point_ == 0 || !result_ || !result_->list) result_ = tresult{true, {}};
  return true;
}

void tscpi_session::advance_measurement(std::chrono::steady_clock::time_point now)
{
  if (measuring_ == tmeasuring::reading) {
    if (instrument_.reading_ready()) {
      result_ = tresult{false, {{static_cast<double>(lcr::current_frequency_hz()), instrument_.reading()}}};
      measuring_ = tmeasuring::none;
    } else if (!instrument_.streaming() || now - measuring_since_ >= longest_wait) {
      add_error(terror_code::execution_error, instrument_.streaming() ? "no settled reading in time"
                                                                      : "no signal from the sound input");
      result_.reset();
      measuring_ = tmeasuring::none;
    }
    return;
  }
  if (measuring_ != tmeasuring::list || instrument_.sweep_running()) return;
  owns_sweep_ = false;
  measuring_ = tmeasuring::none;
  const std::vector<tsweep_point> points = instrument_.sweep_result();
  const std::size_t expected = list_mode_ == tlist_mode::step ? 1 : list_.size();
  if (points.size() < expected) {
    // The sweep's own limit ended it at a point that never settled.
    add_error(terror_code::execution_error, "no settled reading at every frequency of the list");
    result_.reset();
    step_point_ = 0;
    return;
  }
  if (!result_) result_ = tresult{true, {}};
  result_->points.insert(result_->points.end(), points.begin(), points.end());
  step_point_ = list_mode_ == tlist_mode::step ? step_point_ + 1 : list_.size();
  if (step_point_ >= list_.size()) {
    step_point_ = 0;
    operation_event_ |= operation_list_complete;
    operation_condition_ |= operation_list_complete;
  }
}

tscpi_session::toutcome tscpi_session::execute_fetch(tfigure figure, std::string& replies,
                                                     std::chrono::steady_clock::time_point now)
{
  const bool latest = trigger_source_ == ttrigger_source::internal && list_.empty();
  if (!waiting_) {
    waiting_ = true;
    wait_started_ = now;
    // Measuring continuously, the list runs when its result is asked for.
    if (!latest && !result_ && !measuring() && trigger_source_ == ttrigger_source::internal && !trigger()) {
      return toutcome::done;
    }
  }
  if (still_measuring(now)) return toutcome::wait;  // a list sweep ends by its own limit
  if (!latest) {
    if (result_) {
      replies += result_reply(figure) + "\n";
    } else {
      // Answered all the same, as benchtop meters do, so that a reader
      // waiting for its line is not left to time out: no values, the
      // status of no settled reading, and the error in the queue.
      add_error(terror_code::data_stale, "no reading was triggered since the settings last changed");
      // A list's point carries its bin too.
      const std::string values = figure == tfigure::value ? numbers_text({not_a_number, not_a_number, -1.0})
                                                          : numbers_text({not_a_number, not_a_number});
      replies += values + (figure == tfigure::value && !list_.empty() ? ",0" : "") + "\n";
    }
    return toutcome::done;
  }
  if (!instrument_.reading_ready()) {
    const bool stalled = !instrument_.streaming() || waited_too_long(now);
    if (!stalled) return toutcome::wait;
    if (!instrument_.streaming()) add_error(terror_code::execution_error, "no signal from the sound input");
    // Answered all the same, with the latest reading marked as not settled.
  }
  replies += reading_reply(instrument_.reading(), figure) + "\n";
  return toutcome::done;
}

tscpi_session::toutcome tscpi_session::execute_sweep(std::string& replies)
{
  if (!waiting_) {
    waiting_ = true;
    if (!instrument_.start_sweep(lcr::all_frequency_indices())) {
      add_error(terror_code::settings_conflict, "a sweep is running");
      return toutcome::done;
    }
    owns_sweep_ = true;
  }
  // The sweep ends by its own limit per frequency, however long it takes.
  if (instrument_.sweep_running()) return toutcome::wait;
  owns_sweep_ = false;
  std::string text;
  const std::vector<tsweep_point> points = instrument_.sweep_result();
  for (const tsweep_point& point : points) {
    text += (text.empty() ? "" : ",") + numbers_text({point.frequency_hz, point.reading.first, point.reading.second,
                                                      static_cast<double>(reading_status(point.reading))});
  }
  if (points.size() < lcr::test_frequencies.size()) {
    add_error(terror_code::execution_error, "no settled reading at every frequency");
  }
  replies += text + "\n";
  return toutcome::done;
}

tscpi_session::toutcome tscpi_session::execute_correction(const tprogram_unit& unit,
                                                          std::chrono::steady_clock::time_point now)
{
  const auto matches = [&](const char* pattern) { return header_matches(pattern, unit.mnemonics); };
  if (!settings_free()) return toutcome::done;
  if (matches("CORRection:SAVE")) {
    const std::string failure = instrument_.save_corrections();
    if (!failure.empty()) add_error(terror_code::execution_error, failure);
    return toutcome::done;
  }
  double rp_ohm = 0.0;
  double cp_ff = 0.0;
  const bool is_load = matches("CORRection:LOAD");
  if (is_load) {
    if (!parameter_count_fits(unit.parameters, 2)) return toutcome::done;
    const auto rp = parse_numeric(unit.parameters[0], "OHM").value;
    const auto cp = unit.parameters.size() == 2 ? parse_number(unit.parameters[1]) : std::optional<double>(0.0);
    if (!rp || !cp || !(*rp > 0.0) || *cp < 0.0) {
      add_error(terror_code::data_out_of_range, "a resistance above 0 ohm, a capacitance of 0 fF or more");
      return toutcome::done;
    }
    rp_ohm = *rp;
    cp_ff = *cp;
  }
  if (!waiting_) {
    waiting_ = true;
    wait_started_ = now;
    // The part for the correction was connected just now: measure anew.
    instrument_.request_settling();
  }
  if (!instrument_.reading_ready()) {
    if (!instrument_.streaming()) {
      add_error(terror_code::execution_error, "no signal from the sound input");
      return toutcome::done;
    }
    return waited_too_long(now) ? toutcome::done : toutcome::wait;
  }
  const tcorrection step = matches("CORRection:OPEN")    ? tcorrection::open
                           : matches("CORRection:SHORt") ? tcorrection::short_circuit
                                                         : tcorrection::load;
  const std::string failure = instrument_.correct(step, rp_ohm, cp_ff);
  if (!failure.empty()) add_error(terror_code::execution_error, failure);
  return toutcome::done;
}

std::string tscpi_session::reading_reply(const treading& reading, tfigure figure) const
{
  switch (figure) {
    case tfigure::deviation: return numbers_text({reading.first_deviation, reading.second_deviation});
    case tfigure::uncertainty: return numbers_text({reading.first_uncertainty, reading.second_uncertainty});
    case tfigure::value: break;
  }
  return numbers_text({reading.first, reading.second, static_cast<double>(reading_status(reading))});
}

std::string tscpi_session::result_reply(tfigure figure) const
{
  std::string text;
  for (const tsweep_point& point : result_->points) {
    if (!text.empty()) text += ",";
    text += reading_reply(point.reading, figure);
    // A list point's comparison: 0, the list has no limits.
    if (result_->list && figure == tfigure::value) text += ",0";
  }
  return text;
}

}  // namespace scpi
