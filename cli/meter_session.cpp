#include "meter_session.h"

#include "engine/calibration_file.h"
#include "engine/measurement_cycle.h"
#include "engine/quantity_texts.h"
#include "engine/settings.h"

#include "audio/streaming.h"

#include <chrono>
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

}  // namespace

int find_device(const std::vector<std::string>& names, std::string_view text, std::string_view option)
{
  if (const auto number = parse_number(text)) {
    const int index = static_cast<int>(*number);
    if (*number == index && index >= 0 && index < static_cast<int>(names.size())) return index;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  throw usage_error(std::string(option) + ": no device '" + std::string(text) + "' (devices: " +
                    device_list_text(names) + ")");
}

tmeter_session::tmeter_session(const tmeter_options& options)
{
  configure_engine(options);
  // Loaded before streaming starts, so that no evaluation uses the nominal
  // tables; an error keeps what was read and the meter goes on.
  const lcr::tfile_result loaded = lcr::cal_load(options.cal_file);
  if (!loaded.ok) calibration_message_ = options.cal_file + ": " + loaded.message;
  open_devices(options);
}

tmeter_session::~tmeter_session()
{
  open_gate();  // a worker held at the gate could not end
  waveio::wavein_close();
  waveio::waveout_close();
  waveio::set_backend(nullptr);
  waveio::set_block_handler(nullptr);
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

void tmeter_session::open_devices(const tmeter_options& options)
{
  simulated_ = options.simulated();
  const bool real_cards = !simulated_ || options.in_device || options.out_device;
  devices_ = std::make_unique<waveio::tsound_devices>([] { return lcr::settings.ref_index.load(); }, real_cards);
  if (simulated_) {
    waveio::tfixture_config config = devices_->fixture().configuration();
    config.dut_network = *options.sim_dut;
    config.noise_rms = options.sim_noise_rms;
    config.clock = options.realtime || options.watch ? waveio::tclock::real_time : waveio::tclock::virtual_time;
    try {
      devices_->fixture().set_configuration(config);
    } catch (const waveio::dut_error& error) {
      throw usage_error(std::string("--sim: ") + error.what());
    }
  }

  waveio::set_backend(&devices_->catalog());
  waveio::wavein_enum();
  const std::vector<std::string> inputs = waveio::listed_device_names();
  waveio::waveout_enum();
  const std::vector<std::string> outputs = waveio::listed_device_names();
  const bool only_fixture = inputs.size() <= 1 && outputs.size() <= 1;

  int in_id = 0;
  int out_id = 0;
  if (options.in_device) {
    in_id = find_device(inputs, *options.in_device, "--in");
  } else if (simulated_) {
    in_id = devices_->fixture_in_id();
  } else if (only_fixture) {
    throw device_error("no sound card found; measure on the simulated fixture with --sim DUT (e.g. --sim R=4.7k)");
  }
  if (options.out_device) {
    out_id = find_device(outputs, *options.out_device, "--out");
  } else if (simulated_) {
    out_id = devices_->fixture_out_id();
  }
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
  waveio::waveout_open();
  waveio::wavein_open();
  if (!waveio::stream.output_running) throw device_error("the output device '" + output_name_ + "' could not be opened");
  if (!waveio::stream.input_running) throw device_error("the input device '" + input_name_ + "' could not be opened");
}

void tmeter_session::ensure_streaming() const
{
  if (!waveio::stream.input_running) throw device_error("the input device '" + input_name_ + "' stopped delivering");
  if (!waveio::stream.output_running) throw device_error("the output device '" + output_name_ + "' stopped playing");
}

std::int64_t tmeter_session::settling_frames() const
{
  // The tone is written one output lead ahead of the play position; the
  // fixture's filter needs 4800 samples; then one window must fill.
  const int window = 960 * std::clamp(lcr::settings.ft_factor.load(), 1, 16);
  return waveio::output_lead_target + 2 * waveio::block_frames + 4800 + window;
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
