// SPDX-License-Identifier: GPL-3.0-or-later
// The real back end against a real sound server: Quarvel's output looped
// straight back into its input on a JACK server (dummy driver, 1280-frame
// periods), with the worker and the engine running as in the meter.

#include "audio/portaudio/portaudio_backend.h"
#include "audio/streaming.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/readings/settled_reading.h"
#include "support/fresh_engine_cycle.h"
#include "support/sound_plugins.h"

#include <gtest/gtest.h>

#include <jack/jack.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Counts the server's own xruns, from a client of its own: a dropout the
// meter reports must be one the server had, never a false alarm.
class txrun_watcher {
public:
  txrun_watcher()
  {
    const std::string name = "QuarvelXrunWatch" + std::to_string(::getpid());
    client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (client_ == nullptr) return;
    jack_set_xrun_callback(client_, &txrun_watcher::on_xrun, this);
    jack_activate(client_);
  }
  ~txrun_watcher()
  {
    if (client_ == nullptr) return;
    jack_deactivate(client_);
    jack_client_close(client_);
  }
  txrun_watcher(const txrun_watcher&) = delete;
  txrun_watcher& operator=(const txrun_watcher&) = delete;

  bool watching() const { return client_ != nullptr; }
  std::int64_t xruns() const { return xruns_.load(); }
  // The server's own frame clock: what a rate is counted against, whatever
  // the machine's load does to the wall clock's seconds.
  jack_nframes_t frame_time() const { return jack_frame_time(client_); }
  double sample_rate() const { return static_cast<double>(jack_get_sample_rate(client_)); }

private:
  static int on_xrun(void* self)
  {
    static_cast<txrun_watcher*>(self)->xruns_.fetch_add(1);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  std::atomic<std::int64_t> xruns_{0};
};

bool jack_server_answers()
{
  return std::system("jack_lsp > /dev/null 2>&1") == 0;
}

// A JACK server for the test: the default one if it already runs, or one
// started here and stopped again (by its process id) at the end. A named
// server is always started here and becomes the clients' default.
class tjack_server {
public:
  explicit tjack_server(const char* name = nullptr)
  {
    if (name != nullptr) ::setenv("JACK_DEFAULT_SERVER", name, 1);
    if (name == nullptr && jack_server_answers()) {
      available_ = true;
      return;
    }
    const char* arguments[] = {"jackd", "-n", name != nullptr ? name : "default", "--no-realtime",
                               "-d", "dummy", "-r", "48000", "-p", "1280", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid_, "jackd", &actions, nullptr, const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      problem_ = "jackd could not be started (is the package jackd2 installed?)";
      return;
    }
    for (int attempt = 0; attempt < 50 && !available_; ++attempt) {
      std::this_thread::sleep_for(100ms);
      available_ = jack_server_answers();
    }
    if (!available_) problem_ = "jackd started but did not answer within 5 s";
  }

  ~tjack_server()
  {
    stop();
    ::unsetenv("JACK_DEFAULT_SERVER");
  }

  // Stops a server started here, as if it crashed under its clients.
  void stop()
  {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  tjack_server(const tjack_server&) = delete;
  tjack_server& operator=(const tjack_server&) = delete;

  bool available() const { return available_; }
  const std::string& problem() const { return problem_; }

private:
  pid_t pid_ = -1;
  bool available_ = false;
  std::string problem_;
};

int find_jack_device(int count, const std::function<std::string(int)>& name_of)
{
  for (int id = 0; id < count; ++id) {
    if (name_of(id).ends_with("(JACK)")) return id;
  }
  return -1;
}

// The JACK input and output that PortAudio lists, or −1.
struct tjack_devices {
  explicit tjack_devices(waveio::tportaudio_backend& backend)
      : input(find_jack_device(backend.in_device_count(), [&](int id) { return backend.in_device_name(id); })),
        output(find_jack_device(backend.out_device_count(), [&](int id) { return backend.out_device_name(id); }))
  {
  }
  bool found() const { return input >= 0 && output >= 0; }

