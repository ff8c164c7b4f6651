// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/quantities/quantity_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace quarvel_test {

// Every engine test starts from the program-start state of the process-wide
// settings and tables, whatever an earlier test left behind.
class fresh_engine : public ::testing::Test {
protected:
  void SetUp() override
  {
    lcr::reset_settings();
    lcr::reset_calibration_tables();
    lcr::set_decimal_separator(',');
  }
};

// Relative difference of a to b, safe for b = 0.
inline double relative_error(double a, double b)
{
  const double scale = std::max(std::fabs(a), std::fabs(b));
  return scale > 0.0 ? std::fabs(a - b) / scale : 0.0;
}

}  // namespace quarvel_test
