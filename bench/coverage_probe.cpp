// SPDX-License-Identifier: GPL-3.0-or-later
// Not a benchmark: how often the meter's readings lie within their own
// figures, counted against the exact impedance of simulated networks on
// the simulated set-up's virtual clock. For each set-up (ideal and quiet,
// ideal with noise, realistic and calibrated, realistic, calibrated and
// noisy) and each way of measuring (the single tone at several "FT Faktor"
// and "Mittelwert", the multitone) it measures a dozen networks at every
// test frequency with the reference the meter recommends and prints, for
// |Z| and the phase, the share of readings within their statistical
// uncertainty (k = 2) and within their worst-case deviation, and the
// largest error in units of each.
//
//   build/default/bench/coverage_probe [--repeats N] [--quick] [--set-up TEXT] [--way TEXT]
//
// (only the set-ups and ways whose names contain the texts)

#include "support/coverage_survey.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quarvel_test::tcoverage;
using quarvel_test::tcoverage_result;
using quarvel_test::tcoverage_set_up;
using quarvel_test::tcoverage_survey;
using quarvel_test::tcoverage_way;

void print_row(const char* set_up, const char* way, const char* figure, const tcoverage& c)
{
  const double known = std::max(c.readings - c.unknown_uncertainty, 1);
  std::printf("| %-31s | %-20s | %-12s | %6d | %6.1f %% | %5d | %8.2f | %6.1f %% | %8.3f |\n", set_up, way, figure,
              c.readings, 100.0 * c.within_uncertainty / known, c.unknown_uncertainty, c.worst_in_uncertainties,
              100.0 * c.within_deviation / std::max(c.readings, 1), c.worst_in_deviations);
}

}  // namespace

int main(int argc, char** argv)
{
  int repeats = 3;
  bool quick = false;
  std::string only_set_up;
  std::string only_way;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--repeats" && i + 1 < argc) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--quick") {
      quick = true;
    } else if (argument == "--set-up" && i + 1 < argc) {
      only_set_up = argv[++i];
    } else if (argument == "--way" && i + 1 < argc) {
      only_way = argv[++i];
    } else {
      std::fprintf(stderr, "usage: coverage_probe [--repeats N] [--quick] [--set-up TEXT] [--way TEXT]\n");
      return argument == "--help" ? 0 : 2;
    }
  }
  const std::vector<tcoverage_set_up> set_ups{{"ideal, quiet", false, 0.0},
                                     {"ideal, noise 30", false, 30.0},
                                     {"ideal, noise 300", false, 300.0},
                                     {"realistic, calibrated, noise 1", true, 1.0},
                                     {"realistic, calibrated, noise 30", true, 30.0}};
  std::vector<tcoverage_way> ways{{"single FT 1, Mw 1", false, 1, 1},
                         {"single FT 4, Mw 4", false, 4, 4, true},
                         {"single FT 1, Mw 16", false, 1, 16},
                         {"multitone FT 1, Mw 4", true, 1, 4, true}};
  if (quick) ways.resize(2);
  std::printf("| set-up | way | value | readings | within u (k=2) | u unknown | worst error/u | within deviation | worst "
              "error/deviation |\n|---|---|---|---|---|---|---|---|---|\n");
  for (const tcoverage_set_up& set_up : set_ups) {
    if (std::string_view(set_up.name).find(only_set_up) == std::string_view::npos) continue;
    tcoverage_survey probe(set_up, repeats);
    for (const tcoverage_way& way : ways) {
      if (std::string_view(way.name).find(only_way) == std::string_view::npos) continue;
      const tcoverage_result result = probe.measure(way);
      print_row(set_up.name, way.name, "|Z|", result.magnitude);
      print_row(set_up.name, way.name, "phi", result.phase);
      if (way.functions) print_row(set_up.name, way.name, "20 functions", result.functions);
      std::fflush(stdout);
    }
  }
  return 0;
}
