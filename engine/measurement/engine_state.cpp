// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_state.h"

namespace lcr {

tengine_state engine;

void reset_engine_state()
{
  engine = tengine_state{};
}

}  // namespace lcr
