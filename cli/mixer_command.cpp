// SPDX-License-Identifier: GPL-3.0-or-later
#include "mixer_command.h"

#include "json_writer.h"
#include "meter_options.h"
#include "meter_session.h"

#include "audio/mixer.h"

#include <cmath>
#include <iostream>
#include <optional>
#include <string>

namespace quarvel_cli {

namespace {

// A bar without a window: it holds a position and an enabled state.
class tbar final : public waveio::ttrack_bar {
public:
  void set_enabled(bool enabled) override { enabled_ = enabled; }
  void set_position(int position) override { position_ = position; }
  int position() const override { return position_; }
  bool enabled() const { return enabled_; }

private:
  bool enabled_ = false;
  int position_ = 0;
};

std::optional<int> position_option(const argument_list& list, std::string_view option)
{
  const auto text = list.value(option);
  if (!text) return std::nullopt;
  const auto number = parse_number(*text);
  if (!number || *number < 0.0 || *number > waveio::mixer_bar_positions || *number != std::floor(*number)) {
    throw usage_error(std::string(option) + ": '" + *text + "' is not a bar position 0 … 31");
  }
  return static_cast<int>(*number);
}

// Moves a bar as the operator would: the new position, then the change
// handler.
void move(tbar& bar, waveio::tmixvisu& view, std::optional<int> position)
{
  if (!position || !bar.enabled()) return;
  bar.set_position(*position);
  view.apply();
}

struct tside {
  const char* caption;  // "Mixereingang"
  const tbar& bar;
  const waveio::tmixer_binding& binding;
};

tjson_object side_json(const tside& side)
{
  tjson_object object;
  if (side.binding.volume_present) {
    object.add("position", side.bar.position()).add("control", side.binding.volume.name);
  } else {
    object.add_null("position").add_null("control");
  }
  return object;
}

std::string side_text(const tside& side)
{
  if (!side.binding.volume_present) return std::string(side.caption) + ": kein Lautstärkeregler";
  return std::string(side.caption) + ": " + std::to_string(side.bar.position()) + " (" + side.binding.volume.name + ")";
}

}  // namespace

int run_mixer(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = meter_value_options();
  value_options.insert(value_options.end(), {"--capture", "--playback"});
  const argument_list list(arguments, value_options, meter_flags());
  const std::optional<int> capture = position_option(list, "--capture");
  const std::optional<int> playback = position_option(list, "--playback");
  const tmeter_options options = parse_meter_options(list);
  tmeter_session session(options);

  tbar input_bar;
  tbar output_bar;
  // The views and mixers go before the bars and the devices they refer to.
  struct tviews_released {
    ~tviews_released() { waveio::reset_mixer_state(); }
  } const released;
  waveio::mixer_create_views(input_bar, output_bar);
  waveio::mixer_bind_input();
  waveio::mixer_bind_output();
  move(input_bar, *waveio::mixer.input_view, capture);
  move(output_bar, *waveio::mixer.output_view, playback);
  // What a new bind pass shows, as the bars would after the next switch-on.
  waveio::mixer_bind_input();
  waveio::mixer_bind_output();

  const tside input{"Mixereingang", input_bar, waveio::mixer.input_binding};
  const tside output{"Mixerausgang", output_bar, waveio::mixer.output_binding};
  if (options.json) {
    tjson_object object;
    object.add("input", side_json(input)).add("output", side_json(output));
    std::cout << object.text() << std::endl;
  } else {
    std::cout << side_text(input) << "\n" << side_text(output) << "\n";
  }
  return 0;
}

}  // namespace quarvel_cli
