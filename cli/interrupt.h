// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ctrl-C and SIGTERM end a running command cleanly: the loop sees the flag
// and returns, so the devices close and the exit code is the command's own.

namespace quarvel_cli {

void catch_interrupts();
bool interrupt_requested();

}  // namespace quarvel_cli
