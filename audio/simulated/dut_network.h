// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The device under test as a network of resistors, capacitors and inductors,
// written as text: "R=4.7k", "C=100n", "L=10m"; '+' joins in series, '|' in
// parallel and binds tighter than '+'; parentheses group; whitespace may
// stand between the parts. A value is a decimal number with '.' and an
// optional SI prefix f p n u µ m k M G.
//
// Impedances are projective pairs (numerator, denominator): an open circuit
// is (1, 0) and a short (0, 1), so that series and parallel joins need no
// special cases and a network is exact at zero frequency (a capacitor is then
// open, an inductor a short).
//
// Pure values and functions; any thread.

#include <complex>
#include <optional>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace waveio {

// An impedance as numerator / denominator, in ohm.
struct timpedance {
  std::complex<double> numerator{0.0};
  std::complex<double> denominator{1.0};

  static timpedance open() { return {1.0, 0.0}; }
  static timpedance short_circuit() { return {0.0, 1.0}; }
  static timpedance of_ohm(std::complex<double> z_ohm) { return {z_ohm, 1.0}; }
  static timpedance of_siemens(std::complex<double> y_s) { return {1.0, y_s}; }

  bool is_open() const { return denominator == 0.0; }
  bool is_short() const { return numerator == 0.0; }
  // numerator / denominator; an open circuit gives (+∞, 0).
  std::complex<double> value_ohm() const;
};

timpedance series(const timpedance& a, const timpedance& b);
timpedance parallel(const timpedance& a, const timpedance& b);

// A malformed network text. what() reads "position P: …"; P counts
// characters from 1 (the end of the text is length + 1).
class dut_error : public std::runtime_error {
 public:
  dut_error(std::size_t position, const std::string& message);
  std::size_t position() const { return position_; }

 private:
  std::size_t position_;
};

class tdut_network {
 public:
  // Impedance at angular frequency ω (rad/s); ω = 0 is exact.
  timpedance impedance(double angular_frequency_rad_s) const;
  // Resistors, capacitors and inductors in the network.
  std::size_t element_count() const;

 private:
  enum class tkind { resistor, capacitor, inductor, series, parallel };
  struct tnode {
    tkind kind = tkind::resistor;
    double value = 0.0;                 // ohm, farad or henry
    std::vector<std::size_t> children;  // series and parallel joins
  };

  tdut_network(std::vector<tnode> nodes, std::size_t root) : nodes_(std::move(nodes)), root_(root) {}
  timpedance node_impedance(std::size_t index, double angular_frequency_rad_s) const;

  std::vector<tnode> nodes_;
  std::size_t root_ = 0;

  friend class tdut_parser;
};

// Throws dut_error on malformed text and on values outside their range.
tdut_network parse_dut_network(std::string_view text);

// The values an element 'R', 'C' or 'L' may take besides 0: from 1 µΩ to
// 1 TΩ, 1 aF to 1 F, 1 pH to 1 MH. Within them a network's arithmetic stays
// finite at the fixture's frequencies (its fuzz target checks that).
struct tvalue_range {
  double smallest = 0.0;   // ohm, farad or henry
  double largest = 0.0;
  std::string_view what;   // "resistance"
  std::string_view text;   // "1 µΩ … 1 TΩ"
};
const tvalue_range& value_range(char element);

// The SI prefix at the start of `text` (f p n u µ μ m k M G): its factor and
// its length in bytes; nothing when `text` does not start with one.
struct tsi_prefix {
  double factor = 1.0;
  std::size_t length = 0;
};
std::optional<tsi_prefix> leading_si_prefix(std::string_view text);

}  // namespace waveio
