// SPDX-License-Identifier: GPL-3.0-or-later
// The .zma reader on any bytes: a refused text gives no points and names
// why; an accepted one only rising positive frequencies, |Z| ≥ 0 and phases
// within ±180°, and what it read, written again, reads back the same.

#include "engine/analyser/zma_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "zma fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const lcr::tzma_curve curve = lcr::parse_zma(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!curve.ok()) {
    if (!curve.points.empty()) fail("a refused text gave points");
    return 0;
  }
  double previous = 0.0;
  for (const lcr::tzma_point& point : curve.points) {
    if (!(point.frequency_hz > previous) || !std::isfinite(point.frequency_hz)) fail("a frequency not rising");
    if (!(point.magnitude_ohm >= 0.0) || !std::isfinite(point.magnitude_ohm)) fail("a |Z| not a magnitude");
    if (!(std::fabs(point.phase_deg) <= 180.0)) fail("a phase beyond 180 degrees");
    previous = point.frequency_hz;
  }
  const lcr::tzma_curve again = lcr::parse_zma(lcr::format_zma(curve.points, {"again"}));
  if (!again.ok() || again.points != curve.points) fail("a written curve does not read back");
  return 0;
}
