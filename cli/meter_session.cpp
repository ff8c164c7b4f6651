// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter_session.h"

#include "engine/core/settings.h"
#include "engine/corrections/calibration_file.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/simulated/fixture_set_up.h"
#include "audio/streaming.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace quarvel_cli {

namespace {

std::string device_list_text(const std::vector<std::string>& names)
{
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(i) + " " + names[i];
  }
  return text.empty() ? "none" : text;
}

// Without --sim or a device named, the meter measures on the first sound
// card, never on the simulated fixture by surprise.
int first_sound_card(const std::vector<std::string>& names, int fixture_id, const char* direction)
{
  for (int id = 0; id < static_cast<int>(names.size()); ++id) {
    if (id != fixture_id) return id;
  }
  throw device_error(std::string("no sound ") + direction +
                     " device found; measure on the simulated fixture with --sim DUT (e.g. --sim R=4.7k)");
}

}  // namespace

int find_device(const std::vector<std::string>& names, std::string_view text, std::string_view option)
{
  const auto number = parse_number(text);
  if (number && *number >= 0.0 && *number < static_cast<double>(names.size()) && *number == std::floor(*number)) {
    return static_cast<int>(*number);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  throw usage_error(std::string(option) + ": no device '" + std::string(text) + "' (devices: " +
                    device_list_text(names) + ")");
}

tmeter_session::tmeter_session(const tmeter_options& options) : tmeter_session(options, nullptr) {}

tmeter_session::tmeter_session(const tmeter_options& options, waveio::twave_backend& devices)
    : tmeter_session(options, &devices)
{
}

tmeter_session::tmeter_session(const tmeter_options& options, waveio::twave_backend* devices)
{
  configure_engine(options);
  // Loaded before streaming starts, so that no evaluation uses the nominal
  // tables; an error keeps what was read and the meter goes on.
  const lcr::tfile_result loaded = lcr::cal_load(options.cal_file);
  if (!loaded.ok) calibration_message_ = loaded.text();
  try {
    open_devices(options, devices);
  } catch (...) {
    close_devices();  // the worker may already run
    throw;
  }
}

tmeter_session::~tmeter_session()
{
  close_devices();
}

void tmeter_session::close_devices()
{
  open_gate();  // a worker held at the gate could not end
  streams_.reset();
  waveio::set_backend(nullptr);
  waveio::set_block_handler(nullptr);
}

waveio::tsimulated_fixture& tmeter_session::fixture()
{
  if (!devices_) throw std::logic_error("no simulated fixture in this session");
  return devices_->fixture();
}

void tmeter_session::configure_engine(const tmeter_options& options)
{
  lcr::set_decimal_separator(lcr::locale_decimal_separator());
  lcr::settings.ref_index = options.ref_index;
  lcr::settings.freq_index = options.freq_index;
  lcr::settings.tone_level = options.tone_level;
  lcr::settings.ft_factor = options.ft_factor;
  lcr::settings.request_transform_rebuild = true;
  lcr::settings.avg_count = options.avg_count;
  lcr::settings.request_average_rebuild = true;
  lcr::set_meas_mode_quantities(options.meas_mode);
  lcr::engine_init();
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::engine.ref_quantity.quantity = "R";
  }
}