  int input;
  int output;
};

// Both outputs of the client straight back into both its inputs; 0 when
// connected.
int loop_back(const std::string& client)
{
  const std::string connect = "jack_connect " + client + ":out_0 " + client + ":in_0 && jack_connect " + client +
                              ":out_1 " + client + ":in_1";
  return std::system(connect.c_str());
}

class JackLoopback : public quarvel_test::fresh_engine_cycle {
protected:
  void SetUp() override
  {
    quarvel_test::keep_sound_plugins_loaded();
    fresh_engine_cycle::SetUp();
  }
};

TEST_F(JackLoopback, MeasuresItsOwnToneThroughTheServer)
{
  stream.reset();  // the real rings replace the manual ones
  const tjack_server server;
  if (!server.available()) GTEST_SKIP() << "no JACK server: " << server.problem();

  // A client name of this run's own, so that two runs on one server do not
  // connect each other's ports.
  const std::string client = "QuarvelLoop" + std::to_string(::getpid());
  waveio::tportaudio_backend backend(client);
  const tjack_devices jack(backend);
  if (!jack.found()) GTEST_SKIP() << "PortAudio lists no JACK device (built without JACK?)";

  lcr::settings.freq_index = 4;  // 2 kHz
  lcr::settings.tone_level = 5000.0;
  lcr::settings.avg_count = 4;
  lcr::settings.request_average_rebuild = true;

  std::mutex lock;
  std::int64_t blocks = 0;
  int lead_min = 1 << 30;
  int lead_max = 0;
  bool counting = false;
  waveio::reset_stream_state();
  waveio::set_backend(&backend);
  waveio::set_block_handler([&] {
    const int taken = waveio::in_available() / waveio::block_frames;
    lcr::process_recorded_blocks();
    const std::lock_guard guard(lock);
    if (!counting) return;
    blocks += taken;
    lead_min = std::min(lead_min, waveio::stream.out_lead.load());
    lead_max = std::max(lead_max, waveio::stream.out_lead.load());
  });
  waveio::stream.in_device_id = jack.input;
  waveio::stream.out_device_id = jack.output;
  std::optional<waveio::topen_streams> streams(std::in_place);
  ASSERT_TRUE(waveio::stream.output_running);
  ASSERT_TRUE(waveio::stream.input_running);
  ASSERT_EQ(loop_back(client), 0);

  std::this_thread::sleep_for(1500ms);  // the tone reaches the input after the output lead
  // Connecting ports may cost the server an xrun, which counts: from here
  // on only the server's own xruns may (a busy machine, a sanitizer build).
  const txrun_watcher watcher;
  ASSERT_TRUE(watcher.watching());
  std::this_thread::sleep_for(200ms);  // a new client may cost an xrun too
  const std::int64_t dropouts_before = waveio::dropout_count();
  const std::int64_t xruns_before = watcher.xruns();
  {
    const std::lock_guard guard(lock);
    counting = true;
  }
  const jack_nframes_t started = watcher.frame_time();
  std::this_thread::sleep_for(5s);
  std::int64_t counted_blocks = 0;
  {
    const std::lock_guard guard(lock);
    counting = false;
    counted_blocks = blocks;
  }
  const double seconds = static_cast<double>(watcher.frame_time() - started) / watcher.sample_rate();
  lcr::tcomplex ratio;
  {
    const std::lock_guard guard(lcr::publication_lock);
    ratio = lcr::engine.avg_ratio;
  }
  streams.reset();

  const double blocks_per_second = static_cast<double>(counted_blocks) / seconds;
  const std::int64_t server_xruns = watcher.xruns() - xruns_before;
  if (server_xruns == 0) {
    EXPECT_EQ(waveio::dropout_count(), dropouts_before);  // no false alarm
  }
  std::cout << "[ figures  ] server xruns " << server_xruns << ", dropouts "
            << waveio::dropout_count() - dropouts_before << "\n";
  EXPECT_NEAR(blocks_per_second, 37.5, 37.5 * 0.05);
  EXPECT_GE(lead_min, 10000);
  EXPECT_LE(lead_max, 40000);
  EXPECT_NEAR(ratio.re, 1.0, 1e-3);
  EXPECT_NEAR(ratio.im, 0.0, 1e-3);

  // The last analysed window holds the 2 kHz tone and nothing at the other
  // test frequencies.
  lcr::tdft& window = lcr::engine.dft_ch1;
  const int k_tone = lcr::bin_of_frequency(2000, window.n, 48000);
  lcr::dft_bin(window, k_tone);
  const double tone_magnitude = std::hypot(window.re, window.im);
  EXPECT_NEAR(tone_magnitude, 5000.0 * 65535.0 / 20000.0 / 2.0, 50.0);
  for (const int other_hz : lcr::test_frequencies) {
    if (other_hz == 2000) continue;
    lcr::dft_bin(window, lcr::bin_of_frequency(other_hz, window.n, 48000));
    EXPECT_LT(std::hypot(window.re, window.im), tone_magnitude * 1e-3) << other_hz << " Hz";
  }
  waveio::reset_stream_state();
  std::cout << "[ figures  ] " << blocks_per_second << " blocks/s, out_lead " << lead_min << " … " << lead_max
            << ", ratio (" << ratio.re << ", " << ratio.im << ")\n";
}

// The meter stalls for longer than its rings hold (5 s): the server's
// input finds no buffer queued and its output none to play. Both are
// counted as dropouts, and the meter settles again on its own.
TEST_F(JackLoopback, AStallLongerThanTheRingsIsCountedAndSettledAgain)
{
  stream.reset();
  const tjack_server server;
  if (!server.available()) GTEST_SKIP() << "no JACK server: " << server.problem();
  const std::string client = "QuarvelStall" + std::to_string(::getpid());
  waveio::tportaudio_backend backend(client);
  const tjack_devices jack(backend);
  if (!jack.found()) GTEST_SKIP() << "PortAudio lists no JACK device (built without JACK?)";

  lcr::settings.freq_index = 4;
  lcr::settings.tone_level = 5000.0;
  std::atomic<bool> stall{false};
  waveio::reset_stream_state();
  waveio::set_backend(&backend);
  waveio::set_block_handler([&] {
    if (stall.exchange(false)) std::this_thread::sleep_for(5500ms);
    lcr::process_recorded_blocks();
  });
  waveio::stream.in_device_id = jack.input;
  waveio::stream.out_device_id = jack.output;
  std::optional<waveio::topen_streams> streams(std::in_place);
  ASSERT_TRUE(waveio::stream.input_running);
  ASSERT_EQ(loop_back(client), 0);
  const auto settled_within = [](std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      if (lcr::is_current_reading(lcr::measurement_snapshot())) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  };
  ASSERT_TRUE(settled_within(3s));
  const std::int64_t dropouts_before = waveio::dropout_count();  // connecting may cost an xrun

  stall = true;
  std::this_thread::sleep_for(6s);
  EXPECT_GT(waveio::dropout_count(), dropouts_before);
  EXPECT_TRUE(settled_within(3s));
  const lcr::tcomplex ratio = lcr::measurement_snapshot().avg_ratio;
  streams.reset();
  EXPECT_NEAR(ratio.re, 1.0, 1e-3);
  EXPECT_NEAR(ratio.im, 0.0, 1e-3);
  std::cout << "[ figures  ] " << waveio::dropout_count() - dropouts_before << " dropouts counted for a stall of 5.5 s\n";
  waveio::reset_stream_state();
}

// The server dies under a running meter: both directions stop running, the
// worker keeps going, and closing returns promptly.
TEST_F(JackLoopback, ServerGoneLeavesBothDirectionsNotRunning)
{
  stream.reset();
  tjack_server server("quarvel_test_gone");
  if (!server.available()) GTEST_SKIP() << "no JACK server: " << server.problem();
  waveio::tportaudio_backend backend("QuarvelGone");
  const tjack_devices jack(backend);
  if (!jack.found()) GTEST_SKIP() << "PortAudio lists no JACK device (built without JACK?)";

  waveio::reset_stream_state();
  waveio::set_backend(&backend);
  waveio::set_block_handler(lcr::process_recorded_blocks);
  waveio::stream.in_device_id = jack.input;
  waveio::stream.out_device_id = jack.output;
  std::optional<waveio::topen_streams> streams(std::in_place);
  ASSERT_TRUE(waveio::stream.input_running);
  for (int wait = 0; wait < 200 && waveio::stream.in_read == 0; ++wait) std::this_thread::sleep_for(50ms);
  EXPECT_GT(waveio::stream.in_read, 0);

  server.stop();
  const auto gone = std::chrono::steady_clock::now();
  while (waveio::stream.input_running.load() && std::chrono::steady_clock::now() - gone < 10s) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_FALSE(waveio::stream.input_running);
  // Closing gives up on a server gone after its 2 s limit; what is checked
  // is that it does, not how fast a busy machine gets there.
  const auto closing = std::chrono::steady_clock::now();
  streams.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 30s);
  EXPECT_FALSE(waveio::stream.output_running);
  waveio::reset_stream_state();
}

}  // namespace

namespace {

// The mixer of a card comes from the device's own ALSA name.
TEST(AlsaMixerOfDevice, TheCardInTheNameOrTheDefaultMixer)
{
  const std::pair<const char*, const char*> cases[] = {
      {"HDA Intel PCH: ALC892 Analog (hw:0,0)", "hw:0"},
      {"USB Audio CODEC: - (hw:12,0)", "hw:12"},
      {"HDA NVidia: HDMI 0 (hw:1,3)", "hw:1"},
      {"default", "default"},
      {"pulse", "default"},
      {"sysdefault", "default"},
      {"odd (hw:x,0)", "default"},
      {"odd (hw:3)", "default"},
  };
  for (const auto& [name, mixer] : cases) EXPECT_EQ(waveio::alsa_mixer_of_device(name), mixer) << name;
}

}  // namespace
