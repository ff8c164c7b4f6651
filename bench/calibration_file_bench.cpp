// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/corrections/calibration_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string bench_file()
{
  return (std::filesystem::temp_directory_path() / "quarvel-bench.cal").string();
}

void BM_cal_save(benchmark::State& state)
{
  const std::string path = bench_file();
  for (auto _ : state) {
    const lcr::tfile_result result = lcr::cal_save(path);
    if (!result.ok) state.SkipWithError(result.message.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_cal_save)->Unit(benchmark::kMicrosecond);

void BM_cal_load(benchmark::State& state)
{
  const std::string path = bench_file();
  lcr::cal_save(path);
  for (auto _ : state) {
    const lcr::tfile_result result = lcr::cal_load(path);
    if (!result.ok) state.SkipWithError(result.message.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_cal_load)->Unit(benchmark::kMicrosecond);

}  // namespace
