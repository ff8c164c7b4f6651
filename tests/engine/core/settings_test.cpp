// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/core/settings.h"
#include "support/fresh_engine.h"

#include <gtest/gtest.h>


namespace {

class Settings : public quarvel_test::fresh_engine {};

TEST_F(Settings, ConstantTables)
{
  EXPECT_EQ(lcr::test_frequencies, (std::array<int, 8>{100, 200, 500, 1000, 2000, 5000, 10000, 20000}));
  EXPECT_EQ(lcr::ref_resistors, (std::array<int, 6>{10, 100, 1000, 10000, 100000, 1000000}));
  // "Pegel" "1.00" is half a unit above full scale.
  EXPECT_EQ(lcr::level_table.back() * 65535.0 / 20000.0, 32767.5);
}

TEST_F(Settings, StartValues)
{
  lcr::settings.ref_index = 4;
  lcr::settings.tone_level = 0.0;
  lcr::settings.display_running = false;
  lcr::settings.request_average_rebuild = true;
  lcr::reset_settings();
  EXPECT_EQ(lcr::settings.ref_index, 0);
  EXPECT_EQ(lcr::settings.freq_index, 3);
  EXPECT_EQ(lcr::settings.tone_level, 1000.0);
  EXPECT_EQ(lcr::settings.ft_factor, 1);
  EXPECT_EQ(lcr::settings.avg_count, 0);
  EXPECT_EQ(lcr::settings.test_mode, 0);
  EXPECT_TRUE(lcr::settings.display_running);
  EXPECT_FALSE(lcr::settings.request_transform_rebuild);
  EXPECT_FALSE(lcr::settings.request_average_rebuild);
  EXPECT_EQ(lcr::current_frequency_hz(), 1000);
  EXPECT_EQ(lcr::current_ref_resistor_ohm(), 10);
}

TEST_F(Settings, RebuildRequestIsTakenOnce)
{
  EXPECT_FALSE(lcr::take_transform_rebuild_request());
  lcr::settings.request_transform_rebuild = true;
  EXPECT_TRUE(lcr::take_transform_rebuild_request());
  EXPECT_FALSE(lcr::take_transform_rebuild_request());
  lcr::settings.request_average_rebuild = true;
  EXPECT_FALSE(lcr::take_transform_rebuild_request());
  EXPECT_TRUE(lcr::take_average_rebuild_request());
}

TEST_F(Settings, IndicesOutsideTheTablesAreClamped)
{
  lcr::settings.freq_index = 11;
  lcr::settings.ref_index = -2;
  EXPECT_EQ(lcr::current_frequency_hz(), 20000);
  EXPECT_EQ(lcr::current_ref_resistor_ohm(), 10);
}

}  // namespace
