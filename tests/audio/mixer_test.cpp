// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer bars' binding: the 0 … 31 scale, which destination line and
// which control are bound, and when a bar writes to the mixer and when not.

#include "audio/mixer.h"
#include "audio/streaming.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

using waveio::mixer;
using waveio::tmixer_control;
using waveio::tmixer_line;
using waveio::tmixer_target;

// A mixer whose lines and controls the test lays out; values live in a
// shared map, so that a mixer opened again sees what was written.
struct fake_mixer_layout {
  std::vector<tmixer_line> destinations;
  std::map<std::uint32_t, std::vector<tmixer_control>> controls;  // by line id
  std::map<std::uint32_t, std::uint32_t> values;                  // by control id
  int writes = 0;
};

class fake_mixer final : public waveio::tmixer_device {
public:
  explicit fake_mixer(std::shared_ptr<fake_mixer_layout> layout) : layout_(std::move(layout)) {}
  int destination_count() override { return static_cast<int>(layout_->destinations.size()); }
  bool destination(int index, tmixer_line& line) override
  {
    if (index < 0 || index >= destination_count()) return false;
    line = layout_->destinations[static_cast<std::size_t>(index)];
    return true;
  }
  bool line_by_id(std::uint32_t id, tmixer_line& line) override
  {
    for (const tmixer_line& candidate : layout_->destinations) {
      if (candidate.line_id == id) {
        line = candidate;
        return true;
      }
    }
    return false;
  }
  bool line_controls(const tmixer_line& line, std::vector<tmixer_control>& controls) override
  {
    controls = layout_->controls[line.line_id];
    return true;
  }
  bool control_value(const tmixer_control& control, std::uint32_t& value) override
  {
    value = layout_->values[control.control_id];
    return true;
  }
  bool set_control_value(const tmixer_control& control, std::uint32_t value) override
  {
    layout_->values[control.control_id] = value;
    ++layout_->writes;
    return true;
  }

private:
  std::shared_ptr<fake_mixer_layout> layout_;
};

// Open devices whose mixer is a fake one (or none).
template <typename Direction>
class device_with_mixer : public Direction {
public:
  explicit device_with_mixer(std::shared_ptr<fake_mixer_layout> layout) : layout_(std::move(layout)) {}
  int prepare_header(waveio::twave_header&) override { return 0; }
  int unprepare_header(waveio::twave_header&) override { return 0; }
  int reset() override { return 0; }
  int close() override { return 0; }
  bool failed() const override { return false; }
  std::unique_ptr<waveio::tmixer_device> open_mixer() override
  {
    return layout_ ? std::make_unique<fake_mixer>(layout_) : nullptr;
  }

private:
  std::shared_ptr<fake_mixer_layout> layout_;
};

class fake_in final : public device_with_mixer<waveio::twave_in> {
public:
  using device_with_mixer::device_with_mixer;
  int add_buffer(waveio::twave_header&) override { return 0; }
  int start() override { return 0; }
};

class fake_out final : public device_with_mixer<waveio::twave_out> {
public:
  using device_with_mixer::device_with_mixer;
  int write(waveio::twave_header&) override { return 0; }
};

// A track bar whose change handler is the view's apply, as the window's.
class fake_bar final : public waveio::ttrack_bar {
public:
  std::function<void()> changed;
  bool enabled = true;
  int shown = 0;
  void set_enabled(bool on) override { enabled = on; }
  void set_position(int position) override
  {
    if (position == shown) return;
    shown = position;
    if (changed) changed();
  }
  int position() const override { return shown; }
};

std::shared_ptr<fake_mixer_layout> one_volume_mixer(tmixer_target target, std::uint32_t value)
{
  auto layout = std::make_shared<fake_mixer_layout>();
  layout->destinations = {{10, 1, target, "line"}};
  layout->controls[10] = {{7, waveio::mixer_volume_control_type, 0, "Volume"}};
  layout->values[7] = value;
  return layout;
}

class Mixer : public ::testing::Test {
protected:
  void SetUp() override
  {
    waveio::reset_mixer_state();
    input_bar.changed = [] { mixer.input_view->apply(); };
    output_bar.changed = [] { mixer.output_view->apply(); };
    waveio::mixer_create_views(input_bar, output_bar);
  }

  void TearDown() override
  {
    waveio::reset_mixer_state();
    waveio::stream.in_handle.reset();
    waveio::stream.out_handle.reset();
  }

  void open_input(std::shared_ptr<fake_mixer_layout> layout)
  {
    waveio::stream.in_handle = std::make_unique<fake_in>(std::move(layout));
  }
  void open_output(std::shared_ptr<fake_mixer_layout> layout)
  {
    waveio::stream.out_handle = std::make_unique<fake_out>(std::move(layout));
  }

  // The operator moves a bar.
  static void move(fake_bar& bar, int position) { bar.set_position(position); }

  fake_bar input_bar;
  fake_bar output_bar;
};

