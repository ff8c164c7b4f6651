// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/measurement/measurement_cycle.h"
#include "support/fresh_engine.h"
#include "support/manual_stream.h"

#include <memory>

namespace quarvel_test {

// An engine as the window leaves it after creation: defaults pushed,
// engine_init run, mode "Z/phi", the recommendation's key "R"; streaming
// through a manual stream.
class fresh_engine_cycle : public fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    lcr::reset_engine_state();
    stream = std::make_unique<manual_stream>();
    lcr::engine_init();
    lcr::set_meas_mode_quantities(0);
    lcr::engine.ref_quantity.quantity = "R";
  }

  void TearDown() override { stream.reset(); }

  std::unique_ptr<manual_stream> stream;
};

}  // namespace quarvel_test
