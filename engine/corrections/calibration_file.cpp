// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration_file.h"

#include "engine/core/safe_file.h"
#include "engine/corrections/calibration_spread_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace lcr {

namespace {

constexpr std::string_view line_end = "\r\n";

std::string bad_number(std::string_view field)
{
  return "'" + std::string(field) + "' ist kein gültiger Gleitkommawert";
}

// The order of sections in the file, and how a table is laid out in it:
// all real-part lines first, then all imaginary-part lines.
enum class tpart { real, imaginary };

double& part_of(tcomplex& value, tpart part)
{
  return part == tpart::real ? value.re : value.im;
}

void append_row(std::string& text, const tfreq_row& row, tpart part)
{
  for (tcomplex value : row) {
    text += calibration_field(part_of(value, part));
    text += "; ";
  }
  text += line_end;
}

void append_frequency_table(std::string& text, std::string_view key, const tfreq_row& row)
{
  text += key;
  text += line_end;
  append_row(text, row, tpart::real);
  append_row(text, row, tpart::imaginary);
}

void append_reference_table(std::string& text, std::string_view key, const tref_table& table)
{
  text += key;
  text += line_end;
  for (const tfreq_row& row : table) append_row(text, row, tpart::real);
  for (const tfreq_row& row : table) append_row(text, row, tpart::imaginary);
}

// A field's text (leading spaces already skipped) as a finite number with
// "." as decimal point; blanks after the number are tolerated.
std::optional<double> parse_field(std::string_view field)
{
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  if (!field.empty() && field.front() == '+') {
    field.remove_prefix(1);
    if (!field.empty() && (field.front() == '-' || field.front() == '+')) return std::nullopt;
  }
  double value = 0.0;
  const char* const end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value, std::chars_format::general);
  if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Longer than any data line (136 characters). A longer line is skipped
// whole, so that neither its beginning can pass for a data line nor can a
// file make reading take unbounded memory.
constexpr std::size_t longest_line = 4096;

// Bytes from a file or a text: up to `size` into `data`, 0 at the end,
// negative on a read error (errno set).
using tbyte_source = std::function<long(char* data, std::size_t size)>;

class tline_reader {
public:
  explicit tline_reader(tbyte_source source) : source_(std::move(source)) {}

