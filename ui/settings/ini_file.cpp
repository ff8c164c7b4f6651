// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ini_file.h"

#include "engine/core/safe_file.h"

#include <QSaveFile>
#include <QString>

#include <array>
#include <filesystem>
#include <cerrno>
#include <charconv>

namespace quarvel_ui {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text)
{
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

char ascii_lower(char c)
{
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: the original file's names are plain ASCII, and
// folding UTF-8 bytes would need a locale.
bool same_name(std::string_view a, std::string_view b)
{
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string_view> header_name(std::string_view line)
{
  const std::string_view text = trim(line);
  if (!text.starts_with('[')) return std::nullopt;
  const auto close = text.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(text.substr(1, close - 1));
}

bool is_comment(std::string_view line)
{
  const std::string_view text = trim(line);
  return text.starts_with(';') || text.starts_with('#');
}

std::optional<std::string_view> key_name(std::string_view line)
{
  if (is_comment(line) || header_name(line)) return std::nullopt;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = trim(line.substr(0, equals));
  if (key.empty()) return std::nullopt;
  return key;
}

std::string_view value_of(std::string_view key_line)
{
  return trim(key_line.substr(key_line.find('=') + 1));
}

// Cuts at `max_bytes`, moving back to the start of a UTF-8 character that
// the cut would split.
std::string_view cut_at_character(std::string_view text, std::size_t max_bytes)
{
  if (text.size() <= max_bytes) return text;
  std::size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::optional<std::int32_t> parse_integer(std::string_view text)
{
  bool hexadecimal = false;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    hexadecimal = true;
  } else if (text.starts_with('$')) {
    text.remove_prefix(1);
    hexadecimal = true;
  }
  bool negative = false;
  if (!hexadecimal && (text.starts_with('+') || text.starts_with('-'))) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // An unsigned target takes no sign, so "+-5" and "0x-5" stay invalid.
  std::uint64_t magnitude = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, magnitude, hexadecimal ? 16 : 10);
  if (error != std::errc{} || stop != end) return std::nullopt;
  // Out of range reads as invalid rather than wrapped: a wrapped index would
  // select an arbitrary item.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  if (magnitude > limit) return std::nullopt;
  const auto value = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::string one_line(std::string_view value)
{
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

}  // namespace

tini_file::tini_file(std::string_view text)
{
  if (text.starts_with(byte_order_mark)) {
    byte_order_mark_ = true;
    text.remove_prefix(byte_order_mark.size());
  }
  while (!text.empty()) {
    const auto line_feed = text.find('\n');
    std::string_view line = text.substr(0, line_feed);
    text.remove_prefix(line_feed == std::string_view::npos ? text.size() : line_feed + 1);
    if (line_feed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines_.emplace_back(line);
  }
}

std::optional<tini_file> tini_file::load(const std::string& path)
{
  return read(path).file;
}

tini_file::tloaded tini_file::read(const std::string& path)
{
  const lcr::tfile_text file = lcr::read_regular_text(path, max_file_bytes);
  if (file.error_number == ENOENT) return {tini_file{}};
  if (file.error_number != 0) return {std::nullopt, tload_failure::unreadable};
  if (file.too_large) return {std::nullopt, tload_failure::too_large};
  return {tini_file(file.text)};
}

std::string save_staging_directory(const std::string& path)
{
  const fs::path file(path);
  return (file.parent_path() / ("." + file.filename().string() + ".saving")).string();
}

namespace {

bool write_with_save_file(const std::string& path, const std::string& contents, bool direct_fallback)
{
  QSaveFile file(QString::fromStdString(path));
  file.setDirectWriteFallback(direct_fallback);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const auto size = static_cast<qint64>(contents.size());
  // Without a commit, QSaveFile discards the new text and the old file stays.
  return file.write(contents.data(), size) == size && file.commit();
}

}  // namespace

bool tini_file::save(const std::string& path) const
{
  const lcr::tfile_target target = lcr::replaceable_file_target(path);
  if (target.error_number != 0) return false;
  // The replacement keeps the owner and mode of the file it replaces, as
  // the calibration file's does: root saving a user's file leaves it theirs.
  const lcr::tfile_identity identity = lcr::file_identity(target.path);
  const std::string contents = text();
  // QSaveFile names its temporary beside its file: it writes in a folder
  // of the program's own, so that what a kill leaves there cannot be taken
  // for one of the operator's files, and the whole new file is renamed over
  // the old one in one step.
  std::error_code error;
  const fs::path staging = save_staging_directory(target.path);
  fs::create_directory(staging, error);
  const fs::path staged = staging / fs::path(target.path).filename();
  bool saved = false;
  if (!error && write_with_save_file(staged.string(), contents, false)) {
    fs::rename(staged, target.path, error);
    saved = !error;
  }
  fs::remove(staged, error);
  fs::remove(staging, error);  // only when empty: another save may be under way
  // A folder that takes no new entries: QSaveFile's own way, which rewrites
  // the file in place there.
  if (!saved) saved = write_with_save_file(target.path, contents, true);
  if (saved) lcr::keep_identity(target.path, identity);
  return saved;
}

std::string tini_file::read_string(std::string_view section, std::string_view key,
                                   std::string_view fallback) const
{
  const auto line = find_key(section, key);
  if (!line) return std::string(fallback);
  // A stray carriage return inside a value reads as the blank it is
  // written as, so that a value read and written again reads the same.
  const std::string value = one_line(value_of(lines_[*line]));
  return std::string(cut_at_character(trim(value), max_value_bytes));
}

std::int32_t tini_file::read_integer(std::string_view section, std::string_view key,
                                     std::int32_t fallback) const
{
  const auto line = find_key(section, key);
  if (!line) return fallback;
  return parse_integer(value_of(lines_[*line])).value_or(fallback);
}

bool tini_file::read_bool(std::string_view section, std::string_view key, bool fallback) const
{
  return read_integer(section, key, fallback ? 1 : 0) != 0;
}

bool tini_file::section_has_keys(std::string_view section) const
{
  const auto header = find_header(section);
  if (!header) return false;
  const std::size_t end = section_end(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (key_name(lines_[i])) return true;
  }
  return false;
}

void tini_file::erase_section(std::string_view section)
{
  while (const auto header = find_header(section)) {
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(*header);
    const auto last = lines_.begin() + static_cast<std::ptrdiff_t>(section_end(*header));
    lines_.erase(first, last);
  }
}

void tini_file::write_string(std::string_view section, std::string_view key, std::string_view value)
{
  std::string line = std::string(key) + "=" + one_line(value);
  const auto header = find_header(section);
  if (!header) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
    return;
  }
  if (const auto existing = find_key(section, key)) {
    lines_[*existing] = std::move(line);
    return;
  }
  // After the last key, so that blank and comment lines that lead into the
  // next section stay in front of it.
  std::size_t insert_at = *header + 1;
  const std::size_t end = section_end(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (key_name(lines_[i])) insert_at = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(line));
}

void tini_file::write_integer(std::string_view section, std::string_view key, std::int32_t value)
{
  write_string(section, key, std::to_string(value));
}

void tini_file::write_bool(std::string_view section, std::string_view key, bool value)
{
  write_string(section, key, value ? "1" : "0");
}

// Always CR LF, whatever the file had: settings files of this format have
// always been written so where they come from, and a file carried between
// systems then stays the same file. Reading takes either line end.
std::string tini_file::text() const
{
  std::string text = byte_order_mark_ ? std::string(byte_order_mark) : std::string();
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::optional<std::size_t> tini_file::find_header(std::string_view section) const
{
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = header_name(lines_[i]);
    if (name && same_name(*name, section)) return i;
  }
  return std::nullopt;
}

std::size_t tini_file::section_end(std::size_t header) const
{
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    if (header_name(lines_[i])) return i;
  }
  return lines_.size();
}

std::optional<std::size_t> tini_file::find_key(std::string_view section, std::string_view key) const
{
  const auto header = find_header(section);
  if (!header) return std::nullopt;
  const std::size_t end = section_end(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    const auto name = key_name(lines_[i]);
    if (name && same_name(*name, key)) return i;
  }
  return std::nullopt;
}

}  // namespace quarvel_ui
