// SPDX-License-Identifier: GPL-3.0-or-later
#include "portaudio_backend.h"

#include "audio/alsa/alsa_mixer.h"

#include "stream_core.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <pa_jack.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stop_token>
#include <thread>
#include <cstdarg>
#include <cstdlib>

namespace waveio {

namespace {

// ALSA's library reports every probe of a missing plug-in on stderr; the
// device list is what matters to the operator.
void quiet_alsa_errors(const char*, int, const char*, int, const char*, ...) {}

// JACK's and ALSA's client libraries print while PortAudio probes them; keep
// that off the operator's terminal unless asked for.
class tstderr_silencer {
public:
  tstderr_silencer()
  {
    if (std::getenv("QUARVEL_AUDIO_DEBUG") != nullptr) return;
    saved_ = ::dup(STDERR_FILENO);
    const int null_device = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_device >= 0) ::dup2(null_device, STDERR_FILENO);
    if (null_device >= 0) ::close(null_device);
  }
  ~tstderr_silencer()
  {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  tstderr_silencer(const tstderr_silencer&) = delete;
  tstderr_silencer& operator=(const tstderr_silencer&) = delete;

private:
  int saved_ = -1;
};

std::string host_api_label(PaHostApiIndex index)
{
  const PaHostApiInfo* info = Pa_GetHostApiInfo(index);
  if (info == nullptr) return "?";
  switch (info->type) {
    case paALSA: return "ALSA";
    case paJACK: return "JACK";
    case paOSS: return "OSS";
    default: return info->name != nullptr ? info->name : "?";
  }
}

bool is_supported_format(const twave_format& format)
{
  return format.channels == 2 && format.bits_per_sample == 16 && format.block_align == 4 &&
         format.samples_per_sec > 0;
}

// How long a stream may go without a callback before it counts as gone,
// and how long a stop may take before it is given up.
constexpr auto stall_limit = std::chrono::milliseconds(2000);
constexpr auto watchdog_period = std::chrono::milliseconds(200);
constexpr auto stop_limit = std::chrono::milliseconds(2000);
constexpr auto failed_stop_limit = std::chrono::milliseconds(300);

// Runs `work` on a helper thread and waits for it at most `limit`. A
// call that hangs is left behind, keeping alive whatever `work` captured.
bool run_within_limit(std::function<void()> work, std::chrono::milliseconds limit = stop_limit)
{
  std::promise<void> finished;
  std::future<void> finished_future = finished.get_future();
  std::thread helper([work = std::move(work), finished = std::move(finished)]() mutable {
    work();
    finished.set_value();
  });
  if (finished_future.wait_for(limit) == std::future_status::ready) {
    helper.join();
    return true;
  }
  helper.detach();
  return false;
}

}  // namespace

std::string alsa_mixer_of_device(std::string_view device_name)
{
  const auto at = device_name.rfind("(hw:");
  if (at == std::string_view::npos) return "default";
  const std::string_view rest = device_name.substr(at + 4);
  const auto comma = rest.find(',');
  const std::string_view card = rest.substr(0, comma);
  if (card.empty() || comma == std::string_view::npos ||
      card.find_first_not_of("0123456789") != std::string_view::npos) {
    return "default";
  }
  return "hw:" + std::string(card);
}

namespace {

// One direction of one PortAudio stream, fed from (or into) queued buffers.
class tpa_stream {
public:
  // The core is shared with a stop left behind (see run_within_limit).
  tpa_stream(bool is_input, tauto_reset_event* event, std::shared_ptr<tdropout_counter> output_dropouts)
      : core_(std::make_shared<tstream_core>(is_input, event, std::move(output_dropouts)))
  {
  }
  ~tpa_stream() { close(); }
  tpa_stream(const tpa_stream&) = delete;
  tpa_stream& operator=(const tpa_stream&) = delete;