  // The next line without its line end; past the end of the file, and for a
  // line that is too long, "" (which is neither a key nor a data line).
  std::string next()
  {
    std::string line;
    bool too_long = false;
    for (int c = get(); c >= 0 && c != '\n'; c = get()) {
      if (line.size() < longest_line + 1) {
        line.push_back(static_cast<char>(c));
      } else {
        too_long = true;
      }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (too_long || line.size() > longest_line) return {};
    return line;
  }

  int error_number() const { return error_number_; }

private:
  // The next byte, or −1 at the end or after a read error.
  int get()
  {
    if (position_ == filled_) {
      if (error_number_ != 0) return -1;
      const long count = source_(buffer_.data(), buffer_.size());
      if (count <= 0) {
        if (count < 0) error_number_ = errno;
        return -1;
      }
      filled_ = static_cast<std::size_t>(count);
      position_ = 0;
    }
    return static_cast<unsigned char>(buffer_[position_++]);
  }

  tbyte_source source_;
  std::array<char, 8192> buffer_{};
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  int error_number_ = 0;
};

// Reads one data line into the given parts of a row. False with `message`
// set when a field is not a number; a line without exactly eight semicolons
// leaves the row as it is.
bool read_row(std::string_view line, tfreq_row& row, tpart part, std::string& message)
{
  if (std::count(line.begin(), line.end(), ';') != 8) return true;
  std::array<double, freq_count> values{};
  std::size_t start = 0;
  for (std::size_t f = 0; f < values.size(); ++f) {
    const auto semicolon = line.find(';', start);
    std::string_view field = line.substr(start, semicolon - start);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    const auto value = parse_field(field);
    if (!value) {
      message = bad_number(field);
      return false;
    }
    values[f] = *value;
    start = semicolon + 1;
  }
  for (std::size_t f = 0; f < values.size(); ++f) part_of(row[f], part) = values[f];
  return true;
}

// Reads the sections in their fixed order into `tables`; stops at the first
// bad field and reports it.
tfile_result read_sections(tline_reader& reader, tcalibration_tables& tables)
{
  struct tsection {
    std::string_view key;
    std::vector<tfreq_row*> rows;
  };
  const auto reference_rows = [](tref_table& table) {
    std::vector<tfreq_row*> rows;
    for (tfreq_row& row : table) rows.push_back(&row);
    return rows;
  };
  const std::array<tsection, 5> sections{{
      {"h_short", {&tables.h_short}},
      {"h_direct", {&tables.h_direct}},
      {"y_open", reference_rows(tables.y_open)},
      {"z_short", reference_rows(tables.z_short)},
      {"z_ref", reference_rows(tables.z_ref)},
  }};
  for (const tsection& section : sections) {
    if (reader.next() != section.key) continue;  // skipped without reading its data
    for (const tpart part : {tpart::real, tpart::imaginary}) {
      for (tfreq_row* row : section.rows) {
        std::string message;
        if (!read_row(reader.next(), *row, part, message)) return {false, message, {}};
      }
    }
  }
  return {};
}

// The tables under `publication_lock`.
tcalibration_tables published_tables()
{
  const std::lock_guard lock(publication_lock);
  return calibration;
}


// A byte source over a text in memory.
tbyte_source text_source(std::string_view text)
{
  return [text](char* data, std::size_t size) mutable {
    const std::size_t count = std::min(size, text.size());
    std::copy_n(text.data(), count, data);
    text.remove_prefix(count);
    return static_cast<long>(count);
  };
}

tbyte_source descriptor_source(const tread_descriptor& file)
{
  return [&file](char* data, std::size_t size) { return static_cast<long>(file.read_some(data, size)); };
}

// Streams the readable file into the descriptor, in pieces.
int copy_contents(const tread_descriptor& source, int destination)
{
  std::array<char, 65536> piece{};
  for (;;) {
    const ssize_t count = source.read_some(piece.data(), piece.size());
    if (count < 0) return errno;
    if (count == 0) return 0;
    if (const int written = write_all(destination, piece.data(), static_cast<std::size_t>(count)); written != 0) {
      return written;
    }
  }
}

}  // namespace

std::string calibration_file_text(const tcalibration_tables& tables)
{
  std::string text;
  append_frequency_table(text, "h_short", tables.h_short);
  append_frequency_table(text, "h_direct", tables.h_direct);
  append_reference_table(text, "y_open", tables.y_open);
  append_reference_table(text, "z_short", tables.z_short);
  append_reference_table(text, "z_ref", tables.z_ref);
  return text;
}

std::string calibration_backup_path(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + calibration_backup_name;
}

tfile_result cal_save(const std::string& path)
{
  tcalibration_tables tables;
  tcalibration_spreads spreads;
  {
    const std::lock_guard lock(publication_lock);
    tables = calibration;
    spreads = calibration_spreads;
  }
  const std::string text = calibration_file_text(tables);
  const int error_number =
      replace_regular_file(path, [&](int descriptor) { return write_all(descriptor, text.data(), text.size()); });
  if (error_number != 0) return io_error(error_number, path);
  return save_calibration_spreads(path, tables, spreads);
}

tfile_result read_calibration_text(std::string_view text, tcalibration_tables& tables)
{
  tline_reader reader(text_source(text));
  return read_sections(reader, tables);
}

namespace {

// The file's tables read over `tables`, published.
tfile_result load_over(const tread_descriptor& file, const std::string& path, tcalibration_tables tables)
{
  tline_reader reader(descriptor_source(file));
  tfile_result result = read_sections(reader, tables);
  if (result.ok && reader.error_number() != 0) result = io_error(reader.error_number(), path);
  if (!result.ok) result.file = path;
  // The file holds the values alone; their spreads come from beside it.
  tcalibration_spreads spreads;
  const tfile_result spread_result = load_calibration_spreads(path, tables, spreads);
  if (result.ok) result = spread_result;
  const std::lock_guard lock(publication_lock);
  calibration = tables;
  calibration_spreads = spreads;
  return result;
}

}  // namespace

tfile_result cal_load(const std::string& path)
{
  const tread_descriptor file(path);
  if (file.error_number() == ENOENT) return {};
  if (file.error_number() != 0) return io_error(file.error_number(), path);
  return load_over(file, path, published_tables());
}

tfile_result cal_revert(const std::string& path)
{
  const tread_descriptor file(path);
  if (file.error_number() == ENOENT) {
    const tcalibration_tables nominal = nominal_calibration_tables();
    const std::lock_guard lock(publication_lock);
    calibration = nominal;
    calibration_spreads = {};
    return {};
  }
  if (file.error_number() != 0) return io_error(file.error_number(), path);
  return load_over(file, path, nominal_calibration_tables());
}

tfile_result cal_backup(const std::string& path, const std::string& backup_path)
{
  const tread_descriptor source(path);
  if (source.error_number() == ENOENT) return {};  // no calibration yet: nothing to keep
  if (source.error_number() != 0) return io_error(source.error_number(), path);
  const int error_number =
      replace_regular_file(backup_path, [&](int descriptor) { return copy_contents(source, descriptor); });
  if (error_number != 0) return io_error(error_number, backup_path);
  // The spreads go with their values; a backup without them has unknown
  // ones, which the values check anyway.
  const tread_descriptor spreads(calibration_spread_path(path));
  if (spreads.error_number() != 0) return {};
  const std::string spread_backup = calibration_spread_path(backup_path);
  const int spread_error =
      replace_regular_file(spread_backup, [&](int descriptor) { return copy_contents(spreads, descriptor); });
  if (spread_error != 0) return io_error(spread_error, spread_backup);
  return {};
}

tfile_result cal_save_with_backup(const std::string& path, const std::string& backup_path)
{
  if (const tfile_target target = replaceable_file_target(path); target.error_number != 0) {
    return io_error(target.error_number, path);
  }
  if (tfile_result backup = cal_backup(path, backup_path); !backup.ok) return backup;
  return cal_save(path);
}

}  // namespace lcr
