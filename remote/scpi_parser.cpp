// SPDX-License-Identifier: GPL-3.0-or-later
#include "scpi_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace scpi {

namespace {

bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool is_printable(char c)
{
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x7f;
}

bool is_header_character(char c)
{
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ':' || c == '*' || c == '?';
}


tparsed_unit syntax_error()
{
  return {std::nullopt, terror_code::syntax_error};
}

std::optional<std::vector<std::string>> split_parameters(std::string_view text)
{
  std::vector<std::string> parameters;
  if (trimmed(text).empty()) return parameters;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view parameter = trimmed(text.substr(0, comma));
    if (parameter.empty()) return std::nullopt;
    parameters.emplace_back(parameter);
    if (comma == std::string_view::npos) return parameters;
    text.remove_prefix(comma + 1);
  }
}

tparsed_unit parse_unit(std::string_view text)
{
  if (!std::all_of(text.begin(), text.end(), [](char c) { return is_printable(c) || is_blank(c); })) {
    return syntax_error();
  }
  const std::size_t header_end = std::min(text.find_first_of(" \t"), text.size());
  std::string_view header = text.substr(0, header_end);
  if (!std::all_of(header.begin(), header.end(), is_header_character)) return syntax_error();
  tprogram_unit unit;
  if (!header.empty() && header.back() == '?') {
    unit.query = true;
    header.remove_suffix(1);
  }
  if (header.find('?') != std::string_view::npos) return syntax_error();
  if (!header.empty() && header.front() == '*') {
    if (header.size() == 1 || header.find_first_of(":*", 1) != std::string_view::npos) return syntax_error();
    unit.mnemonics.push_back(upper(header));
  } else {
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    while (true) {
      const std::size_t colon = header.find(':');
      const std::string_view mnemonic = header.substr(0, colon);
      if (mnemonic.empty() || mnemonic.find('*') != std::string_view::npos) return syntax_error();
      unit.mnemonics.push_back(upper(mnemonic));
      if (colon == std::string_view::npos) break;
      header.remove_prefix(colon + 1);
    }
  }
  auto parameters = split_parameters(text.substr(header_end));
  if (!parameters) return syntax_error();
  unit.parameters = std::move(*parameters);
  return {std::move(unit), terror_code::none};
}

struct tpattern_node {
  std::string long_form;   // upper case
  std::string short_form;  // the pattern's upper-case letters
  bool optional = false;
};

std::vector<tpattern_node> pattern_nodes(std::string_view pattern)
{
  std::vector<tpattern_node> nodes;
  bool optional = false;
  std::string current;
  const auto finish = [&] {
    if (current.empty()) return;
    tpattern_node node;
    node.long_form = upper(current);
    for (const char c : current) {
      if (std::isupper(static_cast<unsigned char>(c)) != 0 || std::isdigit(static_cast<unsigned char>(c)) != 0 ||
          c == '*') {
        node.short_form += c;
      }
    }
    node.optional = optional;
    nodes.push_back(node);
    current.clear();
  };
  for (const char c : pattern) {
    if (c == '[') {
      finish();
      optional = true;
    } else if (c == ']') {
      finish();
      optional = false;
    } else if (c == ':') {
      finish();
    } else {
      current += c;
    }
  }
  finish();
  return nodes;
}

bool nodes_match(const std::vector<tpattern_node>& nodes, std::size_t node, const std::vector<std::string>& mnemonics,
                 std::size_t mnemonic)
{
  if (node == nodes.size()) return mnemonic == mnemonics.size();
  const tpattern_node& here = nodes[node];
  const bool matches_here = mnemonic < mnemonics.size() &&
                            (mnemonics[mnemonic] == here.long_form || mnemonics[mnemonic] == here.short_form);
  if (matches_here && nodes_match(nodes, node + 1, mnemonics, mnemonic + 1)) return true;
  return here.optional && nodes_match(nodes, node + 1, mnemonics, mnemonic);
}

}  // namespace

std::string upper(std::string_view text)
{
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return result;
}

