// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's reader on any bytes: the twelve values written into
// what it read come back as written, other sections keep their text, and a
// written file reads back to the same text.

#include "ui/settings/settings_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "settings file fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string text(reinterpret_cast<const char*>(data), size);
  quarvel_ui::tini_file ini(text);
  const quarvel_ui::tsettings_values read = quarvel_ui::read_settings_values(ini);
  if (read.wavedevintext.size() > quarvel_ui::tini_file::max_value_bytes) fail("a text longer than the limit");

  // What a window that changed nothing would write at closing.
  const quarvel_ui::tsettings_values written = read;
  quarvel_ui::write_settings_values(ini, written);
  const std::string saved = ini.text();
  const quarvel_ui::tini_file reread(saved);
  if (!(quarvel_ui::read_settings_values(reread) == written)) fail("written values read back different");
  if (reread.text() != saved) fail("a written file reads back to another text");
  return 0;
}
