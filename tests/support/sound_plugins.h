// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// ALSA loads its plugin modules (PulseAudio, JACK, a52, sample-rate
// converters, …) while PortAudio lists the devices, and unloads them again.
// Some of the libraries they pull in allocate in their static initialisers
// and never free; once unloaded, LeakSanitizer finds those blocks
// unreferenced and reports them as leaks of "<unknown module>", which no
// suppression can name. Kept loaded for the whole test program, the blocks
// stay reachable from the libraries' own data and are not leaks; leaks in
// Quarvel's own code are still reported. Only the tests that open real
// devices call this.

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace quarvel_test {

inline void keep_sound_plugins_loaded()
{
  // The plugins live in "alsa-lib" beside the ALSA library itself.
  void* const symbol = ::dlsym(RTLD_DEFAULT, "snd_pcm_open");
  Dl_info library{};
  if (symbol == nullptr || ::dladdr(symbol, &library) == 0 || library.dli_fname == nullptr) return;
  const std::filesystem::path plugins = std::filesystem::path(library.dli_fname).parent_path() / "alsa-lib";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(plugins, error)) {
    if (entry.path().extension() != ".so") continue;
    // A module whose own libraries are missing is simply not kept.
    ::dlopen(entry.path().c_str(), RTLD_NOW | RTLD_NODELETE);
  }
}

}  // namespace quarvel_test
