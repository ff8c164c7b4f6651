// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An initialisation file of sections ("[options]") and keys ("key=value"),
// read and written the way the meter's settings file has always been, and
// keeping every line it is not asked to change.
//
// Lines are classified when they are looked at: a section header is a line
// whose first non-blank character is "[" and which holds a "]"; a comment
// starts with ";" or "#"; a key line holds "=" after a non-empty key; any
// other line is kept as it is and means nothing. A section runs from its
// header to the next header; lines before the first header belong to no
// section. Section and key names match without regard to ASCII case, and
// blanks (spaces and tabs) around names and values are not part of them.
// When a name occurs twice, the first section and its first key count.
//
// Called on the window's thread only; the object is not shared.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel_ui {

class tini_file {
public:
  // Longest text value that reads, in bytes; a UTF-8 character that would
  // be cut is dropped whole.
  static constexpr std::size_t max_value_bytes = 2047;
  // Larger files are not the settings file and are refused, and said so:
  // far beyond what any settings file with comments of its owner holds.
  static constexpr std::size_t max_file_bytes = std::size_t{64} << 20;

  enum class tload_failure { none, unreadable, too_large };
  struct tloaded;

  // A file without any line.
  tini_file() = default;

  // The lines of `text`, ended by LF or CR LF (the last line may lack one).
  explicit tini_file(std::string_view text);

  // Reads the file at `path`. No file there reads as a file without lines;
  // anything but a regular file (or a link to one), a file that cannot be
  // read and one over `max_file_bytes` give nothing, so that a save never
  // replaces what was not read. Never blocks on a pipe or device.
  static std::optional<tini_file> load(const std::string& path);
  // The same, with the reason when there is nothing.
  static tloaded read(const std::string& path);

  // Replaces the file at `path` (or creates it; its directory must exist)
  // with `text()` in one step: a failure or a kill leaves the old file.
  // Only a writable file in a write-protected directory is rewritten in
  // place, the one way it can be written at all. Refuses anything but a
  // regular file and a file without any write permission (whoever runs the
  // program). Links are followed and stay; the old file's permission bits
  // are kept. True when the whole text is on disk.
  bool save(const std::string& path) const;

  // The value of `key` in `section`, up to `max_value_bytes`; `fallback`
  // when there is no such key.
  std::string read_string(std::string_view section, std::string_view key, std::string_view fallback) const;

  // Decimal with an optional sign, or hexadecimal after "0x", "0X" or "$"
  // (no sign). A missing key, any other text and a value outside the 32-bit
  // range give `fallback`.
  std::int32_t read_integer(std::string_view section, std::string_view key, std::int32_t fallback) const;

  // An integer as above; true when it is not 0.
  bool read_bool(std::string_view section, std::string_view key, bool fallback) const;

  // True when `section` exists and holds at least one key line.
  bool section_has_keys(std::string_view section) const;

  // Removes every header named `section` with all lines up to the next
  // header.
  void erase_section(std::string_view section);

  // Sets `key` to `value`: an existing key line is rewritten in place, a new
  // one goes after the section's last key (after its header when it has
  // none), and a missing section is appended at the end of the file. Line
  // breaks in `value` become blanks. `section` must hold no "]", `key` no
  // "=", and neither a line break.
  void write_string(std::string_view section, std::string_view key, std::string_view value);
  // Decimal, with "-" when negative.
  void write_integer(std::string_view section, std::string_view key, std::int32_t value);
  // "1" or "0".
  void write_bool(std::string_view section, std::string_view key, bool value);

  // The file's text: every line with CR LF after it.
  std::string text() const;

private:
  std::optional<std::size_t> find_header(std::string_view section) const;
  std::size_t section_end(std::size_t header) const;
  std::optional<std::size_t> find_key(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;  // without their line ends
  bool byte_order_mark_ = false;    // a UTF-8 mark before the first line
};

struct tini_file::tloaded {
  std::optional<tini_file> file;
  tload_failure failure = tload_failure::none;
};

// The program's own folder beside a file where its saves are written
// before they are renamed over it: ".Quarvel.ini.saving" for "Quarvel.ini".
// Anything in it is the program's.
std::string save_staging_directory(const std::string& path);

}  // namespace quarvel_ui
