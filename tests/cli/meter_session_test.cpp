// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line meter's session on devices that misbehave: it reports
// and leaves nothing running.

#include "audio/streaming.h"
#include "cli/meter_session.h"
#include "engine/measurement/measurement_cycle.h"
#include "support/fake_backend.h"
#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

namespace {

class MeterSession : public quarvel_test::fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    lcr::reset_engine_state();
    waveio::reset_stream_state();
    options.cal_file = directory.path() + "/absent.cal";
  }
  void TearDown() override { waveio::reset_stream_state(); }

  quarvel_test::temporary_directory directory;
  quarvel_cli::tmeter_options options;
  quarvel_test::fake_backend devices;
};

TEST_F(MeterSession, DeviceThatDoesNotOpenIsReportedAndNothingStaysOpen)
{
  devices.open_in_result = waveio::MMSYSERR_ALLOCATED;
  try {
    quarvel_cli::tmeter_session session(options, devices);
    FAIL() << "the session opened a device that refused";
  } catch (const quarvel_cli::device_error& error) {
    EXPECT_EQ(std::string(error.what()), "the input device 'Fake input 0' could not be opened");
  }
  EXPECT_FALSE(waveio::stream.worker.joinable());
  EXPECT_FALSE(waveio::stream.in_handle);
  EXPECT_FALSE(waveio::stream.out_handle);
  EXPECT_TRUE(devices.out_log->closed);

  // The next attempt on a working device streams.
  quarvel_test::fake_backend working;
  quarvel_cli::tmeter_session session(options, working);
  EXPECT_TRUE(waveio::stream.input_running);
  EXPECT_TRUE(waveio::stream.output_running);
}

TEST_F(MeterSession, NoDevicesAtAll)
{
  devices.input_devices = 0;
  EXPECT_THROW(quarvel_cli::tmeter_session(options, devices), quarvel_cli::device_error);
  devices.input_devices = 1;
  devices.output_devices = 0;
  EXPECT_THROW(quarvel_cli::tmeter_session(options, devices), quarvel_cli::device_error);
  EXPECT_FALSE(waveio::stream.worker.joinable());
}

TEST_F(MeterSession, DeviceByNumberOutOfRange)
{
  options.in_device = "1e300";
  EXPECT_THROW(quarvel_cli::tmeter_session(options, devices), quarvel_cli::usage_error);
  options.in_device = "-1";
  EXPECT_THROW(quarvel_cli::tmeter_session(options, devices), quarvel_cli::usage_error);
  options.in_device = "0.5";
  EXPECT_THROW(quarvel_cli::tmeter_session(options, devices), quarvel_cli::usage_error);
}

TEST_F(MeterSession, DeviceThatStopsDeliveringEndsTheRun)
{
  quarvel_cli::tmeter_session session(options, devices);
  devices.fail_input();
  EXPECT_THROW(session.run_until(48000), quarvel_cli::device_error);
}

}  // namespace
