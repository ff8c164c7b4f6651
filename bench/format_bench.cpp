// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/quantities/quantity_texts.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string_view>

namespace {

void BM_format_quantity(benchmark::State& state)
{
  lcr::set_decimal_separator(',');
  lcr::tlcr_strings record;
  record.quantity.assign(state.range(0) == 0 ? std::string_view("C") : std::string_view("Q"));
  const int full_precision = static_cast<int>(state.range(1));
  constexpr std::array<double, 8> values{4.7e-9, 1.5e3, 0.25, -45.0, 2.2e6, 0.00005, 500.0, 3.3e-13};
  std::size_t i = 0;
  for (auto _ : state) {
    lcr::format_quantity(full_precision, record, values[i++ % values.size()]);
    benchmark::DoNotOptimize(record.value_text.data());
  }
}
BENCHMARK(BM_format_quantity)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"dimensionless", "full_precision"});

}  // namespace