  PaError open(int portaudio_index, const twave_format& format)
  {
    const PaDeviceInfo* device = Pa_GetDeviceInfo(portaudio_index);
    if (device == nullptr) return paInvalidDevice;
    PaStreamParameters parameters{};
    parameters.device = portaudio_index;
    parameters.channelCount = format.channels;
    parameters.sampleFormat = paInt16;
    parameters.suggestedLatency =
        core_->is_input ? device->defaultHighInputLatency : device->defaultHighOutputLatency;
    device_index_ = portaudio_index;
    PaError error = Pa_OpenStream(&stream_, core_->is_input ? &parameters : nullptr,
                                  core_->is_input ? nullptr : &parameters, format.samples_per_sec,
                                  paFramesPerBufferUnspecified, paClipOff | paDitherOff, &tpa_stream::callback,
                                  core_.get());
    if (error != paNoError) {
      stream_ = nullptr;
      return error;
    }
    error = Pa_SetStreamFinishedCallback(stream_, &tpa_stream::finished);
    return error;
  }

  PaError start()
  {
    if (stream_ == nullptr) return paBadStreamPtr;
    core_->stopping.store(false);
    const PaError error = Pa_StartStream(stream_);
    if (error == paNoError) watchdog_ = std::jthread(&tpa_stream::watch, core_);
    return error;
  }

  int queue(twave_header& header)
  {
    if (stream_ == nullptr) return MMSYSERR_INVALHANDLE;
    if (!header.prepared) return WAVERR_UNPREPARED;
    return core_->queue.push(&header) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  // Stops the stream; afterwards this thread owns the queue and returns
  // every buffer still in it.
  int reset()
  {
    if (stream_ == nullptr) return MMSYSERR_INVALHANDLE;
    stop_and_return_buffers(false);
    return MMSYSERR_NOERROR;
  }

  int close()
  {
    if (stream_ == nullptr) return MMSYSERR_INVALHANDLE;
    stop_and_return_buffers(true);
    stream_ = nullptr;
    return MMSYSERR_NOERROR;
  }

  // Stops the stream (for good when `closing`) and returns every buffer
  // still queued. A stream that does not stop in time is given up on and
  // left to its helper thread.
  void stop_and_return_buffers(bool closing)
  {
    stop_watchdog();
    core_->stopping.store(true);
    if (!core_->abandoned.load() && !stop_within_limit(closing)) core_->abandoned.store(true);
    return_all_buffers();
  }

  bool failed() const { return core_->failed.load(); }

  // The ALSA mixer of the card this stream records from or plays on.
  // PortAudio names an ALSA hardware device after its card and device,
  // "HDA Intel PCH: ALC892 Analog (hw:0,0)", so the card comes from the open
  // device itself, never from its position in the list. (PortAudio's
  // PaAlsa_GetStream…Card answers card 0 for plugin devices too, so it
  // cannot tell them apart.) ALSA's plugin devices ("default", "pulse", …)
  // have no card: they use the "default" mixer, which under PulseAudio or
  // PipeWire is the server's default source and sink. JACK and the other
  // host APIs have no mixer here ("").
  std::string mixer_name() const
  {
    if (stream_ == nullptr) return {};
    const PaDeviceInfo* device = Pa_GetDeviceInfo(device_index_);
    const PaHostApiInfo* host_api = device != nullptr ? Pa_GetHostApiInfo(device->hostApi) : nullptr;
    if (host_api == nullptr || host_api->type != paALSA) return {};
    return alsa_mixer_of_device(device->name != nullptr ? device->name : "");
  }

  bool is_input() const { return core_->is_input; }

  double latency_seconds() const
  {
    const PaStreamInfo* info = stream_ != nullptr ? Pa_GetStreamInfo(stream_) : nullptr;
    if (info == nullptr) return 0.0;
    return core_->is_input ? info->inputLatency : info->outputLatency;
  }

private:
  static int callback(const void* input, void* output, unsigned long frame_count, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags status, void* user)
  {
    auto* core = static_cast<tstream_core*>(user);
    if (core->abandoned.load(std::memory_order_relaxed)) return paAbort;
    core->callbacks.fetch_add(1, std::memory_order_relaxed);
    // JACK reports its xruns through these flags too.
    if (core->is_input) {
      record_frames(*core, static_cast<const std::int16_t*>(input), frame_count,
                    (status & (paInputOverflow | paInputUnderflow)) != 0);
    } else {
      play_frames(*core, static_cast<std::int16_t*>(output), frame_count, (status & paOutputUnderflow) != 0);
    }
    return paContinue;
  }

  static void finished(void* user)
  {
    auto* core = static_cast<tstream_core*>(user);
    if (!core->stopping.load()) core->mark_failed();
  }

  // PortAudio does not always notice that a device or server went away:
  // a started stream whose callbacks stop coming has failed.
  static void watch(std::stop_token stop, std::shared_ptr<tstream_core> core)
  {
    std::mutex lock;
    std::condition_variable_any woken;
    std::uint64_t last_count = core->callbacks.load();
    auto last_progress = std::chrono::steady_clock::now();
    std::unique_lock guard(lock);
    while (true) {
      woken.wait_for(guard, stop, watchdog_period, [] { return false; });
      if (stop.stop_requested()) return;
      const std::uint64_t count = core->callbacks.load();
      const auto now = std::chrono::steady_clock::now();
      if (count != last_count) {
        last_count = count;
        last_progress = now;
      } else if (now - last_progress > stall_limit) {
        core->mark_failed();
        return;
      }
    }
  }

  void stop_watchdog()
  {
    if (!watchdog_.joinable()) return;
    watchdog_.request_stop();
    watchdog_.join();
  }

  // Aborts (and closes) the stream; false if that did not finish in time.
  // A stream that already stalled gets little time: its server is likely gone.
  bool stop_within_limit(bool close_too)
  {
    return run_within_limit(
        [stream = stream_, core = core_, close_too] {
          if (Pa_IsStreamStopped(stream) == 0) Pa_AbortStream(stream);
          if (close_too) Pa_CloseStream(stream);
        },
        core_->failed.load() ? failed_stop_limit : stop_limit);
  }

  void return_all_buffers()
  {
    // A stream given up on may still own its queue; its buffers are left to
    // the streaming layer, which does not wait for them.
    if (core_->abandoned.load()) return;
    if (core_->current != nullptr) core_->current->flags.fetch_or(WHDR_DONE, std::memory_order_release);
    core_->current = nullptr;
    while (twave_header* header = core_->queue.pop()) header->flags.fetch_or(WHDR_DONE, std::memory_order_release);
  }

  // The callback's data, shared with a stop left behind (see run_within_limit).
  std::shared_ptr<tstream_core> core_;
  PaStream* stream_ = nullptr;  // none once closed
  PaDeviceIndex device_index_ = paNoDevice;
  std::jthread watchdog_;
};

// What an input and an output device handle have in common.
template <typename Direction>
class tpa_handle : public Direction {
public:
  int prepare_header(twave_header& header) override { return mark_prepared(header, true); }
  int unprepare_header(twave_header& header) override { return mark_prepared(header, false); }
  int reset() override { return stream_.reset(); }
  int close() override { return stream_.close(); }
  bool failed() const override { return stream_.failed(); }
  double latency_seconds() const override { return stream_.latency_seconds(); }

