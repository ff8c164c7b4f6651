// SPDX-License-Identifier: GPL-3.0-or-later
// The setting commands: the instrument's settings, shared by all clients
// and refused while a sweep runs, and this client's trigger system, list
// and formats.

#include "benchtop_functions.h"
#include "scpi_replies.h"
#include "scpi_session.h"

#include "engine/core/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace scpi {

namespace {

constexpr double level_scale = 1.0 / 10000.0;  // tone_level per volt: full scale reads as 1 V

constexpr tnumeric_range frequency_range{100.0, 20000.0, 1000.0};
constexpr tnumeric_range level_range{0.01, 1.0, 0.1};
constexpr tnumeric_range reference_range{10.0, 1e6, 10.0};

constexpr const char* frequencies_text = "100,200,500,1000,2000,5000,10000,20000";
constexpr const char* references_text = "10,100,1000,10000,100000,1000000";

// The item of a table that a value names exactly (to 1 ppm), or −1.
template <typename Table>
int item_of(const Table& table, double value, double scale = 1.0)
{
  for (std::size_t i = 0; i < table.size(); ++i) {
    const double item = static_cast<double>(table[i]) * scale;
    if (std::fabs(value - item) <= 1e-6 * item) return static_cast<int>(i);
  }
  return -1;
}

// The item nearest to a positive value on a logarithmic scale, as levels
// and averaging counts step.
template <typename Table>
int nearest_item(const Table& table, double value, double scale = 1.0)
{
  int nearest = 0;
  for (std::size_t i = 1; i < table.size(); ++i) {
    const auto distance = [&](std::size_t item) {
      return std::fabs(std::log(value / (static_cast<double>(table[item]) * scale)));
    };
    if (distance(i) <= distance(static_cast<std::size_t>(nearest))) nearest = static_cast<int>(i);
  }
  return nearest;
}

// A keyword in its long or short form ("MEDium": MED or MEDIUM).
bool is_keyword(std::string_view text, std::string_view pattern)
{
  return header_matches(pattern, {upper(text)});
}

// "SHOR", "MED", "LONG" for FT factors 1, 4, 16.
constexpr std::array<const char*, 3> aperture_names{"SHOR", "MED", "LONG"};

int aperture_of_name(std::string_view text)
{
  constexpr std::array<const char*, 3> patterns{"SHORt", "MEDium", "LONG"};
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (is_keyword(text, patterns[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

tscpi_session::toutcome tscpi_session::execute_setting(const tprogram_unit& unit, std::string& replies)
{
  if (!execute_instrument_setting(unit, replies) && !execute_trigger_setting(unit, replies) &&
      !execute_correction_state(unit, replies)) {
    add_error(terror_code::undefined_header);
  }
  return toutcome::done;
}

std::optional<double> tscpi_session::numeric_parameter(const std::vector<std::string>& parameters,
                                                       std::string_view unit, const tnumeric_range& range)
{
  if (!parameter_count_fits(parameters, 1)) return std::nullopt;
  const tnumeric number = parse_numeric(parameters[0], unit, &range);
  if (!number.value) {
    add_error(number.error, number.error == terror_code::invalid_suffix ? "the unit is " + std::string(unit)
                                                                         : std::string("not a number"));
  }
  return number.value;
}

bool tscpi_session::execute_instrument_setting(const tprogram_unit& unit, std::string& replies)
{
  const auto& parameters = unit.parameters;
  const auto matches = [&](const char* pattern) { return header_matches(pattern, unit.mnemonics); };
  const bool known = matches("FREQuency[:CW]") || matches("FUNCtion:IMPedance[:TYPE]") || matches("VOLTage[:LEVel]") ||
                     matches("APERture") || matches("RREFerence") || matches("FUNCtion:IMPedance:RANGe") ||
                     matches("RREFerence:AUTO") || matches("FUNCtion:IMPedance:RANGe:AUTO");
  if (!known) return false;
  if (unit.query && !parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return true;
  }
  if (!unit.query && !settings_free()) return true;
  const tinstrument_state state = instrument_.state();
  const auto out_of_range = [&](std::string_view allowed) { add_error(terror_code::data_out_of_range, allowed); };
  const auto applied = [&] { settings_changed(); };

  if (matches("FREQuency[:CW]")) {
    if (unit.query) {
      replies += number_text(lcr::test_frequencies[static_cast<std::size_t>(state.freq_index)]) + "\n";
    } else if (const auto hz = numeric_parameter(parameters, "HZ", frequency_range)) {
      const int index = item_of(lcr::test_frequencies, *hz);
      index >= 0 ? (instrument_.set_frequency_index(index), applied()) : out_of_range(frequencies_text);
    }
  } else if (matches("FUNCtion:IMPedance[:TYPE]")) {
    if (unit.query) {
      replies += std::string(benchtop_function(state.function).name) + "\n";
    } else if (parameter_count_fits(parameters, 1)) {
      const int function = function_index(parameters[0]);
      function >= 0 ? (instrument_.set_function(function), applied()) : out_of_range(function_names());
    }
  } else if (matches("VOLTage[:LEVel]")) {
    if (unit.query) {
      replies += number_text(lcr::level_table[static_cast<std::size_t>(state.level_index)] * level_scale) + "\n";
    } else if (const auto volts = numeric_parameter(parameters, "V", level_range)) {
      // The card's full scale is what it is: the nearest level it offers.
      *volts > 0.0 ? (instrument_.set_level_index(nearest_item(lcr::level_table, *volts, level_scale)), applied())
                   : out_of_range("a level above 0 V; 0.01,0.02,0.05,0.1,0.2,0.5,1 (1 V is full scale)");
    }
  } else if (matches("APERture")) {
    if (unit.query) {
      replies += std::string(aperture_names[static_cast<std::size_t>(state.ft_index)]) + "," +
                 std::to_string(lcr::avg_count_items[static_cast<std::size_t>(state.avg_index)]) + "\n";
    } else if (parameter_count_fits(parameters, 2)) {
      // SHORt|MEDium|LONG with a count rounded to what "Mittelwert" offers,
      // or this meter's own FT factor and count; without a count,
      // "Mittelwert" stays.
      const int named = aperture_of_name(parameters[0]);
      const auto ft = parse_number(parameters[0]);
      const int ft_index = named >= 0 ? named : ft ? item_of(lcr::ft_factor_items, *ft) : -1;
      int avg_index = state.avg_index;
      if (parameters.size() == 2) {
        const auto count = parse_number(parameters[1]);
        const bool counted = count && *count >= 1.0 && *count <= 256.0;
        avg_index = !counted ? -1 : named >= 0 ? nearest_item(lcr::avg_count_items, *count)
                                               : item_of(lcr::avg_count_items, *count);
      }
      ft_index >= 0 && avg_index >= 0 ? (instrument_.set_aperture(ft_index, avg_index), applied())
                                      : out_of_range("SHORt|MEDium|LONG[,1…256] or 1|4|16[,1|4|16]");
    }
  } else if (matches("RREFerence") || matches("FUNCtion:IMPedance:RANGe")) {
    if (unit.query) {
      replies += number_text(lcr::ref_resistors[static_cast<std::size_t>(state.ref_index)]) + "\n";
    } else if (const auto ohm = numeric_parameter(parameters, "OHM", reference_range)) {
      const int index = item_of(lcr::ref_resistors, *ohm);
      index >= 0 ? (instrument_.set_ref_index(index), applied()) : out_of_range(references_text);
    }
  } else if (unit.query) {  // the automatic reference
    replies += state.auto_ref ? "1\n" : "0\n";
  } else if (parameter_count_fits(parameters, 1)) {
    if (const auto on = parse_boolean(parameters[0])) {
      const std::string failure = instrument_.set_auto_ref(*on);
      failure.empty() ? applied() : add_error(terror_code::settings_conflict, failure);
    } else {
      out_of_range("ON,OFF");
    }
  }
  return true;
}

bool tscpi_session::execute_trigger_setting(const tprogram_unit& unit, std::string& replies)
{
  const auto& parameters = unit.parameters;
  const auto matches = [&](const char* pattern) { return header_matches(pattern, unit.mnemonics); };
  const bool query_only = matches("STATus:OPERation[:EVENt]") || matches("STATus:OPERation:CONDition");
  const bool command_only = matches("INITiate[:IMMediate]") || matches("LIST:CLEar:ALL");
  const bool known = query_only || command_only || matches("TRIGger:SOURce") || matches("INITiate:CONTinuous") ||
                     matches("LIST:FREQuency") || matches("LIST:MODE") || matches("FORMat[:DATA]") ||
                     matches("DISPlay:PAGE");
  if (!known) return false;
  if ((query_only && !unit.query) || (command_only && unit.query)) {
    add_error(terror_code::undefined_header, query_only ? "a query only" : "a command only");
    return true;
  }
  if ((unit.query || command_only) && !parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return true;
  }
  const auto out_of_range = [&](std::string_view allowed) { add_error(terror_code::data_out_of_range, allowed); };
  // The running list sweep counts its points against the list.
  const bool changes_list = matches("LIST:FREQuency") || matches("LIST:MODE") || matches("LIST:CLEar:ALL");
  if (changes_list && !unit.query && !settings_free()) return true;

  if (matches("STATus:OPERation[:EVENt]")) {
    replies += std::to_string(operation_event_) + "\n";
    operation_event_ = 0;
  } else if (matches("STATus:OPERation:CONDition")) {
    replies += std::to_string(operation_condition_) + "\n";
  } else if (matches("INITiate[:IMMediate]")) {
    // The trigger system always waits for a trigger: nothing to arm.
  } else if (matches("LIST:CLEar:ALL")) {
    list_.clear();
    step_point_ = 0;
    settings_changed();
  } else if (matches("TRIGger:SOURce")) {
    constexpr std::array<const char*, 3> names{"INT", "BUS", "HOLD"};
    if (unit.query) {
      replies += std::string(names[static_cast<std::size_t>(trigger_source_)]) + "\n";
    } else if (parameter_count_fits(parameters, 1)) {
      const std::string& source = parameters[0];
      if (is_keyword(source, "INTernal")) {
        trigger_source_ = ttrigger_source::internal;
      } else if (is_keyword(source, "BUS")) {
        trigger_source_ = ttrigger_source::bus;
      } else if (is_keyword(source, "HOLD")) {
        trigger_source_ = ttrigger_source::hold;
      } else if (is_keyword(source, "EXTernal")) {
        add_error(terror_code::settings_conflict, "there is no trigger input; INTernal, BUS or HOLD");
      } else {
        out_of_range("INTernal,BUS,HOLD");
      }
    }
  } else if (matches("INITiate:CONTinuous")) {
    if (unit.query) {
      replies += continuous_ ? "1\n" : "0\n";
    } else if (parameter_count_fits(parameters, 1)) {
      const auto on = parse_boolean(parameters[0]);
      on ? void(continuous_ = *on) : out_of_range("ON,OFF");
    }
  } else if (matches("LIST:FREQuency")) {
    if (unit.query) {
      std::string text;
      for (const int f : list_) text += (text.empty() ? "" : ",") + number_text(lcr::test_frequencies[static_cast<std::size_t>(f)]);
      replies += text + "\n";
    } else if (parameters.empty()) {
      add_error(terror_code::missing_parameter);
    } else if (parameters.size() > list_capacity) {
      out_of_range("up to 201 points");
    } else {
      std::vector<int> list;
      for (const std::string& parameter : parameters) {
        const tnumeric hz = parse_numeric(parameter, "HZ", &frequency_range);
        const int index = hz.value ? item_of(lcr::test_frequencies, *hz.value) : -1;
        if (index < 0) {
          add_error(hz.error == terror_code::invalid_suffix ? hz.error : terror_code::data_out_of_range,
                    "'" + parameter + "'; the list takes " + frequencies_text);
          return true;
        }
        list.push_back(index);
      }
      list_ = std::move(list);
      step_point_ = 0;
      settings_changed();
    }
  } else if (matches("LIST:MODE")) {
    if (unit.query) {
      replies += list_mode_ == tlist_mode::sequence ? "SEQ\n" : "STEP\n";
    } else if (parameter_count_fits(parameters, 1)) {
      const bool sequence = is_keyword(parameters[0], "SEQuence");
      if (sequence || is_keyword(parameters[0], "STEP")) {
        list_mode_ = sequence ? tlist_mode::sequence : tlist_mode::step;
        step_point_ = 0;
        settings_changed();
      } else {
        out_of_range("SEQuence,STEP");
      }
    }
  } else if (matches("FORMat[:DATA]")) {
    if (unit.query) {
      replies += "ASC\n";
    } else if (parameter_count_fits(parameters, 2)) {
      if (is_keyword(parameters[0], "REAL")) {
        add_error(terror_code::settings_conflict, "answers are ASCii only");
      } else if (!is_keyword(parameters[0], "ASCii")) {
        out_of_range("ASCii");
      }
    }
  } else if (unit.query) {  // the display page
    replies += display_page_ + "\n";
  } else if (parameter_count_fits(parameters, 1)) {
    // The window keeps its own pages; a script's choice is only remembered.
    display_page_ = upper(parameters[0]);
  }
  return true;
}

bool tscpi_session::execute_correction_state(const tprogram_unit& unit, std::string& replies)
{
  const auto matches = [&](const char* pattern) { return header_matches(pattern, unit.mnemonics); };
  const bool clear = matches("CORRection:CLEar");
  std::optional<tcorrection> table;
  if (matches("CORRection:OPEN:STATe")) table = tcorrection::open;
  if (matches("CORRection:SHORt:STATe")) table = tcorrection::short_circuit;
  if (matches("CORRection:LOAD:STATe")) table = tcorrection::load;
  if (!clear && !table) return false;
  if (clear && unit.query) {
    add_error(terror_code::undefined_header, "a command only");
    return true;
  }
  if ((unit.query || clear) && !unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return true;
  }
  if (unit.query) {
    replies += instrument_.correction_state(*table) ? "1\n" : "0\n";
    return true;
  }
  if (!settings_free()) return true;
  if (clear) {
    instrument_.clear_corrections();
  } else if (parameter_count_fits(unit.parameters, 1)) {
    const auto on = parse_boolean(unit.parameters[0]);
    if (!on) {
      add_error(terror_code::data_out_of_range, "ON,OFF");
      return true;
    }
    instrument_.set_correction_state(*table, *on);
  }
  settings_changed();
  return true;
}

}  // namespace scpi
