// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a page may ask of the window, which alone knows the sound devices,
// the timers and the other pages. The window implements these; a page's
// test gives it a fake. What the operator did on a page that concerns
// another page is announced with the page's Qt signals, and the window
// connects them. Window's thread.

#include "engine/calibration/calibration_steps.h"

#include <string>

namespace waveio {
class tsimulated_fixture;
}

class tstream_service {
public:
  virtual ~tstream_service() = default;
  // Closes both directions; opens the output, then the input, with the
  // device ids the streaming layer holds.
  virtual void close_streams() = 0;
  virtual void open_streams() = 0;
  // The simulated set-up follows what the calibration and setup pages
  // need, where the operator lets it ("automatisch").
  virtual void follow_set_up() = 0;
  virtual waveio::tsimulated_fixture& fixture() = 0;
};

// The remote control behind "SCPI-Port": "" when switched, else why not.
class tremote_switch {
public:
  virtual ~tremote_switch() = default;
  virtual std::string enable_remote(bool on) = 0;
};

// The calibration sweep, as the simulated set-up's "automatisch" follows it.
class tcalibration_progress {
public:
  virtual ~tcalibration_progress() = default;
  virtual bool sweep_running() const = 0;
  virtual lcr::tcal_mode selected_mode() const = 0;
};
