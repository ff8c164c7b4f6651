// SPDX-License-Identifier: GPL-3.0-or-later
#include "dut_network.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace waveio {

std::optional<tsi_prefix> leading_si_prefix(std::string_view text)
{
  static constexpr std::array<std::pair<std::string_view, double>, 10> prefixes{{{"f", 1e-15},
                                                                                 {"p", 1e-12},
                                                                                 {"n", 1e-9},
                                                                                 {"u", 1e-6},
                                                                                 {"\u00b5", 1e-6},
                                                                                 {"\u03bc", 1e-6},
                                                                                 {"m", 1e-3},
                                                                                 {"k", 1e3},
                                                                                 {"M", 1e6},
                                                                                 {"G", 1e9}}};
  for (const auto& [symbol, factor] : prefixes) {
    if (text.starts_with(symbol)) return tsi_prefix{factor, symbol.size()};
  }
  return std::nullopt;
}

const tvalue_range& value_range(char element)
{
  static constexpr tvalue_range resistor{1e-6, 1e12, "resistance", "1 \u00b5\u03a9 \u2026 1 T\u03a9"};
  static constexpr tvalue_range capacitor{1e-18, 1.0, "capacitance", "1 aF \u2026 1 F"};
  static constexpr tvalue_range inductor{1e-12, 1e6, "inductance", "1 pH \u2026 1 MH"};
  switch (element) {
    case 'C': return capacitor;
    case 'L': return inductor;
    default: return resistor;
  }
}

namespace {

// Keeps a pair away from overflow and underflow in deep networks. Scaling by
// a power of two is exact, and pairs of ordinary size are left untouched.
timpedance normalised(timpedance z)
{
  const double largest = std::max({std::fabs(z.numerator.real()), std::fabs(z.numerator.imag()),
                                   std::fabs(z.denominator.real()), std::fabs(z.denominator.imag())});
  if (!(largest > 0.0 && std::isfinite(largest)) || (largest < 0x1p400 && largest > 0x1p-400)) return z;
  const double scale = std::ldexp(1.0, -std::ilogb(largest));
  return {z.numerator * scale, z.denominator * scale};
}

}  // namespace

std::complex<double> timpedance::value_ohm() const
{
  if (is_open()) return {std::numeric_limits<double>::infinity(), 0.0};
  return numerator / denominator;
}

timpedance series(const timpedance& a, const timpedance& b)
{
  // Two opens in series would give 0/0.
  if (a.is_open() && b.is_open()) return timpedance::open();
  return normalised(
      {a.numerator * b.denominator + b.numerator * a.denominator, a.denominator * b.denominator});
}

timpedance parallel(const timpedance& a, const timpedance& b)
{
  // Two shorts in parallel would give 0/0.
  if (a.is_short() && b.is_short()) return timpedance::short_circuit();
  return normalised({a.numerator * b.numerator, a.numerator * b.denominator + b.numerator * a.denominator});
}

dut_error::dut_error(std::size_t position, const std::string& message)
    : std::runtime_error("position " + std::to_string(position) + ": " + message), position_(position)
{
}

timpedance tdut_network::impedance(double angular_frequency_rad_s) const
{
  return node_impedance(root_, angular_frequency_rad_s);
}

std::size_t tdut_network::element_count() const
{
  return static_cast<std::size_t>(std::count_if(nodes_.begin(), nodes_.end(), [](const tnode& node) {
    return node.kind != tkind::series && node.kind != tkind::parallel;
  }));
}

timpedance tdut_network::node_impedance(std::size_t index, double angular_frequency_rad_s) const
{
  const tnode& node = nodes_[index];
  const double omega = angular_frequency_rad_s;
  switch (node.kind) {
    case tkind::resistor:
      return timpedance::of_ohm(node.value);
    case tkind::capacitor:
      return timpedance::of_siemens({0.0, omega * node.value});
    case tkind::inductor:
      return timpedance::of_ohm({0.0, omega * node.value});
    case tkind::series:
    case tkind::parallel:
      break;
  }
  timpedance joined = node_impedance(node.children.front(), omega);
  for (std::size_t i = 1; i < node.children.size(); ++i) {
    const timpedance next = node_impedance(node.children[i], omega);
    joined = node.kind == tkind::series ? series(joined, next) : parallel(joined, next);
  }
  return joined;
}

// Recursive descent over
//   network := term ('+' term)*
//   term    := factor ('|' factor)*
//   factor  := element | '(' network ')'
//   element := ('R' | 'C' | 'L') '=' number [prefix]
class tdut_parser {
 public:
  explicit tdut_parser(std::string_view text) : text_(text) {}

  tdut_network parse()
  {
    skip_space();
    if (at_end()) fail(at_, "the network is empty; expected an element such as R=1k");
    const std::size_t root = network(0);
    skip_space();
    if (!at_end()) {
      if (peek() == ')') fail(at_, "')' without matching '('");
      fail(at_, "unexpected " + quoted_here() + "; expected '+', '|' or the end");
    }
    return tdut_network(std::move(nodes_), root);
  }

 private:
  using tkind = tdut_network::tkind;
  using tnode = tdut_network::tnode;

  // Deeper nesting than any real fixture needs; bounds the recursion.
  static constexpr int max_depth = 32;

  std::size_t network(int depth) { return joined(tkind::series, '+', depth); }
  std::size_t term(int depth) { return joined(tkind::parallel, '|', depth); }

