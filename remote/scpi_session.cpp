#include "scpi_session.h"

#include "engine/settings.h"
#include "quarvel/version.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace scpi {

namespace {

// Event status register bits.
constexpr int esr_operation_complete = 1 << 0;
constexpr int esr_query_error = 1 << 2;
constexpr int esr_device_error = 1 << 3;
constexpr int esr_execution_error = 1 << 4;
constexpr int esr_command_error = 1 << 5;

// The benchtop function names. Where a benchtop meter names the pair in
// the other order (Cs-Rs for our Rs/Cs), its `:FETCh?` answers in that
// order, so that scripts written for one read the right numbers.
struct tfunction {
  const char* name;
  int meas_mode;
  bool swapped;  // answer second quantity first
};
constexpr std::array<tfunction, 14> functions{{
    {"ZTD", 0, false},  {"YTD", 1, false},  {"RX", 2, false},   {"RPXP", 3, false}, {"GSBS", 4, false},
    {"GB", 5, false},   {"CSRS", 6, true},  {"CPRP", 7, true},  {"LSRS", 8, true},  {"LPRP", 9, true},
    {"QC", 10, false},  {"CSD", 11, true},  {"LSQ", 12, true},  {"DL", 13, false},
}};

const tfunction* function_of_mode(int meas_mode)
{
  for (const tfunction& function : functions) {
    if (function.meas_mode == meas_mode) return &function;
  }
  return nullptr;
}

// Shortest text that reads back to the same double, whatever the locale;
// whole numbers as integers ("100000", not "1e+05").
std::string number_text(double value)
{
  if (std::fabs(value) < 1e15 && value == std::floor(value)) return std::to_string(static_cast<long long>(value));
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string numbers_text(std::initializer_list<double> values)
{
  std::string text;
  for (const double value : values) text += (text.empty() ? "" : ",") + number_text(value);
  return text;
}

// Status of a reading: 0 normal, 1 weak signal, 2 near full scale, 3 clipped;
// −1 no settled reading (still settling after a change or a dropout).
int reading_status(const treading& reading)
{
  if (reading.unsettled) return -1;
  switch (reading.signal_state) {
    case 1:
    case 2: return 1;
    case 3: return 2;
    case 4: return 3;
    default: return 0;
  }
}

// What SCPI answers for a number that is not known.
constexpr double not_a_number = 9.91e37;

double known(double value)
{
  return std::isfinite(value) ? value : not_a_number;
}

std::pair<double, double> ordered(const treading& reading, int meas_mode, tfigure figure)
{
  const tfunction* function = function_of_mode(meas_mode);
  const bool swapped = function != nullptr && function->swapped;
  double a = reading.first;
  double b = reading.second;
  if (figure == tfigure::deviation) {
    a = reading.first_deviation;
    b = reading.second_deviation;
  } else if (figure == tfigure::uncertainty) {
    a = known(reading.first_uncertainty);
    b = known(reading.second_uncertainty);
  }
  return swapped ? std::pair{b, a} : std::pair{a, b};
}

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

constexpr double level_scale = 1.0 / 10000.0;  // tone_level per fraction of full scale

}  // namespace

const char* function_name(int meas_mode)
{
  const tfunction* function = function_of_mode(meas_mode);
  return function != nullptr ? function->name : "";
}

int meas_mode_of_function(std::string_view name)
{
  std::string word(name);
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (const tfunction& function : functions) {
    if (word == function.name) return function.meas_mode;
  }
  return -1;
}

void tscpi_session::receive_line(std::string_view line)
{
  for (tparsed_unit& unit : parse_line(line)) pending_.push_back(std::move(unit));
}

void tscpi_session::receive_overlong_line()
{
  pending_.push_back({std::nullopt, terror_code::syntax_error});
}

std::string tscpi_session::run(std::chrono::steady_clock::time_point now)
{
  std::string replies;
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
  if (unit.mnemonics.front().front() == '*') return execute_common(unit, replies);
  if (header_matches("SYSTem:ERRor[:NEXT]", unit.mnemonics)) {
    if (!unit.query) {
      add_error(terror_code::undefined_header);
    } else {
      replies += next_error() + "\n";
    }
    return toutcome::done;
  }
  for (const char* pattern : {"FETCh[:IMPedance][:FORMatted]", "FETCh:DEViation", "FETCh:UNCertainty", "SWEep",
                              "CORRection:OPEN",
                              "CORRection:SHORt", "CORRection:LOAD", "CORRection:SAVE"}) {
    if (header_matches(pattern, unit.mnemonics)) return execute_measurement(unit, replies, now);
  }
  return execute_setting(unit, replies);
}

tscpi_session::toutcome tscpi_session::execute_common(const tprogram_unit& unit, std::string& replies)
{
  const std::string& name = unit.mnemonics.front();
  const bool known_query = name == "*IDN" || name == "*OPC" || name == "*ESR" || name == "*STB";
  const bool known_command = name == "*RST" || name == "*CLS" || name == "*OPC" || name == "*WAI";
  if (unit.query ? !known_query : !known_command) {
    add_error(terror_code::undefined_header);
    return toutcome::done;
  }
  if (!unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return toutcome::done;
  }
  if (name == "*IDN") {
    replies += std::string("Quarvel,Quarvel LCR meter,0,") + quarvel::version_text + "\n";
  } else if (name == "*OPC") {
    if (unit.query) {
      replies += "1\n";  // every earlier command has completed: they run in order
    } else {
      event_status_ |= esr_operation_complete;
    }
  } else if (name == "*ESR") {
    replies += std::to_string(event_status_) + "\n";
    event_status_ = 0;
  } else if (name == "*STB") {
    const int status = (errors_.empty() ? 0 : 1 << 2) | (event_status_ != 0 ? 1 << 5 : 0);
    replies += std::to_string(status) + "\n";
  } else if (name == "*RST") {
    instrument_.reset();
  } else if (name == "*CLS") {
    errors_.clear();
    event_status_ = 0;
  }
  return toutcome::done;
}

tscpi_session::toutcome tscpi_session::execute_setting(const tprogram_unit& unit, std::string& replies)
{
  const tinstrument_state state = instrument_.state();
  const auto& parameters = unit.parameters;
  const auto one_number = [&]() -> std::optional<double> {
    if (!parameter_count_fits(parameters, 1)) return std::nullopt;
    const auto value = parse_number(parameters[0]);
    if (!value) add_error(terror_code::data_out_of_range, "not a number");
    return value;
  };
  const auto query_without_parameters = [&] {
    if (parameters.empty()) return true;
    add_error(terror_code::parameter_not_allowed);
    return false;
  };
  const auto out_of_range = [&](const char* allowed) { add_error(terror_code::data_out_of_range, allowed); };

  if (header_matches("FREQuency[:CW]", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) {
        replies += number_text(lcr::test_frequencies[static_cast<std::size_t>(state.freq_index)]) + "\n";
      }
    } else if (const auto hz = one_number()) {
      const int index = item_of(lcr::test_frequencies, *hz);
      index >= 0 ? instrument_.set_frequency_index(index) : out_of_range("100,200,500,1000,2000,5000,10000,20000");
    }
  } else if (header_matches("FUNCtion:IMPedance[:TYPE]", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) replies += std::string(function_name(state.meas_mode)) + "\n";
    } else if (parameter_count_fits(parameters, 1)) {
      const int mode = meas_mode_of_function(parameters[0]);
      mode >= 0 ? instrument_.set_meas_mode(mode)
                : out_of_range("ZTD,YTD,RX,RPXP,GSBS,GB,CSRS,CPRP,LSRS,LPRP,QC,CSD,LSQ,DL");
    }
  } else if (header_matches("VOLTage[:LEVel]", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) {
        replies += number_text(lcr::level_table[static_cast<std::size_t>(state.level_index)] * level_scale) + "\n";
      }
    } else if (const auto fraction = one_number()) {
      const int index = item_of(lcr::level_table, *fraction, level_scale);
      index >= 0 ? instrument_.set_level_index(index) : out_of_range("0.01,0.02,0.05,0.1,0.2,0.5,1");
    }
  } else if (header_matches("APERture", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) {
        replies += std::to_string(lcr::ft_factor_items[static_cast<std::size_t>(state.ft_index)]) + "," +
                   std::to_string(lcr::avg_count_items[static_cast<std::size_t>(state.avg_index)]) + "\n";
      }
    } else if (parameter_count_fits(parameters, 2)) {
      // Without the second, "Mittelwert" stays.
      const auto ft = parse_number(parameters[0]);
      const auto avg = parameters.size() == 2 ? parse_number(parameters[1]) : std::nullopt;
      const int ft_index = ft ? item_of(lcr::ft_factor_items, *ft) : -1;
      const int avg_index = parameters.size() == 1 ? state.avg_index : avg ? item_of(lcr::avg_count_items, *avg) : -1;
      ft_index >= 0 && avg_index >= 0 ? instrument_.set_aperture(ft_index, avg_index) : out_of_range("1,4,16");
    }
  } else if (header_matches("RREFerence:AUTO", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) replies += state.auto_ref ? "1\n" : "0\n";
    } else if (parameter_count_fits(parameters, 1)) {
      if (const auto on = parse_boolean(parameters[0])) {
        const std::string failure = instrument_.set_auto_ref(*on);
        if (!failure.empty()) add_error(terror_code::execution_error, failure);
      } else {
        out_of_range("ON,OFF");
      }
    }
  } else if (header_matches("RREFerence", unit.mnemonics)) {
    if (unit.query) {
      if (query_without_parameters()) {
        replies += number_text(lcr::ref_resistors[static_cast<std::size_t>(state.ref_index)]) + "\n";
      }
    } else if (const auto ohm = one_number()) {
      const int index = item_of(lcr::ref_resistors, *ohm);
      index >= 0 ? instrument_.set_ref_index(index) : out_of_range("10,100,1000,10000,100000,1000000");
    }
  } else {
    add_error(terror_code::undefined_header);
  }
  return toutcome::done;
}

