// SPDX-License-Identifier: GPL-3.0-or-later
#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace quarvel_cli {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_interrupt(int)
{
  interrupted.store(true);
}

}  // namespace

void catch_interrupts()
{
  interrupted.store(false);
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
}

bool interrupt_requested()
{
  return interrupted.load();
}

}  // namespace quarvel_cli
