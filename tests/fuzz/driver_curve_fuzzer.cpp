// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of the analyser's JSON curves on any bytes: a refused text
// gives no points and names why; an accepted one only rising positive
// frequencies with finite impedances and uncertainties that are 0 or more.

#include "engine/loudspeaker/driver_curve.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "driver curve fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const lcr::tdriver_curve curve = lcr::parse_curve_json(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!curve.ok()) {
    if (!curve.points.empty()) fail("a refused text gave points");
    return 0;
  }
  double previous = 0.0;
  for (const lcr::tdriver_point& point : curve.points) {
    if (!(point.frequency_hz > previous) || !std::isfinite(point.frequency_hz)) fail("a frequency not rising");
    if (!std::isfinite(point.z_ohm.real()) || !std::isfinite(point.z_ohm.imag())) fail("an impedance not finite");
    if (!(point.sigma_magnitude_ohm >= 0.0) || !(point.sigma_phase_rad >= 0.0)) fail("a negative uncertainty");
    previous = point.frequency_hz;
  }
  return 0;
}
