// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_spread_file.h"

#include "engine/core/plain_text.h"
#include "engine/core/safe_file.h"
#include "engine/corrections/calibration_field.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace lcr {

namespace {

// Far above the 240 lines of a full file: a bigger one is not ours.
constexpr std::size_t largest_file_bytes = 1 << 20;

// One table entry with its spread; `r` is −1 in the per-frequency tables.
struct tentry_ref {
  std::string_view table;
  int r = -1;
  int f = 0;
  const tcomplex* value = nullptr;
  tentry_spread* spread = nullptr;
};

template <typename Tables, typename Spreads>
std::vector<tentry_ref> entries_of(Tables& tables, Spreads& spreads)
{
  std::vector<tentry_ref> entries;
  for (int f = 0; f < freq_count; ++f) {
    const auto fi = static_cast<std::size_t>(f);
    entries.push_back({"h_short", -1, f, &tables.h_short[fi], &spreads.h_short[fi]});
    entries.push_back({"h_direct", -1, f, &tables.h_direct[fi], &spreads.h_direct[fi]});
  }
  const auto add_reference_table = [&](std::string_view name, auto& table, auto& spread_table) {
    for (int r = 0; r < ref_count; ++r) {
      for (int f = 0; f < freq_count; ++f) {
        const auto ri = static_cast<std::size_t>(r);
        const auto fi = static_cast<std::size_t>(f);
        entries.push_back({name, r, f, &table[ri][fi], &spread_table[ri][fi]});
      }
    }
  };
  add_reference_table("y_open", tables.y_open, spreads.y_open);
  add_reference_table("z_short", tables.z_short, spreads.z_short);
  add_reference_table("z_ref", tables.z_ref, spreads.z_ref);
  return entries;
}

std::string trimmed_field(double value)
{
  std::string field = calibration_field(value);
  field.erase(0, field.find_first_not_of(' '));
  return field;
}

std::optional<int> parse_index(std::string_view text, int count)
{
  int value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || value < 0 || value >= count) return std::nullopt;
  return value;
}

// The variance of rounding a part to the file's eight significant digits.
double file_rounding_variance(double part)
{
  if (!(std::fabs(part) > 0.0) || !std::isfinite(part)) return 0.0;
  const double step = std::pow(10.0, std::floor(std::log10(std::fabs(part))) - 7.0);
  return step * step / 12.0;
}

struct tspread_line {
  std::string_view table;
  int r = -1;
  int f = 0;
  std::string_view re;
  std::string_view im;
  tentry_spread spread;
};

std::optional<tspread_line> parse_line(std::string_view line)
{
  const std::vector<std::string_view> words = words_of(line);
  if (words.size() != 6 && words.size() != 9) return std::nullopt;
  tspread_line parsed;
  parsed.table = words[0];
  const bool per_frequency = parsed.table == "h_short" || parsed.table == "h_direct";
  const bool per_reference = parsed.table == "y_open" || parsed.table == "z_short" || parsed.table == "z_ref";
  if (!per_frequency && !per_reference) return std::nullopt;
  if (per_frequency) {
    if (words[1] != "-") return std::nullopt;
  } else {
    const auto r = parse_index(words[1], ref_count);
    if (!r) return std::nullopt;
    parsed.r = *r;
  }
  const auto f = parse_index(words[2], freq_count);
  if (!f || !finite_number(words[3]) || !finite_number(words[4])) return std::nullopt;
  parsed.f = *f;
  parsed.re = words[3];
  parsed.im = words[4];
  if (words[5] == "unknown" && words.size() == 6) {
    parsed.spread.unknown = true;
    return parsed;
  }
  if (words[5] != "known" || words.size() != 9) return std::nullopt;
  const auto var_re = finite_number(words[6]);
  const auto var_im = finite_number(words[7]);
  const auto cov = finite_number(words[8]);
  if (!var_re || !var_im || !cov || *var_re < 0.0 || *var_im < 0.0) return std::nullopt;
  // A covariance beyond the variances' product is no spread.
  if (*cov * *cov > *var_re * *var_im * (1.0 + 1e-9)) return std::nullopt;
  parsed.spread.spread = {true, *var_re, *var_im, *cov};
  return parsed;
}

bool is_nominal(const tentry_ref& entry)
{
  if (entry.table != "z_ref") return *entry.value == tcomplex{};
  return *entry.value == tcomplex{static_cast<double>(ref_resistors[static_cast<std::size_t>(entry.r)]), 0.0};
}

}  // namespace

