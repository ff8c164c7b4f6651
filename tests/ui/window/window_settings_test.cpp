// SPDX-License-Identifier: GPL-3.0-or-later
// "Quarvel.ini" through the window: what a file restores, what closing
// writes, and that a failed write is reported, not lost silently.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/settings/settings_file.h"

#include "engine/core/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using quarvel_test::read_file;
using quarvel_test::write_file;

class WindowSettings : public quarvel_test::window_fixture {
protected:
  quarvel_ui::tsettings_values stored() const { return quarvel_ui::load_settings_values(settings_path()); }
};

TEST_F(WindowSettings, OddValuesAreClampedOrIgnoredAndTheRestIsRead)
{
  write_file(settings_path(),
             "[other]\r\nkeep=me\r\n[options]\r\nmeasmodeindex=14\r\nrrefindex=9\r\nfreqindex=0x2\r\n"
             "levelindex=$5\r\nwaveswapchan=7\r\nforeign=1\r\nwavesampleoffset=2\r\n");
  start_window();
  EXPECT_TRUE(button("RadioButton_meas0")->isChecked());  // no mode 14: the mode stays
  EXPECT_EQ(option_group("RadioGroup1")->item_index(), 5);  // "1 M"
  EXPECT_EQ(lcr::settings.ref_index.load(), 5);
  EXPECT_EQ(option_group("RadioGroup3")->item_index(), 2);
  EXPECT_EQ(lcr::settings.freq_index.load(), 2);
  EXPECT_EQ(lcr::settings.tone_level.load(), 5000.0);
  EXPECT_TRUE(window->findChild<QAbstractButton*>("CheckBox2")->isChecked());
  EXPECT_TRUE(waveio::stream.swap_channels.load());
  EXPECT_EQ(combo("ComboBox3")->currentText(), "+1");
  EXPECT_EQ(waveio::stream.sample_offset.load(), 1);

  close_window();
  const std::string text = read_file(settings_path());
  EXPECT_EQ(text.find("foreign"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("[other]\r\nkeep=me\r\n", 0), 0u) << text;
  EXPECT_EQ(stored().rrefindex, 5);
  EXPECT_EQ(stored().measmodeindex, 0);
}

// −5 leaves "R ref" without a selection while the engine keeps its
// resistor; the next closing writes −1.
TEST_F(WindowSettings, ANegativeIndexClearsTheSelectionOnly)
{
  write_file(settings_path(), "[options]\nrrefindex=-5\nmeasmodeindex=-1\n");
  start_window();
  EXPECT_EQ(option_group("RadioGroup1")->item_index(), -1);
  EXPECT_EQ(lcr::settings.ref_index.load(), 0);
  EXPECT_TRUE(button("RadioButton_meas0")->isChecked());
  close_window();
  EXPECT_EQ(stored().rrefindex, -1);
}

// What an operator chose comes back at the next start, a mode chosen while
// the display was held included.
TEST_F(WindowSettings, ChoicesSurviveClosingAndStartingAgain)
{
  start_window("R=2.2k");
  click_item("RadioGroup1", 2);
  click_item("RadioGroup3", 6);
  click_item("RadioGroup4", 4);
  click_item("RadioGroup5", 1);
  click_item("RadioGroup6", 2);
  click(window->findChild<QAbstractButton*>("CheckBox2"));
  click(push_button("Button4"));  // hold the display
  click(button("RadioButton_meas7"));
  close_window();

  lcr::reset_settings();
  start_window();
  EXPECT_TRUE(button("RadioButton_meas7")->isChecked());
  EXPECT_EQ(window->measurement_page().meas_mode(), 7);
  EXPECT_EQ(label("Label17"), "Rp:");
  EXPECT_EQ(label("Label16"), "Cp:");
  EXPECT_EQ(lcr::engine.second_quantity.quantity, "C");
  EXPECT_EQ(option_group("RadioGroup1")->item_index(), 2);
  EXPECT_EQ(option_group("RadioGroup3")->item_index(), 6);
  EXPECT_EQ(option_group("RadioGroup4")->item_index(), 4);
  EXPECT_EQ(option_group("RadioGroup5")->item_index(), 1);
  EXPECT_EQ(option_group("RadioGroup6")->item_index(), 2);
  EXPECT_EQ(lcr::settings.ft_factor.load(), 4);
  EXPECT_EQ(lcr::settings.avg_count.load(), 16);
  EXPECT_TRUE(window->findChild<QAbstractButton*>("CheckBox2")->isChecked());
  EXPECT_EQ(combo("ComboBox1")->currentText(), "Simulierter Messaufbau");
  EXPECT_EQ(stored().wavedevouttext, "Simulierter Messaufbau");
}

TEST_F(WindowSettings, AFailedWriteIsReportedWithTheFullPath)
{
  start_window();
  std::filesystem::create_directory(settings_path() + ".d");
  window.reset();
  // A folder where the file should be: the write fails.
  std::filesystem::remove(settings_path());
  std::filesystem::create_directory(settings_path());
  start_window();
  close_window();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.front().toStdString(), "nach " + settings_path() + " kann nicht geschrieben werden");
}

}  // namespace
