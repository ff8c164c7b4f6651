#include "engine_state.h"

namespace lcr {

tengine_state engine;

void reset_engine_state()
{
  engine = tengine_state{};
}

}  // namespace lcr
