#include "calibration_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lcr {

namespace {

constexpr std::string_view line_end = "\r\n";

std::string io_error(int error_number)
{
  return "E/A-Fehler " + std::to_string(error_number);
}

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

// The directory part of a path ("." for a bare file name).
std::string directory_of(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes `text` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. On any failure the old file stays as it was.
tfile_result replace_file_atomically(const std::string& path, std::string_view text)
{
  std::string temporary = path + ".XXXXXX";
  const int descriptor = ::mkstemp(temporary.data());
  if (descriptor < 0) return {false, io_error(errno)};
  ::fchmod(descriptor, 0644);
  std::size_t written = 0;
  int error_number = 0;
  while (written < text.size()) {
    const ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      error_number = errno;
      break;
    }
    written += static_cast<std::size_t>(count);
  }
  if (error_number == 0 && ::fsync(descriptor) != 0) error_number = errno;
  if (::close(descriptor) != 0 && error_number == 0) error_number = errno;
  if (error_number == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error_number = errno;
  if (error_number != 0) {
    ::unlink(temporary.c_str());
    return {false, io_error(error_number)};
  }
  // Make the rename itself durable.
  const int directory = ::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return {};
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

// Longer than any line the file can usefully hold (a data line has 136
// characters); the rest of a longer line is skipped, so that no file can
// make reading take unbounded memory.
constexpr std::size_t longest_line = 4096;

class tline_reader {
public:
  explicit tline_reader(std::istream& input) : input_(input) {}

  // The next line without its line end; past the end of the file, "".
  std::string next()
  {
    std::string line;
    for (int c = input_.get(); c != std::char_traits<char>::eof() && c != '\n'; c = input_.get()) {
      if (line.size() < longest_line) line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

private:
  std::istream& input_;
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
        if (!read_row(reader.next(), *row, part, message)) return {false, message};
      }
    }
  }
  return {};
}

}  // namespace

std::string calibration_field(double value)
{
  if (!std::isfinite(value)) value = 0.0;
  std::array<char, 48> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                          std::chars_format::scientific, 7);
  const std::string_view text(digits.data(), static_cast<std::size_t>(end - digits.data()));
  const auto e = text.find('e');
  std::string exponent(text.substr(e + 2));
  while (exponent.size() < 3) exponent.insert(exponent.begin(), '0');
  std::string field = std::string(text.substr(0, e)) + "E" + text[e + 1] + exponent;
  if (field.size() < 15) field.insert(0, 15 - field.size(), ' ');
  return field;
}

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

tfile_result cal_save(const std::string& path)
{
  tcalibration_tables tables;
  {
    const std::lock_guard lock(publication_lock);
    tables = calibration;
  }
  return replace_file_atomically(path, calibration_file_text(tables));
}

tfile_result cal_load(const std::string& path)
{
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return {};
    return {false, io_error(errno)};
  }
  // Only a plain file: a directory, a pipe or a device could block or
  // never end.
  if (S_ISDIR(status.st_mode)) return {false, io_error(EISDIR)};
  if (!S_ISREG(status.st_mode)) return {false, io_error(EINVAL)};
  errno = 0;
  std::ifstream input(path, std::ios::binary);
  if (!input) return {false, io_error(errno != 0 ? errno : EIO)};

  tcalibration_tables tables;
  {
    const std::lock_guard lock(publication_lock);
    tables = calibration;
  }
  tline_reader reader(input);
  const tfile_result result = read_sections(reader, tables);
  const std::lock_guard lock(publication_lock);
  calibration = tables;
  return result;
}

tfile_result cal_backup(const std::string& path, const std::string& backup_path)
{
  std::ifstream input(path, std::ios::binary);
  if (!input) return {};  // no calibration yet: nothing to keep
  std::ostringstream contents;
  contents << input.rdbuf();
  return replace_file_atomically(backup_path, contents.str());
}

}  // namespace lcr
