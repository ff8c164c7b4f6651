// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated device's thread ends whenever it is told to, also when the
// stop comes in the instant between its reading of the wake word and its
// test of the stop flag: held there by the seam, it is stopped and then let
// go. Read in the other order, the thread would sleep through the one
// wake-up the destructor sends, and the join would never return.

#include "audio/simulated/simulated_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

namespace {

TEST(SimulatedDeviceThread, AStopBetweenTheWakeReadAndTheStopTestEndsIt)
{
  std::atomic<bool> armed{false};
  std::promise<void> held;
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  waveio::tdevice_thread_seam seam;
  seam.before_stop_test = [&] {
    if (!armed.exchange(false)) return;
    held.set_value();
    release.wait();
  };
  seam.stop_signalled = [&] { released.set_value(); };

  waveio::tfixture_config config;
  config.clock = waveio::tclock::virtual_time;  // input closed: nothing wakes the thread but a notify
  auto device = std::make_unique<waveio::tsimulated_device>([] { return 0; }, config, seam);
  armed = true;
  device->set_configuration(config);  // wakes the sleeping thread into the seam
  held.get_future().wait();
  device.reset();  // stop, wake, let the thread go, join
  EXPECT_FALSE(armed.load());
}

}  // namespace