tscpi_session::toutcome tscpi_session::execute_measurement(const tprogram_unit& unit, std::string& replies,
                                                           std::chrono::steady_clock::time_point now)
{
  const tfigure figure = header_matches("FETCh:DEViation", unit.mnemonics)       ? tfigure::deviation
                         : header_matches("FETCh:UNCertainty", unit.mnemonics)   ? tfigure::uncertainty
                                                                                 : tfigure::value;
  const bool is_fetch = figure != tfigure::value || header_matches("FETCh[:IMPedance][:FORMatted]", unit.mnemonics);
  const bool is_sweep = header_matches("SWEep", unit.mnemonics);
  const bool is_save = header_matches("CORRection:SAVE", unit.mnemonics);
  const bool is_load = header_matches("CORRection:LOAD", unit.mnemonics);
  if ((is_fetch || is_sweep) != unit.query) {
    add_error(terror_code::undefined_header);
    return toutcome::done;
  }
  const bool takes_parameters = is_load;
  if (!takes_parameters && !unit.parameters.empty()) {
    add_error(terror_code::parameter_not_allowed);
    return toutcome::done;
  }
  if (is_save) {
    const std::string failure = instrument_.save_corrections();
    if (!failure.empty()) add_error(terror_code::execution_error, failure);
    return toutcome::done;
  }

  double rp_ohm = 0.0;
  double cp_ff = 0.0;
  if (is_load) {
    if (!parameter_count_fits(unit.parameters, 2)) return toutcome::done;
    const auto rp = parse_number(unit.parameters[0]);
    const auto cp = unit.parameters.size() == 2 ? parse_number(unit.parameters[1]) : std::optional<double>(0.0);
    if (!rp || !cp || !(*rp > 0.0) || *cp < 0.0) {
      add_error(terror_code::data_out_of_range, "a resistance above 0 ohm, a capacitance of 0 fF or more");
      return toutcome::done;
    }
    rp_ohm = *rp;
    cp_ff = *cp;
  }

  const bool is_correction = !is_fetch && !is_sweep;
  if (!waiting_) {
    waiting_ = true;
    wait_started_ = now;
    if (is_sweep && !instrument_.start_sweep()) {
      add_error(terror_code::settings_conflict, "a sweep is running");
      return toutcome::done;
    }
    // The part for the correction was connected just now: measure anew.
    if (is_correction) instrument_.request_settling();
  }
  if (is_sweep) {
    if (instrument_.sweep_running()) return waited_too_long(now) ? toutcome::done : toutcome::wait;
    std::string text;
    const int meas_mode = instrument_.state().meas_mode;
    const std::vector<tsweep_point> points = instrument_.sweep_result();
    for (const tsweep_point& point : points) {
      const auto [a, b] = ordered(point.reading, meas_mode, tfigure::value);
      text += (text.empty() ? "" : ",") +
              numbers_text({point.frequency_hz, a, b, static_cast<double>(reading_status(point.reading))});
    }
    if (points.size() < lcr::test_frequencies.size()) {
      add_error(terror_code::execution_error, "no settled reading at every frequency");
    }
    replies += text + "\n";
    return toutcome::done;
  }
  if (!instrument_.reading_ready()) {
    const bool stalled = !instrument_.streaming() || waited_too_long(now);
    if (!stalled) return toutcome::wait;
    if (!instrument_.streaming()) add_error(terror_code::execution_error, "no signal from the sound input");
    // A query is answered all the same, with the latest reading marked as
    // not settled; a correction stores nothing.
    if (is_fetch) replies += fetch_reply(figure) + "\n";
    return toutcome::done;
  }
  if (is_fetch) {
    replies += fetch_reply(figure) + "\n";
    return toutcome::done;
  }
  const tcorrection step = header_matches("CORRection:OPEN", unit.mnemonics)    ? tcorrection::open
                           : header_matches("CORRection:SHORt", unit.mnemonics) ? tcorrection::short_circuit
                                                                                 : tcorrection::load;
  const std::string failure = instrument_.correct(step, rp_ohm, cp_ff);
  if (!failure.empty()) add_error(terror_code::execution_error, failure);
  return toutcome::done;
}

std::string tscpi_session::fetch_reply(tfigure figure) const
{
  const treading reading = instrument_.reading();
  const auto [a, b] = ordered(reading, instrument_.state().meas_mode, figure);
  if (figure != tfigure::value) return numbers_text({a, b});
  return numbers_text({a, b}) + "," + std::to_string(reading_status(reading));
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
