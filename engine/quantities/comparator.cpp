// SPDX-License-Identifier: GPL-3.0-or-later
#include "comparator.h"

#include <cmath>

namespace lcr {

tcomparison compare_to_nominal(double value, double deviation, double nominal, double tolerance_percent)
{
  tcomparison comparison;
  if (!(std::fabs(nominal) > 0.0) || !std::isfinite(value)) return comparison;
  comparison.delta_percent = (value - nominal) / std::fabs(nominal) * 100.0;
  const double uncertainty_percent = std::fabs(deviation) / std::fabs(nominal) * 100.0;
  const double off_percent = std::fabs(comparison.delta_percent);
  if (off_percent > tolerance_percent) {
    comparison.verdict = tverdict::fail;
  } else if (off_percent + uncertainty_percent > tolerance_percent) {
    comparison.verdict = tverdict::marginal;
  } else {
    comparison.verdict = tverdict::pass;
  }
  return comparison;
}

bool compares_second_quantity(std::string_view first_quantity_key)
{
  return first_quantity_key == "D" || first_quantity_key == "Q";
}

const char* verdict_text(tverdict verdict)
{
  switch (verdict) {
    case tverdict::pass: return "Gut";
    case tverdict::marginal: return "Grenzwertig";
    case tverdict::fail: break;
  }
  return "Schlecht";
}

const char* verdict_key(tverdict verdict)
{
  switch (verdict) {
    case tverdict::pass: return "pass";
    case tverdict::marginal: return "marginal";
    case tverdict::fail: break;
  }
  return "fail";
}

}  // namespace lcr
