#pragma once

// One client's conversation with the meter: its queued program units, its
// error queue and event status register, and the execution of the
// commands against the instrument. A query that needs a settled reading
// (or a whole sweep) waits without blocking: `run` stops at it and goes on
// at a later call. Settings are the instrument's, shared by all clients;
// errors and status are each client's own.

#include "instrument.h"
#include "scpi_parser.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scpi {

inline constexpr std::size_t error_queue_capacity = 16;
// A reading that has not come by then is an execution error, not a wait
// for ever (a device that stopped, a reference that never settles).
inline constexpr std::chrono::seconds longest_wait{30};

// What a fetch answers about the reading.
enum class tfigure { value, deviation, uncertainty };

class tscpi_session {
public:
  explicit tscpi_session(tinstrument& instrument) : instrument_(instrument) {}

  // A line as received, without its line end.
  void receive_line(std::string_view line);
  // A line that was too long to be read: one syntax error for it.
  void receive_overlong_line();

  // Executes the queued units until one has to wait; the replies, one line
  // each.
  std::string run(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

  // Units are queued or one waits: the server reads no further line.
  bool busy() const { return !pending_.empty(); }

  std::size_t error_count() const { return errors_.size(); }

private:
  enum class toutcome { done, wait };

  toutcome execute(const tprogram_unit& unit, std::string& replies, std::chrono::steady_clock::time_point now);
  toutcome execute_common(const tprogram_unit& unit, std::string& replies);
  toutcome execute_setting(const tprogram_unit& unit, std::string& replies);
  toutcome execute_measurement(const tprogram_unit& unit, std::string& replies,
                               std::chrono::steady_clock::time_point now);
  // One to `most` parameters; else the error that says which is wrong.
  // The reading's two values and its status, its deviations or its
  // uncertainties.
  std::string fetch_reply(tfigure figure) const;
  bool parameter_count_fits(const std::vector<std::string>& parameters, std::size_t most);
  bool waited_too_long(std::chrono::steady_clock::time_point now);
  void add_error(terror_code code, std::string_view detail = {});
  std::string next_error();

  tinstrument& instrument_;
  std::deque<tparsed_unit> pending_;
  std::deque<std::pair<int, std::string>> errors_;
  int event_status_ = 0;
  bool waiting_ = false;  // the head unit has started waiting
  std::chrono::steady_clock::time_point wait_started_;
};

// The benchtop name of a mode (ZTD, CSRS, …) and back; −1 for none.
const char* function_name(int meas_mode);
int meas_mode_of_function(std::string_view name);

}  // namespace scpi