  std::unique_ptr<tmixer_device> open_mixer() override
  {
    const std::string name = stream_.mixer_name();
    if (name.empty()) return nullptr;
    return open_alsa_mixer(name, stream_.is_input() ? tmixer_target::wave_in : tmixer_target::wave_out);
  }

protected:
  tpa_handle(bool is_input, tauto_reset_event* event, std::shared_ptr<tdropout_counter> output_dropouts)
      : stream_(is_input, event, std::move(output_dropouts))
  {
  }

  tpa_stream stream_;

private:
  static int mark_prepared(twave_header& header, bool prepared)
  {
    header.prepared = prepared;
    return MMSYSERR_NOERROR;
  }
};

class tpa_wave_in final : public tpa_handle<twave_in> {
public:
  tpa_wave_in(tauto_reset_event* event, std::shared_ptr<tdropout_counter> output_dropouts)
      : tpa_handle(true, event, std::move(output_dropouts))
  {
  }
  PaError open(int index, const twave_format& format) { return stream_.open(index, format); }
  int add_buffer(twave_header& header) override { return stream_.queue(header); }
  int start() override { return stream_.start() == paNoError ? MMSYSERR_NOERROR : MMSYSERR_ERROR; }
};

class tpa_wave_out final : public tpa_handle<twave_out> {
public:
  explicit tpa_wave_out(std::shared_ptr<tdropout_counter> output_dropouts)
      : tpa_handle(false, nullptr, std::move(output_dropouts))
  {
  }
  // A wave output plays from the moment it is opened.
  PaError open(int index, const twave_format& format)
  {
    const PaError error = stream_.open(index, format);
    return error != paNoError ? error : stream_.start();
  }
  int write(twave_header& header) override { return stream_.queue(header); }
};

int result_of(PaError error)
{
  switch (error) {
    case paNoError: return MMSYSERR_NOERROR;
    case paInvalidDevice: return MMSYSERR_BADDEVICEID;
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paInvalidChannelCount: return WAVERR_BADFORMAT;
    default: return MMSYSERR_ERROR;
  }
}

}  // namespace

tportaudio_backend::tportaudio_backend(const std::string& client_name)
{
  snd_lib_error_set_handler(&quiet_alsa_errors);
  PaJack_SetClientName(client_name.c_str());
  PaError error = paNoError;
  {
    const tstderr_silencer silencer;
    error = Pa_Initialize();
  }
  if (error != paNoError) {
    last_error_ = Pa_GetErrorText(error);
    return;
  }
  initialised_ = true;
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex index = 0; index < count; ++index) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    if (info == nullptr) continue;
    const std::string name = std::string(info->name != nullptr ? info->name : "?") + " (" +
                             host_api_label(info->hostApi) + ")";
    // Only devices with two channels can carry both divider voltages.
    if (info->maxInputChannels >= 2) inputs_.push_back({index, name});
    if (info->maxOutputChannels >= 2) outputs_.push_back({index, name});
  }
}

