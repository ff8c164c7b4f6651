// SPDX-License-Identifier: GPL-3.0-or-later
#include "scpi_session.h"

#include "scpi_replies.h"

#include "quarvel/version.h"

#include <algorithm>
#include <array>

namespace scpi {

namespace {

// Event status register bits.
constexpr int esr_operation_complete = 1 << 0;
constexpr int esr_query_error = 1 << 2;
constexpr int esr_device_error = 1 << 3;
constexpr int esr_execution_error = 1 << 4;
constexpr int esr_command_error = 1 << 5;

// Every header besides the common commands, for a relative header that
// only makes sense from the root.
constexpr std::array known_headers{
    "SYSTem:ERRor[:NEXT]", "SYSTem:ERRor:ALL", "SYSTem:ERRor:COUNt",
    "FETCh[:IMPedance][:FORMatted]", "FETCh:DEViation", "FETCh:UNCertainty", "SWEep",
    "CORRection:OPEN", "CORRection:SHORt", "CORRection:LOAD", "CORRection:SAVE", "CORRection:CLEar",
    "CORRection:OPEN:STATe", "CORRection:SHORt:STATe", "CORRection:LOAD:STATe",
    "FREQuency[:CW]", "FUNCtion:IMPedance[:TYPE]", "FUNCtion:IMPedance:RANGe", "FUNCtion:IMPedance:RANGe:AUTO",
    "VOLTage[:LEVel]", "APERture", "RREFerence", "RREFerence:AUTO",
    "TRIGger:SOURce", "TRIGger[:IMMediate]", "INITiate[:IMMediate]", "INITiate:CONTinuous",
    "LIST:FREQuency", "LIST:MODE", "LIST:CLEar:ALL", "STATus:OPERation[:EVENt]", "STATus:OPERation:CONDition",
    "FORMat[:DATA]", "DISPlay:PAGE",
};

}  // namespace

bool is_known_header(const std::vector<std::string>& mnemonics)
{
  return std::any_of(known_headers.begin(), known_headers.end(),
                     [&](const char* pattern) { return header_matches(pattern, mnemonics); });
}

tscpi_session::~tscpi_session()
{
  if (owns_sweep_) instrument_.cancel_sweep();
}

void tscpi_session::receive_line(std::string_view line)
{
  for (tparsed_unit& parsed : parse_line(line)) {
    // Lab scripts often write "FUNC:IMP CPD;FREQ 1000" meaning FREQ from
    // the root: where the continued path names nothing, the root does.
    if (parsed.unit && parsed.unit->inherited > 0 && !is_known_header(parsed.unit->mnemonics)) {
      std::vector<std::string> from_root(parsed.unit->mnemonics.begin() + static_cast<std::ptrdiff_t>(parsed.unit->inherited),
                                         parsed.unit->mnemonics.end());
      if (is_known_header(from_root)) {
        parsed.unit->mnemonics = std::move(from_root);
        parsed.unit->inherited = 0;
      }
    }
    pending_.push_back(std::move(parsed));
  }
}

void tscpi_session::receive_overlong_line()
{
  pending_.push_back({std::nullopt, terror_code::syntax_error});
}

std::string tscpi_session::run(std::chrono::steady_clock::time_point now)
{
  std::string replies;
  advance_measurement(now);
  while (!pending_.empty()) {
    const tparsed_unit& head = pending_.front();
    if (!head.unit) {
      add_error(head.error);
    } else if (execute(*head.unit, replies, now) == toutcome::wait) {
      break;
    }
    pending_.pop_front();
    waiting_ = false;
  }
  return replies;
}

tscpi_session::toutcome tscpi_session::execute(const tprogram_unit& unit, std::string& replies,
                                               std::chrono::steady_clock::time_point now)
{
  if (unit.mnemonics.front().front() == '*') return execute_common(unit, replies, now);
  for (const char* pattern : {"SYSTem:ERRor[:NEXT]", "SYSTem:ERRor:ALL", "SYSTem:ERRor:COUNt"}) {
    if (header_matches(pattern, unit.mnemonics)) {
      execute_system(unit, replies);
      return toutcome::done;
    }
  }
  for (const char* pattern : {"FETCh[:IMPedance][:FORMatted]", "FETCh:DEViation", "FETCh:UNCertainty", "SWEep",
                              "TRIGger[:IMMediate]", "CORRection:OPEN", "CORRection:SHORt", "CORRection:LOAD",
                              "CORRection:SAVE"}) {
    if (header_matches(pattern, unit.mnemonics)) return execute_measurement(unit, replies, now);
  }
  return execute_setting(unit, replies);
}

void tscpi_session::execute_system(const tprogram_unit& unit, std::string& replies)
{
  if (!unit.query) {
    add_error(terror_code::undefined_header, "a query only");
    return;
  }
  if (!unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return;
  }
  if (header_matches("SYSTem:ERRor:COUNt", unit.mnemonics)) {
    replies += std::to_string(errors_.size()) + "\n";
  } else if (header_matches("SYSTem:ERRor:ALL", unit.mnemonics)) {
    std::string all = next_error();
    while (!errors_.empty()) all += "," + next_error();
    replies += all + "\n";
  } else {
    replies += next_error() + "\n";
  }
}

tscpi_session::toutcome tscpi_session::execute_common(const tprogram_unit& unit, std::string& replies,
                                                      std::chrono::steady_clock::time_point now)
{
  const std::string& name = unit.mnemonics.front();
  constexpr std::array queries{"*IDN", "*OPC", "*ESR", "*STB", "*TRG", "*TST", "*OPT"};
  constexpr std::array commands{"*RST", "*CLS", "*OPC", "*WAI", "*TRG"};
  const auto known_in = [&](const auto& names) { return std::find(names.begin(), names.end(), name) != names.end(); };
  // *TRG is a command that answers, with or without the '?'.
  if (unit.query ? !known_in(queries) : !known_in(commands)) {
    add_error(terror_code::undefined_header);
    return toutcome::done;
  }
  if (!unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return toutcome::done;
  }
  if (name == "*IDN") {
    replies += std::string("Quarvel,Quarvel LCR meter,0,") + quarvel::version_text + "\n";
  } else if (name == "*OPC" || name == "*WAI") {
    // Every earlier command has completed but a sweep, which runs on.
    if (still_measuring(now) || instrument_.sweep_active()) return toutcome::wait;
    if (name == "*OPC" && unit.query) replies += "1\n";
    if (name == "*OPC" && !unit.query) event_status_ |= esr_operation_complete;
  } else if (name == "*ESR") {
    replies += std::to_string(event_status_) + "\n";
    event_status_ = 0;
  } else if (name == "*STB") {
    const int status = (errors_.empty() ? 0 : 1 << 2) | (event_status_ != 0 ? 1 << 5 : 0) |
                       (operation_event_ != 0 ? 1 << 7 : 0);
    replies += std::to_string(status) + "\n";
  } else if (name == "*TST") {
    replies += instrument_.streaming() ? "0\n" : "1\n";
  } else if (name == "*OPT") {
    replies += "0\n";
  } else if (name == "*TRG") {
    if (!waiting_) {
      waiting_ = true;
      wait_started_ = now;
      if (!trigger()) return toutcome::done;
    }
    if (still_measuring(now)) return toutcome::wait;
    if (result_) replies += result_reply(tfigure::value) + "\n";
  } else if (name == "*RST") {
    if (!settings_free()) return toutcome::done;
    instrument_.reset();
    trigger_source_ = ttrigger_source::internal;
    continuous_ = true;
    list_.clear();
    list_mode_ = tlist_mode::sequence;
    step_point_ = 0;
    display_page_ = "MEAS";
    settings_changed();
  } else if (name == "*CLS") {
    errors_.clear();
    event_status_ = 0;
    operation_event_ = 0;
  }
  return toutcome::done;
}

bool tscpi_session::parameter_count_fits(const std::vector<std::string>& parameters, std::size_t most)
{
  if (!parameters.empty() && parameters.size() <= most) return true;
  add_error(parameters.empty() ? terror_code::missing_parameter : terror_code::parameter_not_allowed);
  return false;
}

bool tscpi_session::waited_too_long(std::chrono::steady_clock::time_point now)
{
  if (now - wait_started_ < longest_wait) return false;
  add_error(terror_code::execution_error, "no settled reading in time");
  return true;
}

bool tscpi_session::settings_free()
{
  if (!instrument_.sweep_active()) return true;
  add_error(terror_code::settings_conflict, "a sweep is running; settings can change when it has ended");
  return false;
}

void tscpi_session::add_error(terror_code code, std::string_view detail)
{
  const int number = static_cast<int>(code);
  if (number <= -100 && number > -200) event_status_ |= esr_command_error;
  if (number <= -200 && number > -300) event_status_ |= esr_execution_error;
  if (number <= -300 && number > -400) event_status_ |= esr_device_error;
  if (number <= -400) event_status_ |= esr_query_error;
  std::string text = error_text(code);
  if (!detail.empty()) text += ";" + std::string(detail);
  std::replace(text.begin(), text.end(), '"', '\'');  // the reply quotes it
  if (errors_.size() + 1 >= error_queue_capacity) {
    // The last place tells that errors were lost.
    if (errors_.size() + 1 == error_queue_capacity) {
      errors_.emplace_back(static_cast<int>(terror_code::queue_overflow), error_text(terror_code::queue_overflow));
    }
    return;
  }
  errors_.emplace_back(number, std::move(text));
}

std::string tscpi_session::next_error()
{
  if (errors_.empty()) return "0,\"No error\"";
  auto [number, text] = std::move(errors_.front());
  errors_.pop_front();
  return std::to_string(number) + ",\"" + text + "\"";
}

}  // namespace scpi