const char* error_text(terror_code code)
{
  switch (code) {
    case terror_code::none: return "No error";
    case terror_code::command_error: return "Command error";
    case terror_code::syntax_error: return "Syntax error";
    case terror_code::parameter_not_allowed: return "Parameter not allowed";
    case terror_code::missing_parameter: return "Missing parameter";
    case terror_code::undefined_header: return "Undefined header";
    case terror_code::invalid_suffix: return "Invalid suffix";
    case terror_code::execution_error: return "Execution error";
    case terror_code::settings_conflict: return "Settings conflict";
    case terror_code::data_out_of_range: return "Data out of range";
    case terror_code::data_stale: return "Data stale";
    case terror_code::queue_overflow: return "Queue overflow";
  }
  return "Command error";
}

std::vector<tparsed_unit> parse_line(std::string_view line)
{
  std::vector<tparsed_unit> units;
  // The path that a relative header continues: the previous header's nodes
  // but its last. Common commands leave it; every line starts at the root.
  std::vector<std::string> path;
  while (true) {
    const std::size_t semicolon = line.find(';');
    const std::string_view text = trimmed(line.substr(0, semicolon));
    if (!text.empty()) {
      tparsed_unit parsed = parse_unit(text);
      if (parsed.unit && parsed.unit->mnemonics.front().front() != '*') {
        tprogram_unit& unit = *parsed.unit;
        if (text.front() != ':' && !path.empty()) {
          unit.mnemonics.insert(unit.mnemonics.begin(), path.begin(), path.end());
          unit.inherited = path.size();
        }
        path.assign(unit.mnemonics.begin(), unit.mnemonics.end() - 1);
      }
      units.push_back(std::move(parsed));
    }
    if (semicolon == std::string_view::npos) return units;
    line.remove_prefix(semicolon + 1);
  }
}

bool header_matches(std::string_view pattern, const std::vector<std::string>& mnemonics)
{
  return nodes_match(pattern_nodes(pattern), 0, mnemonics, 0);
}

std::optional<double> parse_number(std::string_view text)
{
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

namespace {

// The length of the decimal number at the start of `text` (sign, digits,
// point, exponent), 0 when it starts with none.
std::size_t number_length(std::string_view text)
{
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return 0;
  const std::size_t before_exponent = i;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) i = before_exponent;  // "1EX": no exponent, a suffix
  }
  return i;
}

std::optional<double> multiplier_of(std::string_view prefix, std::string_view unit)
{
  // "M" is milli except before hertz and ohm, where lab tools mean mega.
  if (prefix == "M") return unit == "HZ" || unit == "OHM" ? 1e6 : 1e-3;
  static constexpr std::array<std::pair<std::string_view, double>, 12> multipliers{{
      {"", 1.0}, {"EX", 1e18}, {"PE", 1e15}, {"T", 1e12}, {"G", 1e9}, {"MA", 1e6},
      {"K", 1e3}, {"U", 1e-6}, {"N", 1e-9}, {"P", 1e-12}, {"F", 1e-15}, {"A", 1e-18},
  }};
  for (const auto& [name, factor] : multipliers) {
    if (prefix == name) return factor;
  }
  return std::nullopt;
}

}  // namespace

tnumeric parse_numeric(std::string_view text, std::string_view unit, const tnumeric_range* range)
{
  const std::string word = upper(trimmed(text));
  if (range != nullptr) {
    if (word == "MIN" || word == "MINIMUM") return {range->minimum};
    if (word == "MAX" || word == "MAXIMUM") return {range->maximum};
    if (word == "DEF" || word == "DEFAULT") return {range->preset};
  }
  const std::size_t length = number_length(word);
  const auto number = length > 0 ? parse_number(std::string_view(word).substr(0, length)) : std::nullopt;
  if (!number) return {std::nullopt, terror_code::data_out_of_range};
  const std::string_view suffix = trimmed(std::string_view(word).substr(length));
  if (suffix.empty()) return {number};
  if (unit.empty() || suffix.size() < unit.size() || suffix.substr(suffix.size() - unit.size()) != unit) {
    return {std::nullopt, terror_code::invalid_suffix};
  }
  const auto factor = multiplier_of(suffix.substr(0, suffix.size() - unit.size()), unit);
  if (!factor) return {std::nullopt, terror_code::invalid_suffix};
  const double value = *number * *factor;
  if (!std::isfinite(value)) return {std::nullopt, terror_code::data_out_of_range};
  return {value};
}

std::optional<bool> parse_boolean(std::string_view text)
{
  const std::string word = upper(text);
  if (word == "ON" || word == "1") return true;
  if (word == "OFF" || word == "0") return false;
  return std::nullopt;
}

}  // namespace scpi