tportaudio_backend::~tportaudio_backend()
{
  if (!initialised_) return;
  // Terminating talks to the sound servers too; a dead one must not keep
  // the program from ending.
  run_within_limit([] { Pa_Terminate(); });
}

int tportaudio_backend::in_device_count()
{
  return static_cast<int>(inputs_.size());
}

int tportaudio_backend::out_device_count()
{
  return static_cast<int>(outputs_.size());
}

std::string tportaudio_backend::in_device_name(int id)
{
  return id >= 0 && id < in_device_count() ? inputs_[static_cast<std::size_t>(id)].name : std::string();
}

std::string tportaudio_backend::out_device_name(int id)
{
  return id >= 0 && id < out_device_count() ? outputs_[static_cast<std::size_t>(id)].name : std::string();
}

int tportaudio_backend::open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
                                tauto_reset_event* event)
{
  if (id < 0 || id >= in_device_count()) return MMSYSERR_BADDEVICEID;
  if (!is_supported_format(format)) return WAVERR_BADFORMAT;
  auto device = std::make_unique<tpa_wave_in>(event, output_dropouts_);
  const PaError error = device->open(inputs_[static_cast<std::size_t>(id)].portaudio_index, format);
  if (error != paNoError) {
    last_error_ = Pa_GetErrorText(error);
    return result_of(error);
  }
  handle = std::move(device);
  return MMSYSERR_NOERROR;
}

int tportaudio_backend::open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format)
{
  int portaudio_index = paNoDevice;
  if (id == WAVE_MAPPER) {
    if (initialised_) portaudio_index = Pa_GetDefaultOutputDevice();
  } else if (id >= 0 && id < out_device_count()) {
    portaudio_index = outputs_[static_cast<std::size_t>(id)].portaudio_index;
  }
  if (portaudio_index == paNoDevice) return MMSYSERR_BADDEVICEID;
  if (!is_supported_format(format)) return WAVERR_BADFORMAT;
  auto device = std::make_unique<tpa_wave_out>(output_dropouts_);
  const PaError error = device->open(portaudio_index, format);
  if (error != paNoError) {
    last_error_ = Pa_GetErrorText(error);
    return result_of(error);
  }
  handle = std::move(device);
  return MMSYSERR_NOERROR;
}

}  // namespace waveio
