// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer bars on a real mixer: a PulseAudio server's default sink
// through ALSA's "default" devices. Continuous integration starts a private
// server with a null sink (PULSE_SERVER names it); without a server the
// test is skipped with a message.

#include "support/sound_plugins.h"
#include "support/window_fixture.h"

#include <QCheckBox>
#include <QSlider>

#include <array>
#include <cstdio>
#include <regex>

namespace {

// What a command prints, and whether it succeeded.
bool run(const std::string& command, std::string& output)
{
  output.clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return false;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) output += buffer.data();
  return ::pclose(pipe) == 0;
}

// The default sink's volume in PulseAudio's units (65536 is 100 %).
int sink_volume()
{
  std::string output;
  if (!run("pactl get-sink-volume @DEFAULT_SINK@", output)) return -1;
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(R"(front-left:\s*(\d+))"))) return -1;
  return std::stoi(match[1]);
}

class PulseMixer : public quarvel_test::window_fixture {
protected:
  void SetUp() override
  {
    std::string output;
    if (!run("pactl info", output)) GTEST_SKIP() << "no PulseAudio server answers (pactl info: " << output << ")";
    quarvel_test::keep_sound_plugins_loaded();
    window_fixture::SetUp();
  }

  void start_on_sound_cards()
  {
    tstartup_options options;
    options.settings_path = settings_path();
    options.calibration_path = directory.path() + "/Quarvel.cal";
    window = std::make_unique<TForm1>(options);
    window->show();
  }

  // The operator picks a device in a list.
  void choose(const char* list_name, const QString& device)
  {
    QComboBox* list = combo(list_name);
    const int index = list->findText(device);
    ASSERT_GE(index, 0) << device.toStdString() << " is not listed";
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
};

TEST_F(PulseMixer, TheOutputBarSetsTheDefaultSinksVolume)
{
  std::string output;
  ASSERT_TRUE(run("pactl set-sink-volume @DEFAULT_SINK@ 100%", output)) << output;
  start_on_sound_cards();
  choose("ComboBox1", "default (ALSA)");
  choose("ComboBox2", "default (ALSA)");
  ASSERT_TRUE(waveio::stream.output_running.load());

  auto* check_box = window->findChild<QCheckBox*>("CheckBox1");
  auto* output_bar = window->findChild<QSlider*>("TrackBar2");
  click(check_box);
  ASSERT_TRUE(output_bar->isEnabled()) << "no playback volume on the default mixer";
  EXPECT_EQ(output_bar->value(), 31);  // 100 %
  EXPECT_TRUE(window->findChild<QSlider*>("TrackBar1")->isEnabled());

  output_bar->setValue(16);  // as a drag of the bar ends
  // 16 × 65535 div 31 = 33824 of 65535, on PulseAudio's scale of 65536.
  EXPECT_NEAR(sink_volume(), 33824.0 / 65535.0 * 65536.0, 1.0);

  click(check_box);  // off
  click(check_box);  // on: a new bind pass
  EXPECT_EQ(output_bar->value(), 15);
}

}  // namespace
