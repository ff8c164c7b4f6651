// SPDX-License-Identifier: GPL-3.0-or-later
#include "zma_text.h"

#include "engine/core/plain_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace lcr {

namespace {

// A field of a text that may be anything, fit for a message.
std::string printable(std::string_view field)
{
  std::string text;
  for (const char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    text += byte >= 0x20 && byte < 0x7f ? c : '?';
  }
  return text;
}

// Why a line's point is not one, or empty.
std::string fault_of(const std::vector<std::string_view>& fields, tzma_point& point, const tzma_point* previous)
{
  if (fields.size() != 3) return "drei Zahlen erwartet (Frequenz in Hz, |Z| in Ohm, Phase in Grad)";
  std::array<double, 3> values{};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::optional<double> value = finite_number(fields[i]);
    if (!value) return "\"" + printable(fields[i].substr(0, 40)) + "\" ist keine Zahl";
    values[i] = *value;
  }
  point = {values[0], values[1], values[2]};
  if (!(point.frequency_hz > 0.0)) return "Frequenz nicht positiv";
  if (previous && !(point.frequency_hz > previous->frequency_hz)) return "Frequenz nicht steigend";
  if (point.magnitude_ohm < 0.0) return "|Z| negativ";
  if (std::fabs(point.phase_deg) > 180.0) return "Phase außerhalb ±180°";
  return {};
}

tzma_curve refused(std::string reason)
{
  tzma_curve curve;
  curve.refusal = std::move(reason);
  return curve;
}

}  // namespace

tzma_curve parse_zma(std::string_view text)
{
  if (text.size() > zma_largest_text) return refused("Datei größer als 8 MB");
  tzma_curve curve;
  std::size_t line_number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++line_number;
    const std::vector<std::string_view> fields = words_of(line, " \t\r");
    if (fields.empty() || fields.front().front() == '*') continue;
    if (line.find('\0') != std::string_view::npos) {
      return refused("Zeile " + std::to_string(line_number) + ": keine Textzeile");
    }
    tzma_point point;
    const std::string fault = fault_of(fields, point, curve.points.empty() ? nullptr : &curve.points.back());
    if (!fault.empty()) return refused("Zeile " + std::to_string(line_number) + ": " + fault);
    if (curve.points.size() == zma_most_points) return refused("mehr als 100000 Punkte");
    curve.points.push_back(point);
  }
  if (curve.points.empty()) return refused("keine Punkte");
  return curve;
}

std::string format_zma(const std::vector<tzma_point>& points, const std::vector<std::string>& comments)
{
  std::string text;
  for (std::string comment : comments) {
    std::replace(comment.begin(), comment.end(), '\n', ' ');
    text += "*" + comment + "\n";
  }
  const auto append = [&](double value, char after) {
    text += round_trip_number(value);
    text += after;
  };
  for (const tzma_point& point : points) {
    append(point.frequency_hz, ' ');
    append(point.magnitude_ohm, ' ');
    append(point.phase_deg, '\n');
  }
  return text;
}

}  // namespace lcr
