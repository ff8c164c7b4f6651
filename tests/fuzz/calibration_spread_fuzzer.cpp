// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration spreads' reader on any bytes: a refused text gives
// nothing but the spreads of a file without them, an accepted one only
// spreads that are variances, and what it read, written again, reads back
// with the same entries known and unknown.

#include "engine/corrections/calibration_spread_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// Tables whose entries the seed files name.
lcr::tcalibration_tables seeded_tables()
{
  lcr::tcalibration_tables tables = lcr::nominal_calibration_tables();
  tables.h_short[0] = {1.5e-5, -2e-6};
  tables.z_ref[2][3] = {1003.21, -0.4567};
  tables.y_open[2][3] = {2e-9, 9.4e-8};
  return tables;
}

template <typename Visit>
void for_each_spread(const lcr::tcalibration_spreads& spreads, Visit visit)
{
  for (const lcr::tentry_spread& spread : spreads.h_short) visit(spread);
  for (const lcr::tentry_spread& spread : spreads.h_direct) visit(spread);
  for (const auto* table : {&spreads.y_open, &spreads.z_short, &spreads.z_ref}) {
    for (const auto& row : *table) {
      for (const lcr::tentry_spread& spread : row) visit(spread);
    }
  }
}

bool is_variance(const lcr::tratio_spread& s)
{
  return std::isfinite(s.var_re) && std::isfinite(s.var_im) && std::isfinite(s.cov) && s.var_re >= 0.0 &&
         s.var_im >= 0.0 && s.cov * s.cov <= s.var_re * s.var_im * (1.0 + 1e-6);
}

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "calibration spread fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const lcr::tcalibration_tables tables = seeded_tables();
  lcr::tcalibration_spreads read;
  const lcr::tfile_result result = lcr::read_calibration_spread_text(text, tables, read);
  if (!result.ok) {
    if (result.message.empty()) fail("an error without a message");
    if (!(read == lcr::spreads_without_record(tables))) fail("a refused text gave spreads");
    return 0;
  }
  for_each_spread(read, [](const lcr::tentry_spread& spread) {
    if (spread.spread.valid && (spread.unknown || !is_variance(spread.spread))) fail("a spread that is no variance");
  });
  lcr::tcalibration_spreads again;
  if (!lcr::read_calibration_spread_text(lcr::calibration_spread_text(tables, read), tables, again).ok) {
    fail("a written text does not read back");
  }
  const auto states = [](const lcr::tcalibration_spreads& spreads) {
    std::string flags;
    for_each_spread(spreads, [&](const lcr::tentry_spread& spread) {
      flags += spread.unknown ? 'u' : spread.spread.valid ? 'k' : '-';
    });
    return flags;
  };
  if (states(read) != states(again)) fail("a written text reads back with other entries known");
  return 0;
}