  std::size_t joined(tkind kind, char symbol, int depth)
  {
    std::size_t first = kind == tkind::series ? term(depth) : factor(depth);
    skip_space();
    if (at_end() || peek() != symbol) return first;
    tnode join{kind, 0.0, {first}};
    while (!at_end() && peek() == symbol) {
      ++at_;
      join.children.push_back(kind == tkind::series ? term(depth) : factor(depth));
      skip_space();
    }
    return add(std::move(join));
  }

  std::size_t factor(int depth)
  {
    skip_space();
    if (at_end())
      fail(at_, "expected an element (R=, C= or L=) or '(' after '" + std::string(1, previous()) + "'");
    if (peek() != '(') return element();
    const std::size_t open = at_++;
    if (depth + 1 > max_depth) fail(open, "parentheses nested too deeply");
    const std::size_t inner = network(depth + 1);
    skip_space();
    if (at_end()) fail(at_, "missing ')' for the '(' at position " + std::to_string(position_of(open)));
    if (peek() != ')') fail(at_, "unexpected " + quoted_here() + "; expected '+', '|' or ')'");
    ++at_;
    return inner;
  }

  std::size_t element()
  {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
    tkind kind = tkind::resistor;
    if (letter == 'C') {
      kind = tkind::capacitor;
    } else if (letter == 'L') {
      kind = tkind::inductor;
    } else if (letter != 'R') {
      fail(at_, "unknown element " + quoted_here() + "; expected R, C, L or '('");
    }
    ++at_;
    skip_space();
    if (at_end() || peek() != '=') fail(at_, std::string("expected '=' after '") + letter + "'");
    ++at_;
    skip_space();
    const std::size_t value_start = at_;
    const double number = value(letter);
    check_range(letter, number, value_start);
    return add({kind, number, {}});
  }

  // Far beyond anything a fixture can measure, and small enough that every
  // network of them keeps finite arithmetic. Zero is a wire (R, L) or an
  // open (C).
  void check_range(char letter, double number, std::size_t value_start) const
  {
    const tvalue_range& range = value_range(letter);
    // A hair of slack, so that an end written with another prefix
    // ("C=0.001f") is not refused for a rounding of the product.
    constexpr double slack = 1e-9;
    if (number == 0.0 || (number >= range.smallest * (1.0 - slack) && number <= range.largest * (1.0 + slack))) return;
    fail(value_start, std::string(range.what) + " out of range; use 0 or " + std::string(range.text));
  }

  double value(char letter)
  {
    const std::string missing = std::string("expected a value after '") + letter + "='";
    if (at_end() || !(std::isdigit(static_cast<unsigned char>(peek())) || peek() == '.')) fail(at_, missing);
    double number = 0.0;
    const char* first = text_.data() + at_;
    const auto [end, error] =
        std::from_chars(first, text_.data() + text_.size(), number, std::chars_format::fixed);
    if (error == std::errc::invalid_argument) fail(at_, missing);
    if (error == std::errc::result_out_of_range) fail(at_, "value out of range");
    at_ += static_cast<std::size_t>(end - first);
    return number * prefix_factor();  // may be infinite: refused by the range
  }

  // Reads an optional SI prefix right after the number.
  double prefix_factor()
  {
    if (at_end()) return 1.0;
    if (const auto prefix = leading_si_prefix(text_.substr(at_))) {
      at_ += prefix->length;
      return prefix->factor;
    }
    const auto byte = static_cast<unsigned char>(peek());
    if (std::isalpha(byte) || byte >= 0x80) {
      fail(at_, "unknown unit prefix " + quoted_here() + "; use f, p, n, u, \u00b5, m, k, M or G");
    }
    return 1.0;
  }

  std::size_t add(tnode node)
  {
    nodes_.push_back(std::move(node));
    return nodes_.size() - 1;
  }

  void skip_space()
  {
    while (!at_end() && std::isspace(static_cast<unsigned char>(peek()))) ++at_;
  }

  bool at_end() const { return at_ >= text_.size(); }
  char peek() const { return text_[at_]; }

  char previous() const
  {
    std::size_t before = at_;
    while (before > 0 && std::isspace(static_cast<unsigned char>(text_[before - 1]))) --before;
    return before > 0 ? text_[before - 1] : ' ';
  }

  // The whole UTF-8 character at the current position, in quotes.
  std::string quoted_here() const
  {
    std::size_t length = 1;
    while (at_ + length < text_.size() && (static_cast<unsigned char>(text_[at_ + length]) & 0xC0) == 0x80)
      ++length;
    return "'" + std::string(text_.substr(at_, length)) + "'";
  }

  // Characters, not bytes, so that a 'µ' counts once.
  std::size_t position_of(std::size_t byte) const
  {
    const std::string_view before = text_.substr(0, std::min(byte, text_.size()));
    const auto continuation = std::count_if(
        before.begin(), before.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
    return before.size() - static_cast<std::size_t>(continuation) + 1;
  }

  [[noreturn]] void fail(std::size_t byte, const std::string& message) const
  {
    throw dut_error(position_of(byte), message);
  }

  std::string_view text_;
  std::size_t at_ = 0;  // byte offset
  std::vector<tnode> nodes_;
};

tdut_network parse_dut_network(std::string_view text)
{
  return tdut_parser(text).parse();
}

}  // namespace waveio
