// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser's calibration reader on any bytes: a refused text leaves the
// calibration as it was and says why; an accepted one, written again,
// reads back equal.

#include "engine/analyser/analyser_calibration_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what)
{
  std::fprintf(stderr, "analyser calibration fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  lcr::tanalyser_calibration before;
  before.points[1000.0].h_short = {{1e-5, 2e-6}, {}, true};
  lcr::tanalyser_calibration read = before;
  const lcr::tfile_result result =
      lcr::read_analyser_calibration_text(std::string_view(reinterpret_cast<const char*>(data), size), read);
  if (!result.ok) {
    if (result.message.empty()) fail("an error without a message");
    if (!(read == before)) fail("a refused text changed the calibration");
    return 0;
  }
  lcr::tanalyser_calibration again;
  if (!lcr::read_analyser_calibration_text(lcr::analyser_calibration_text(read), again).ok) {
    fail("a written calibration does not read back");
  }
  if (!(again == read)) fail("a written calibration reads back otherwise");
  return 0;
}
