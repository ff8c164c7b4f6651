// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace quarvel_cli {

// quarvel-cli serve [--listen ADDR] [--port N] [measure's device options]:
// the meter, remote-controlled over TCP with the instrument command
// language, until Ctrl-C or SIGTERM.
int run_serve(std::span<const char* const> arguments);

}  // namespace quarvel_cli
