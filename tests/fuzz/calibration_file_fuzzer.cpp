// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration file's reader on any bytes: it never stores a value that
// is not finite, and what it loaded, saved again, reads back the same.

#include "engine/corrections/calibration_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool all_finite(const lcr::tfreq_row& row)
{
  for (const lcr::tcomplex& value : row) {
    if (!std::isfinite(value.re) || !std::isfinite(value.im)) return false;
  }
  return true;
}

bool all_finite(const lcr::tcalibration_tables& tables)
{
  bool finite = all_finite(tables.h_short) && all_finite(tables.h_direct);
  for (const auto* table : {&tables.y_open, &tables.z_short, &tables.z_ref}) {
    for (const lcr::tfreq_row& row : *table) finite = finite && all_finite(row);
  }
  return finite;
}

// Every entry of a table set to one value, so that a row the reader left
// alone shows.
lcr::tcalibration_tables filled_with(double value)
{
  lcr::tcalibration_tables tables;
  const auto fill = [value](lcr::tfreq_row& row) { row.fill({value, -value}); };
  fill(tables.h_short);
  fill(tables.h_direct);
  for (auto* table : {&tables.y_open, &tables.z_short, &tables.z_ref}) {
    for (lcr::tfreq_row& row : *table) fill(row);
  }
  return tables;
}

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "calibration file fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  lcr::tcalibration_tables loaded = lcr::nominal_calibration_tables();
  const lcr::tfile_result result = lcr::read_calibration_text(text, loaded);
  if (!result.ok && result.message.empty()) fail("an error without a message");
  if (!all_finite(loaded)) fail("a value that is not finite was loaded");

  const std::string saved = lcr::calibration_file_text(loaded);
  lcr::tcalibration_tables reloaded = filled_with(7.25);
  if (!lcr::read_calibration_text(saved, reloaded).ok) fail("a saved file does not load");
  if (lcr::calibration_file_text(reloaded) != saved) fail("a saved file reads back different");
  return 0;
}