std::string calibration_spread_path(const std::string& calibration_path)
{
  return calibration_path + ".spread";
}

tcalibration_spreads spreads_without_record(const tcalibration_tables& tables)
{
  tcalibration_spreads spreads;
  for (const tentry_ref& entry : entries_of(tables, spreads)) entry.spread->unknown = !is_nominal(entry);
  return spreads;
}

std::string calibration_spread_text(const tcalibration_tables& tables, const tcalibration_spreads& spreads)
{
  std::string text = std::string(calibration_spread_version_line) + "\n";
  text += "# TABLE R F RE IM known VAR_RE VAR_IM COV, or TABLE R F RE IM unknown\n";
  tcalibration_spreads copy = spreads;
  for (const tentry_ref& entry : entries_of(tables, copy)) {
    const tentry_spread& spread = *entry.spread;
    if (!spread.unknown && !spread.spread.valid) continue;  // none: a nominal entry
    text += std::string(entry.table) + " " + (entry.r < 0 ? std::string("-") : std::to_string(entry.r)) + " " +
            std::to_string(entry.f) + " " + trimmed_field(entry.value->re) + " " + trimmed_field(entry.value->im);
    if (spread.spread.valid && !spread.unknown) {
      text += " known " + round_trip_number(spread.spread.var_re) + " " + round_trip_number(spread.spread.var_im) + " " +
              round_trip_number(spread.spread.cov) + "\n";
    } else {
      text += " unknown\n";
    }
  }
  return text;
}

tfile_result read_calibration_spread_text(std::string_view text, const tcalibration_tables& tables,
                                          tcalibration_spreads& spreads)
{
  spreads = spreads_without_record(tables);
  tcalibration_spreads read = spreads;
  const std::vector<tentry_ref> entries = entries_of(tables, read);
  int line_number = 0;
  while (!text.empty()) {
    const auto stop = text.find('\n');
    std::string_view line = text.substr(0, stop);
    text.remove_prefix(stop == std::string_view::npos ? text.size() : stop + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_number;
    if (line_number == 1) {
      if (line != calibration_spread_version_line) {
        return {false, "Zeile 1: keine Streuungen einer Quarvel-Kalibrierung (Version 1)", {}};
      }
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    const std::optional<tspread_line> parsed = parse_line(line);
    if (!parsed) return {false, "Zeile " + std::to_string(line_number) + ": keine Streuung eines Kalibrierwerts", {}};
    for (const tentry_ref& entry : entries) {
      if (entry.table != parsed->table || entry.r != parsed->r || entry.f != parsed->f) continue;
      // Only for the value it was saved with.
      if (trimmed_field(entry.value->re) != parsed->re || trimmed_field(entry.value->im) != parsed->im) break;
      tentry_spread spread = parsed->spread;
      if (spread.spread.valid) {
        spread.spread.var_re += file_rounding_variance(entry.value->re);
        spread.spread.var_im += file_rounding_variance(entry.value->im);
      }
      *entry.spread = spread;
      break;
    }
  }
  if (line_number == 0) return {false, "Zeile 1: keine Streuungen einer Quarvel-Kalibrierung (Version 1)", {}};
  spreads = read;
  return {};
}

tfile_result load_calibration_spreads(const std::string& calibration_path, const tcalibration_tables& tables,
                                      tcalibration_spreads& spreads)
{
  spreads = spreads_without_record(tables);
  const std::string path = calibration_spread_path(calibration_path);
  const tfile_text file = read_regular_text(path, largest_file_bytes);
  if (file.error_number == ENOENT) return {};
  if (file.error_number != 0) return io_error(file.error_number, path);
  if (file.too_large) return {false, "Datei zu groß für Streuungen (über 1 MB)", path};
  tfile_result result = read_calibration_spread_text(file.text, tables, spreads);
  if (!result.ok) result.file = path;
  return result;
}

tfile_result save_calibration_spreads(const std::string& calibration_path, const tcalibration_tables& tables,
                                      const tcalibration_spreads& spreads)
{
  const std::string path = calibration_spread_path(calibration_path);
  // Nothing calibrated, nothing to keep: a file left from before names
  // values no entry holds, so it is not consulted either.
  if (spreads == tcalibration_spreads{}) return {};
  const std::string text = calibration_spread_text(tables, spreads);
  const int error_number =
      replace_regular_file(path, [&](int descriptor) { return write_all(descriptor, text.data(), text.size()); });
  if (error_number != 0) return io_error(error_number, path);
  return {};
}

}  // namespace lcr
