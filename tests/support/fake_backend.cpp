// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_backend.h"

namespace quarvel_test {

namespace {
int queue(fake_device_log& log, waveio::twave_header& header)
{
  const std::lock_guard lock(log.lock);
  if (log.closed) return waveio::MMSYSERR_INVALHANDLE;
  if (!header.prepared) return waveio::WAVERR_UNPREPARED;
  log.queued.push_back(&header);
  ++log.queue_calls;
  return waveio::MMSYSERR_NOERROR;
}

int prepare(fake_device_log& log, waveio::twave_header& header)
{
  const std::lock_guard lock(log.lock);
  header.prepared = true;
  ++log.prepared;
  return waveio::MMSYSERR_NOERROR;
}

int unprepare(fake_device_log& log, waveio::twave_header& header)
{
  const std::lock_guard lock(log.lock);
  header.prepared = false;
  --log.prepared;
  return waveio::MMSYSERR_NOERROR;
}

int return_all(fake_device_log& log)
{
  const std::lock_guard lock(log.lock);
  for (waveio::twave_header* header : log.queued) header->flags.fetch_or(waveio::WHDR_DONE, std::memory_order_release);
  log.queued.clear();
  log.reset_called = true;
  return waveio::MMSYSERR_NOERROR;
}

int close_device(fake_device_log& log)
{
  const std::lock_guard lock(log.lock);
  log.closed = true;
  return waveio::MMSYSERR_NOERROR;
}

bool has_failed(fake_device_log& log)
{
  const std::lock_guard lock(log.lock);
  return log.failed;
}
}  // namespace

int fake_wave_in::prepare_header(waveio::twave_header& header) { return prepare(*log_, header); }
int fake_wave_in::unprepare_header(waveio::twave_header& header) { return unprepare(*log_, header); }
int fake_wave_in::add_buffer(waveio::twave_header& header) { return queue(*log_, header); }
int fake_wave_in::reset() { return return_all(*log_); }
int fake_wave_in::close() { return close_device(*log_); }
bool fake_wave_in::failed() const { return has_failed(*log_); }

int fake_wave_in::start()
{
  const std::lock_guard lock(log_->lock);
  if (log_->start_result != 0) return log_->start_result;
  log_->started = true;
  return waveio::MMSYSERR_NOERROR;
}

int fake_wave_out::prepare_header(waveio::twave_header& header) { return prepare(*log_, header); }
int fake_wave_out::unprepare_header(waveio::twave_header& header) { return unprepare(*log_, header); }
int fake_wave_out::write(waveio::twave_header& header) { return queue(*log_, header); }
int fake_wave_out::reset() { return return_all(*log_); }
int fake_wave_out::close() { return close_device(*log_); }
bool fake_wave_out::failed() const { return has_failed(*log_); }

int fake_backend::open_in(std::unique_ptr<waveio::twave_in>& handle, int id, const waveio::twave_format& format,
                          waveio::tauto_reset_event* event)
{
  if (id < 0 || id >= input_devices) return waveio::MMSYSERR_BADDEVICEID;
  if (format.channels != 2 || format.bits_per_sample != 16) return waveio::WAVERR_BADFORMAT;
  if (open_in_result != 0) return open_in_result;
  in_log->event = event;
  handle = std::make_unique<fake_wave_in>(in_log);
  return waveio::MMSYSERR_NOERROR;
}

int fake_backend::open_out(std::unique_ptr<waveio::twave_out>& handle, int id, const waveio::twave_format& format)
{
  if (id != waveio::WAVE_MAPPER && (id < 0 || id >= output_devices)) return waveio::MMSYSERR_BADDEVICEID;
  if (format.channels != 2 || format.bits_per_sample != 16) return waveio::WAVERR_BADFORMAT;
  if (open_out_result != 0) return open_out_result;
  handle = std::make_unique<fake_wave_out>(out_log);
  return waveio::MMSYSERR_NOERROR;
}

bool fake_backend::complete_input(const std::function<std::int16_t(int, int)>& sample)
{
  waveio::twave_header* header = nullptr;
  waveio::tauto_reset_event* event = nullptr;
  {
    const std::lock_guard lock(in_log->lock);
    if (in_log->queued.empty() || !in_log->started) return false;
    header = in_log->queued.front();
    in_log->queued.pop_front();
    event = in_log->event;
  }
  for (int frame = 0; frame < static_cast<int>(header->frames()); ++frame) {
    header->data[2 * frame].store(sample(frame, 0), std::memory_order_relaxed);
    header->data[2 * frame + 1].store(sample(frame, 1), std::memory_order_relaxed);
  }
  header->flags.fetch_or(waveio::WHDR_DONE, std::memory_order_release);
  if (event != nullptr) event->set();
  return true;
}

std::vector<std::int16_t> fake_backend::play_output()
{
  waveio::twave_header* header = nullptr;
  {
    const std::lock_guard lock(out_log->lock);
    if (out_log->queued.empty()) return {};
    header = out_log->queued.front();
    out_log->queued.pop_front();
  }
  std::vector<std::int16_t> samples(header->frames() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = header->data[i].load(std::memory_order_relaxed);
  header->flags.fetch_or(waveio::WHDR_DONE, std::memory_order_release);
  return samples;
}

void fake_backend::fail_input()
{
  waveio::tauto_reset_event* event = nullptr;
  {
    const std::lock_guard lock(in_log->lock);
    in_log->failed = true;
    event = in_log->event;
  }
  if (event != nullptr) event->set();
}

}  // namespace quarvel_test
