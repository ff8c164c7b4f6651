// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Impedance curves as loudspeaker and crossover design programs exchange
// them (".zma"): one line per point, frequency in Hz, |Z| in ohm and phase
// in degrees, separated by blanks or tabs; a line beginning with '*' is a
// comment, an empty line is ignored. Numbers use the point as decimal
// separator whatever the locale.
//
// A text that is not such a curve is refused whole, with the first line at
// fault named: a curve drawn from half a file would be a curve nobody
// measured. Pure functions; the callers read and write the files.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lcr {

struct tzma_point {
  double frequency_hz = 0.0;
  double magnitude_ohm = 0.0;
  double phase_deg = 0.0;
  bool operator==(const tzma_point&) const = default;
};

// Larger texts are refused before they are read: a curve of 100 000
// points fits in a fraction of this.
inline constexpr std::size_t zma_largest_text = 8u * 1024u * 1024u;
inline constexpr std::size_t zma_most_points = 100000;

struct tzma_curve {
  std::vector<tzma_point> points;  // empty when refused
  std::string refusal;             // "Zeile 12: …", or empty
  bool ok() const { return refusal.empty(); }
};

tzma_curve parse_zma(std::string_view text);

// The text of a curve, after comment lines (each given without its '*'),
// every value to the precision it was measured with and beyond.
std::string format_zma(const std::vector<tzma_point>& points, const std::vector<std::string>& comments = {});

}  // namespace lcr