void tmeter_session::open_devices(const tmeter_options& options, waveio::twave_backend* devices)
{
  simulated_ = options.simulated() && devices == nullptr;
  int fixture_in = -1;
  int fixture_out = -1;
  if (devices == nullptr) {
    const bool real_cards = !simulated_ || options.in_device || options.out_device;
    devices_ = std::make_unique<waveio::tsound_devices>([] { return lcr::settings.ref_index.load(); }, real_cards);
    devices = &devices_->catalog();
    fixture_in = devices_->fixture_in_id();
    fixture_out = devices_->fixture_out_id();
  }
  if (simulated_) configure_fixture(options);

  waveio::set_backend(devices);
  waveio::wavein_enum();
  const std::vector<std::string> inputs = waveio::listed_device_names();
  waveio::waveout_enum();
  const std::vector<std::string> outputs = waveio::listed_device_names();
  const int in_id = options.in_device ? find_device(inputs, *options.in_device, "--in")
                    : simulated_      ? fixture_in
                                      : first_sound_card(inputs, fixture_in, "input");
  const int out_id = options.out_device ? find_device(outputs, *options.out_device, "--out")
                     : simulated_       ? fixture_out
                                        : first_sound_card(outputs, fixture_out, "output");
  on_fixture_ = fixture_in >= 0 && in_id == fixture_in && out_id == fixture_out;
  input_name_ = inputs.at(static_cast<std::size_t>(in_id));
  output_name_ = outputs.at(static_cast<std::size_t>(out_id));

  gated_ = simulated_ && !options.realtime && !options.watch;
  gate_frames_ = gated_ ? 0 : std::numeric_limits<std::int64_t>::max();
  waveio::set_block_handler([this] {
    // Held here, the virtual clock stands still: the fixture makes the next
    // block only when this one has been taken.
    for (std::int64_t gate = gate_frames_.load(); frames_processed_.load() >= gate; gate = gate_frames_.load()) {
      gate_frames_.wait(gate);
    }
    const int frames = waveio::in_available() / waveio::block_frames * waveio::block_frames;
    lcr::process_recorded_blocks();
    frames_processed_.fetch_add(frames);
  });
  waveio::stream.in_device_id = in_id;
  waveio::stream.out_device_id = out_id;
  streams_.emplace();
  if (!waveio::stream.output_running) throw device_error(open_failure("output", output_name_));
  if (!waveio::stream.input_running) throw device_error(open_failure("input", input_name_));
}

void tmeter_session::configure_fixture(const tmeter_options& options)
{
  waveio::tfixture_config config = devices_->fixture().configuration();
  config.dut_network = *options.sim_dut;
  config.noise_rms = options.sim_noise_rms;
  config.noise_seed = options.sim_noise_seed;
  if (options.sim_realistic) waveio::add_realistic_imperfections(config);
  config.clock = options.realtime || options.watch ? waveio::tclock::real_time : waveio::tclock::virtual_time;
  try {
    devices_->fixture().set_configuration(config);
  } catch (const waveio::dut_error& error) {
    throw usage_error(std::string("--sim: ") + error.what());
  }
}

std::string tmeter_session::open_failure(const char* direction, const std::string& name) const
{
  std::string message = std::string("the ") + direction + " device '" + name + "' could not be opened";
  const std::string reason = devices_ ? devices_->last_error() : std::string();
  return reason.empty() ? message : message + " (" + reason + ")";
}

void tmeter_session::ensure_streaming() const
{
  if (!waveio::stream.input_running) throw device_error("the input device '" + input_name_ + "' stopped delivering");
  if (!waveio::stream.output_running) throw device_error("the output device '" + output_name_ + "' stopped playing");
}

void tmeter_session::open_gate()
{
  gate_frames_.store(std::numeric_limits<std::int64_t>::max());
  gate_frames_.notify_all();
}

bool tmeter_session::run_until(std::int64_t frames, const std::function<bool()>& tick, int tick_ms)
{
  using clock = std::chrono::steady_clock;
  if (gated_) {
    gate_frames_.store(frames);
    gate_frames_.notify_all();
  }
  auto next_tick = clock::now() + std::chrono::milliseconds(tick_ms);
  // No wake-up here can be lost: the gate's wait compares the value it was
  // stored with, the worker's event stays set until taken, and the
  // simulated device reads its wake word before it tests anything.
  while (frames_processed() < frames) {
    ensure_streaming();
    std::this_thread::sleep_for(std::chrono::microseconds(gated_ ? 100 : 1000));
    if (tick && clock::now() >= next_tick) {
      next_tick += std::chrono::milliseconds(tick_ms);
      if (!tick()) return false;
    }
  }
  return true;
}

}  // namespace quarvel_cli