TEST(MixerScale, PositionsAndValuesDivideWithoutRounding)
{
  const std::pair<int, std::uint32_t> written[] = {{0, 0}, {1, 2114}, {16, 33824}, {30, 63420}, {31, 65535}};
  for (const auto& [position, value] : written) EXPECT_EQ(waveio::mixer_value_of_position(position), value);
  const std::pair<std::uint32_t, int> shown[] = {{0, 0},     {2114, 0},   {2115, 1},  {33824, 15},
                                                 {65534, 30}, {65535, 31}, {63420, 29}};
  for (const auto& [value, position] : shown) EXPECT_EQ(waveio::mixer_position_of_value(value), position) << value;
}

// A position written and shown again by a new bind: 0 and 31 survive,
// every other position shows one less.
TEST_F(Mixer, AWrittenPositionComesBackOneLessExceptAtTheEnds)
{
  const auto layout = one_volume_mixer(tmixer_target::wave_out, 0);
  open_output(layout);
  waveio::mixer_bind_output();
  ASSERT_TRUE(output_bar.enabled);
  for (const int position : {0, 1, 16, 30, 31}) {
    move(output_bar, position);
    EXPECT_EQ(layout->values[7], waveio::mixer_value_of_position(position));
    waveio::mixer_bind_output();
    const int expected = position == 0 || position == 31 ? position : position - 1;
    EXPECT_EQ(output_bar.position(), expected) << "written " << position;
  }
}

TEST_F(Mixer, TheLastDestinationOfTheWantedTypeAndItsLastVolumeControlAreBound)
{
  auto layout = std::make_shared<fake_mixer_layout>();
  layout->destinations = {{1, 1, tmixer_target::wave_in, "first"},
                          {2, 1, tmixer_target::wave_out, "playback"},
                          {3, 2, tmixer_target::wave_in, "second"}};
  layout->controls[1] = {{11, waveio::mixer_volume_control_type, 0, "first volume"}};
  layout->controls[3] = {{31, waveio::mixer_volume_control_type, 0, "a"},
                         {32, 0x20010002, 0, "a switch"},
                         {33, waveio::mixer_volume_control_type, 0, "b"}};
  layout->values = {{11, 0}, {31, 0}, {33, 65535}};
  open_input(layout);
  waveio::mixer_bind_input();
  EXPECT_EQ(mixer.input_binding.destination_index, 2);
  EXPECT_EQ(mixer.input_binding.volume.control_id, 33u);
  EXPECT_EQ(input_bar.position(), 31);
  move(input_bar, 10);
  EXPECT_EQ(layout->values[33], waveio::mixer_value_of_position(10));
  EXPECT_EQ(layout->values[11], 0u);

  // No line of the wanted type: destination 0, which has no volume here.
  auto other = std::make_shared<fake_mixer_layout>();
  other->destinations = {{5, 0, tmixer_target::other, "monitor"}};
  open_input(other);
  waveio::mixer_bind_input();
  EXPECT_EQ(mixer.input_binding.destination_index, 0);
  EXPECT_FALSE(mixer.input_binding.volume_present);
  EXPECT_FALSE(input_bar.enabled);
}

TEST_F(Mixer, WithoutADeviceOrAMixerTheBarStaysDisabledAndWritesNothing)
{
  waveio::mixer_bind_input();  // no input device open
  EXPECT_FALSE(input_bar.enabled);
  open_output(nullptr);  // a device without a mixer (JACK)
  waveio::mixer_bind_output();
  EXPECT_FALSE(output_bar.enabled);
  move(output_bar, 20);  // nothing to write to, and nothing breaks
  EXPECT_FALSE(mixer.output_binding.volume_present);
}

// Showing a level moves the bar, whose change handler must not write it back.
TEST_F(Mixer, ShowingTheLevelWritesNothing)
{
  const auto layout = one_volume_mixer(tmixer_target::wave_in, 33824);
  open_input(layout);
  waveio::mixer_bind_input();
  EXPECT_EQ(input_bar.position(), 15);
  EXPECT_EQ(layout->writes, 0);
  EXPECT_EQ(layout->values[7], 33824u);
}

// After a device change only the output is bound again: its bar follows the
// new device, the input bar keeps the mixer it had.
TEST_F(Mixer, ADeviceChangeRebindsOnlyTheOutput)
{
  const auto old_input = one_volume_mixer(tmixer_target::wave_in, 0);
  const auto old_output = one_volume_mixer(tmixer_target::wave_out, 0);
  open_input(old_input);
  open_output(old_output);
  waveio::mixer_bind_input();
  waveio::mixer_bind_output();

  const auto new_input = one_volume_mixer(tmixer_target::wave_in, 0);
  const auto new_output = one_volume_mixer(tmixer_target::wave_out, 65535);
  open_input(new_input);
  open_output(new_output);
  waveio::mixer_bind_output();
  EXPECT_EQ(output_bar.position(), 31);
  move(output_bar, 8);
  move(input_bar, 9);
  EXPECT_EQ(new_output->values[7], waveio::mixer_value_of_position(8));
  EXPECT_EQ(old_output->writes, 0);
  EXPECT_EQ(old_input->values[7], waveio::mixer_value_of_position(9));
  EXPECT_EQ(new_input->writes, 0);
}

}  // namespace
