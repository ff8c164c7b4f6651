// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One client's conversation with the meter: its queued program units, its
// error queue, event and operation status registers, its trigger system and
// frequency list, and the execution of the commands against the
// instrument. A query that needs a settled reading (or a whole sweep) waits
// without blocking: `run` stops at it and goes on at a later call.
// Settings are the instrument's, shared by all clients; errors, status,
// triggering and lists are each client's own.

#include "instrument.h"
#include "scpi_parser.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scpi {

inline constexpr std::size_t error_queue_capacity = 16;
// A reading that has not come by then is an execution error, not a wait
// for ever (a device that stopped, a reference that never settles).
inline constexpr std::chrono::seconds longest_wait{30};
// As many points as a benchtop meter's list holds.
inline constexpr std::size_t list_capacity = 201;

// Operation status bit: the list sweep is complete.
inline constexpr int operation_list_complete = 1 << 3;

// What a fetch answers about the reading.
enum class tfigure { value, deviation, uncertainty };

enum class ttrigger_source { internal, bus, hold };
enum class tlist_mode { sequence, step };

class tscpi_session {
public:
  explicit tscpi_session(tinstrument& instrument) : instrument_(instrument) {}
  // A sweep this client started and can no longer collect is ended, so that
  // the others may change settings again.
  ~tscpi_session();
  tscpi_session(const tscpi_session&) = delete;
  tscpi_session& operator=(const tscpi_session&) = delete;

  // A line as received, without its line end.
  void receive_line(std::string_view line);
  // A line that was too long to be read: one syntax error for it.
  void receive_overlong_line();

  // Executes the queued units until one has to wait, and steps a triggered
  // measurement; the replies, one line each.
  std::string run(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

  // Units are queued or one waits: the server reads no further line.
  bool busy() const { return !pending_.empty(); }
  // A triggered measurement runs.
  bool measuring() const { return measuring_ != tmeasuring::none; }
  // The instrument's sweep is this client's (it ends with the session).
  bool owns_sweep() const { return owns_sweep_; }

  std::size_t error_count() const { return errors_.size(); }

private:
  enum class toutcome { done, wait };
  enum class tmeasuring { none, reading, list };

  // What the last trigger measured: one reading, or the list's points.
  struct tresult {
    bool list = false;
    std::vector<tsweep_point> points;
  };

  toutcome execute(const tprogram_unit& unit, std::string& replies, std::chrono::steady_clock::time_point now);
  toutcome execute_common(const tprogram_unit& unit, std::string& replies, std::chrono::steady_clock::time_point now);
  void execute_system(const tprogram_unit& unit, std::string& replies);

  // Settings of the instrument and of this client's trigger system.
  toutcome execute_setting(const tprogram_unit& unit, std::string& replies);
  bool execute_instrument_setting(const tprogram_unit& unit, std::string& replies);
  bool execute_trigger_setting(const tprogram_unit& unit, std::string& replies);
  bool execute_correction_state(const tprogram_unit& unit, std::string& replies);
  // A number for a setting, with its unit and range; else the error.
  std::optional<double> numeric_parameter(const std::vector<std::string>& parameters, std::string_view unit,
                                          const tnumeric_range& range);
  // The instrument's settings may change (no sweep runs); else the error.
  bool settings_free();

  // Triggers, fetches, sweeps and calibration steps: the commands that wait.
  toutcome execute_measurement(const tprogram_unit& unit, std::string& replies,
                               std::chrono::steady_clock::time_point now);
  toutcome execute_fetch(tfigure figure, std::string& replies, std::chrono::steady_clock::time_point now);
  toutcome execute_sweep(std::string& replies);
  toutcome execute_correction(const tprogram_unit& unit, std::chrono::steady_clock::time_point now);
  // Starts what a trigger measures; false (with the error) when it cannot.
  bool trigger();
  // Steps the triggered measurement and collects it when it is done.
  void advance_measurement(std::chrono::steady_clock::time_point now);
  // Whether the triggered measurement still runs, once stepped.
  bool still_measuring(std::chrono::steady_clock::time_point now)
  {
    advance_measurement(now);
    return measuring();
  }
  std::string result_reply(tfigure figure) const;
  std::string reading_reply(const treading& reading, tfigure figure) const;

  // One to `most` parameters; else the error that says which is wrong.
  bool parameter_count_fits(const std::vector<std::string>& parameters, std::size_t most);
  bool waited_too_long(std::chrono::steady_clock::time_point now);
  void add_error(terror_code code, std::string_view detail = {});
  std::string next_error();
  // Forgets what was triggered: it no longer matches the settings.
  void settings_changed() { result_.reset(); }

  tinstrument& instrument_;
  std::deque<tparsed_unit> pending_;
  std::deque<std::pair<int, std::string>> errors_;
  int event_status_ = 0;
  bool waiting_ = false;  // the head unit has started waiting
  std::chrono::steady_clock::time_point wait_started_;

  ttrigger_source trigger_source_ = ttrigger_source::internal;
  bool continuous_ = true;
  std::vector<int> list_;  // frequency indices; empty: a trigger takes one reading
  tlist_mode list_mode_ = tlist_mode::sequence;
  std::size_t step_point_ = 0;  // the point the next trigger measures in STEP mode
  std::string display_page_ = "MEAS";

  tmeasuring measuring_ = tmeasuring::none;
  std::chrono::steady_clock::time_point measuring_since_;
  bool owns_sweep_ = false;  // the instrument's sweep is this client's
  std::optional<tresult> result_;
  int operation_event_ = 0;
  int operation_condition_ = 0;
};

// Whether a header is one this meter knows (without its parameters).
bool is_known_header(const std::vector<std::string>& mnemonics);

}  // namespace scpi
