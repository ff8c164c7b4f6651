// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_calibration_file.h"

#include "engine/core/plain_text.h"
#include "engine/core/safe_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace lcr {

namespace {

// 528 frequencies of 20 lines need about 1.2 MB.
constexpr std::size_t largest_file_bytes = 32u << 20;

constexpr std::array<std::string_view, 5> table_names{"h_short", "h_direct", "y_open", "z_short", "z_ref"};

bool per_reference(std::string_view table)
{
  return table != "h_short" && table != "h_direct";
}

tanalyser_entry* entry_of(tanalyser_cal_point& point, std::string_view table, int r)
{
  const auto at = static_cast<std::size_t>(r);
  if (table == "h_short") return &point.h_short;
  if (table == "h_direct") return &point.h_direct;
  if (table == "y_open") return &point.y_open[at];
  if (table == "z_short") return &point.z_short[at];
  if (table == "z_ref") return &point.z_ref[at];
  return nullptr;
}

std::string entry_line(std::string_view table, double frequency_hz, int r, const tanalyser_entry& entry)
{
  std::string line(table);
  line += ' ' + round_trip_number(frequency_hz) + ' ' + (r < 0 ? std::string("-") : std::to_string(r));
  line += ' ' + round_trip_number(entry.value.re) + ' ' + round_trip_number(entry.value.im);
  if (entry.spread.unknown || !entry.spread.spread.valid) {
    line += " unknown";
  } else {
    line += ' ' + round_trip_number(entry.spread.spread.var_re) + ' ' + round_trip_number(entry.spread.spread.var_im) + ' ' +
            round_trip_number(entry.spread.spread.cov);
  }
  return line + '\n';
}

// Why a line is not an entry, or empty; the entry it sets otherwise.
std::string read_line(std::string_view line, tanalyser_calibration& read)
{
  const std::vector<std::string_view> words = words_of(line);
  if (words.size() != 6 && words.size() != 8) return "6 oder 8 Felder erwartet";
  const std::string_view table = words[0];
  if (std::find(table_names.begin(), table_names.end(), table) == table_names.end()) {
    return "unbekannte Tabelle \"" + std::string(table.substr(0, 20)) + "\"";
  }
  const std::optional<double> frequency_hz = finite_number(words[1]);
  if (!frequency_hz || !(*frequency_hz > 0.0)) return "keine positive Frequenz";
  int r = -1;
  if (per_reference(table)) {
    const char* const end = words[2].data() + words[2].size();
    const auto [stop, error] = std::from_chars(words[2].data(), end, r);
    if (error != std::errc{} || stop != end || r < 0 || r >= ref_count) return "Referenz 0 bis 5 erwartet";
  } else if (words[2] != "-") {
    return "\"-\" als Referenz erwartet";
  }
  const std::optional<double> re = finite_number(words[3]);
  const std::optional<double> im = finite_number(words[4]);
  if (!re || !im) return "kein endlicher Wert";
  tanalyser_entry entry{{*re, *im}, {}, true};
  if (words.size() == 6) {
    if (words[5] != "unknown") return "\"unknown\" oder drei Streuungen erwartet";
    entry.spread.unknown = true;
  } else {
    const std::optional<double> var_re = finite_number(words[5]);
    const std::optional<double> var_im = finite_number(words[6]);
    const std::optional<double> cov = finite_number(words[7]);
    if (!var_re || !var_im || !cov || *var_re < 0.0 || *var_im < 0.0 ||
        (*cov) * (*cov) > (*var_re) * (*var_im) * (1.0 + 1e-9)) {
      return "keine Streuung (Varianzen, Kovarianz)";
    }
    entry.spread = tentry_spread::known({true, *var_re, *var_im, *cov});
  }
  tanalyser_entry* target = entry_of(read.points[*frequency_hz], table, r < 0 ? 0 : r);
  if (target->taken) return "Eintrag doppelt";
  *target = entry;
  return {};
}

}  // namespace

std::string analyser_calibration_path(const std::string& calibration_path)
{
  constexpr std::string_view extension = ".cal";
  if (calibration_path.size() >= extension.size() &&
      calibration_path.compare(calibration_path.size() - extension.size(), extension.size(), extension) == 0) {
    return calibration_path.substr(0, calibration_path.size() - extension.size()) + ".zcal";
  }
  return calibration_path + ".zcal";
}

std::string analyser_calibration_text(const tanalyser_calibration& calibration)
{
  std::string text = std::string(analyser_calibration_version_line) + "\n";
  text += "# TABLE F R RE IM VAR_RE VAR_IM COV\n";
  for (const auto& [frequency_hz, point] : calibration.points) {
    if (point.h_short.taken) text += entry_line("h_short", frequency_hz, -1, point.h_short);
    if (point.h_direct.taken) text += entry_line("h_direct", frequency_hz, -1, point.h_direct);
    for (int r = 0; r < ref_count; ++r) {
      const auto at = static_cast<std::size_t>(r);
      if (point.y_open[at].taken) text += entry_line("y_open", frequency_hz, r, point.y_open[at]);
      if (point.z_short[at].taken) text += entry_line("z_short", frequency_hz, r, point.z_short[at]);
      if (point.z_ref[at].taken) text += entry_line("z_ref", frequency_hz, r, point.z_ref[at]);
    }
  }
  return text;
}

tfile_result read_analyser_calibration_text(std::string_view text, tanalyser_calibration& calibration)
{
  tanalyser_calibration read;
  std::size_t line_number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line_number == 1) {
      if (line != analyser_calibration_version_line) {
        return {false, "Zeile 1: keine Kalibrierung des Impedanzanalysators (Version 1)", {}};
      }
      continue;
    }
    if (words_of(line).empty() || line.front() == '#') continue;
    const std::string fault = read_line(line, read);
    if (!fault.empty()) return {false, "Zeile " + std::to_string(line_number) + ": " + fault, {}};
  }
  if (line_number == 0) return {false, "Zeile 1: keine Kalibrierung des Impedanzanalysators (Version 1)", {}};
  calibration = std::move(read);
  return {};
}

tfile_result load_analyser_calibration(const std::string& path, tanalyser_calibration& calibration)
{
  const tfile_text file = read_regular_text(path, largest_file_bytes);
  if (file.error_number == ENOENT) {
    calibration = {};
    return {};
  }
  if (file.error_number != 0) return io_error(file.error_number, path);
  if (file.too_large) return {false, "Datei zu groß für eine Kalibrierung (über 32 MB)", path};
  tfile_result result = read_analyser_calibration_text(file.text, calibration);
  if (!result.ok) result.file = path;
  return result;
}

tfile_result save_analyser_calibration(const std::string& path, const tanalyser_calibration& calibration)
{
  const std::string text = analyser_calibration_text(calibration);
  const int error_number =
      replace_regular_file(path, [&](int descriptor) { return write_all(descriptor, text.data(), text.size()); });
  if (error_number != 0) return io_error(error_number, path);
  return {};
}

}  // namespace lcr
