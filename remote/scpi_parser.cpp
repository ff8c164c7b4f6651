#include "scpi_parser.h"

#include <algorithm>
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

std::string upper(std::string_view text)
{
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return result;
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

const char* error_text(terror_code code)
{
  switch (code) {
    case terror_code::none: return "No error";
    case terror_code::command_error: return "Command error";
    case terror_code::syntax_error: return "Syntax error";
    case terror_code::parameter_not_allowed: return "Parameter not allowed";
    case terror_code::missing_parameter: return "Missing parameter";
    case terror_code::undefined_header: return "Undefined header";
    case terror_code::execution_error: return "Execution error";
    case terror_code::settings_conflict: return "Settings conflict";
    case terror_code::data_out_of_range: return "Data out of range";
    case terror_code::queue_overflow: return "Queue overflow";
  }
  return "Command error";
}

std::vector<tparsed_unit> parse_line(std::string_view line)
{
  std::vector<tparsed_unit> units;
  while (true) {
    const std::size_t semicolon = line.find(';');
    const std::string_view text = trimmed(line.substr(0, semicolon));
    if (!text.empty()) units.push_back(parse_unit(text));
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

std::optional<bool> parse_boolean(std::string_view text)
{
  const std::string word = upper(text);
  if (word == "ON" || word == "1") return true;
  if (word == "OFF" || word == "0") return false;
  return std::nullopt;
}

}  // namespace scpi
