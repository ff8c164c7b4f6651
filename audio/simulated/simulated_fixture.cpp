// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulated_fixture.h"

#include "simulated_device.h"

namespace waveio {

namespace {

bool supported(const twave_format& format)
{
  return format.channels == 2 && format.samples_per_sec == 48000 && format.bits_per_sample == 16 &&
         format.block_align == 4 && format.avg_bytes_per_sec == 192000;
}

int prepare(twave_header& header)
{
  if (header.data == nullptr || header.buffer_length == 0) return MMSYSERR_INVALPARAM;
  header.prepared = true;
  return MMSYSERR_NOERROR;
}

int unprepare(twave_header& header)
{
  header.prepared = false;
  return MMSYSERR_NOERROR;
}

// The handles forward to the device until closed. The streaming layer closes
// a handle only while its worker does not use it.
template <typename Direction>
class tfixture_handle : public Direction {
 public:
  using tstop = void (tsimulated_device::*)(bool closing);

  ~tfixture_handle() override { close(); }
  tfixture_handle(const tfixture_handle&) = delete;
  tfixture_handle& operator=(const tfixture_handle&) = delete;

  int prepare_header(twave_header& header) override
  {
    return device_ ? prepare(header) : MMSYSERR_INVALHANDLE;
  }
  int unprepare_header(twave_header& header) override
  {
    return device_ ? unprepare(header) : MMSYSERR_INVALHANDLE;
  }
  int reset() override
  {
    if (!device_) return MMSYSERR_INVALHANDLE;
    (device_->*stop_)(false);
    return MMSYSERR_NOERROR;
  }
  int close() override
  {
    if (!device_) return MMSYSERR_INVALHANDLE;
    (device_->*stop_)(true);
    device_ = nullptr;
    return MMSYSERR_NOERROR;
  }
  bool failed() const override { return false; }

 protected:
  tfixture_handle(tsimulated_device& device, tstop stop) : device_(&device), stop_(stop) {}

  tsimulated_device* device_;  // null once closed

 private:
  tstop stop_;
};

// The simulated card's mixer as a device has it: one destination line of
// the side's target with one volume control.
class tsimulated_mixer final : public tmixer_device {
 public:
  tsimulated_mixer(tsimulated_device& device, tmixer_target side) : device_(device), side_(side) {}

  int destination_count() override { return 1; }
  bool destination(int index, tmixer_line& line) override { return index == 0 && line_by_id(line_id, line); }
  bool line_by_id(std::uint32_t id, tmixer_line& line) override
  {
    if (id != line_id) return false;
    line = {line_id, 1, side_, side_ == tmixer_target::wave_in ? "Aufnahme" : "Wiedergabe"};
    return true;
  }
  bool line_controls(const tmixer_line& line, std::vector<tmixer_control>& controls) override
  {
    if (line.line_id != line_id) return false;
    controls = {{control_id, mixer_volume_control_type, 0, side_ == tmixer_target::wave_in ? "Capture" : "Master"}};
    return true;
  }
  bool control_value(const tmixer_control& control, std::uint32_t& value) override
  {
    if (control.control_id != control_id) return false;
    value = device_.mixer_volume(side_);
    return true;
  }
  bool set_control_value(const tmixer_control& control, std::uint32_t value) override
  {
    if (control.control_id != control_id) return false;
    device_.set_mixer_volume(side_, value);
    return true;
  }

 private:
  static constexpr std::uint32_t line_id = 1;
  static constexpr std::uint32_t control_id = 1;
  tsimulated_device& device_;
  tmixer_target side_;
};

class tinput_handle final : public tfixture_handle<twave_in> {
 public:
  explicit tinput_handle(tsimulated_device& device) : tfixture_handle(device, &tsimulated_device::stop_input) {}

  int add_buffer(twave_header& header) override
  {
    return device_ ? device_->add_input_buffer(header) : MMSYSERR_INVALHANDLE;
  }
  int start() override { return device_ ? device_->start_input() : MMSYSERR_INVALHANDLE; }
  // A change of tone has settled in the recording once the selected
  // reference's filter has forgotten the drive before it: it follows the
  // configuration and the reference, and the streaming layer reads it at
  // every use. Its worker reads it only between open and close.
  double latency_seconds() const override { return device_ ? device_->latency_seconds() : 0.0; }
  std::unique_ptr<tmixer_device> open_mixer() override
  {
    if (!device_) return nullptr;
    return std::make_unique<tsimulated_mixer>(*device_, tmixer_target::wave_in);
  }
};

class toutput_handle final : public tfixture_handle<twave_out> {
 public:
  explicit toutput_handle(tsimulated_device& device) : tfixture_handle(device, &tsimulated_device::stop_output) {}

  int write(twave_header& header) override
  {
    return device_ ? device_->write_output(header) : MMSYSERR_INVALHANDLE;
  }
  std::unique_ptr<tmixer_device> open_mixer() override
  {
    if (!device_) return nullptr;
    return std::make_unique<tsimulated_mixer>(*device_, tmixer_target::wave_out);
  }
};

}  // namespace

tsimulated_fixture::tsimulated_fixture(treference_source reference_index, const tfixture_config& config)
    : device_(std::make_unique<tsimulated_device>(std::move(reference_index), config))
{
}

tsimulated_fixture::~tsimulated_fixture() = default;

void tsimulated_fixture::set_configuration(const tfixture_config& config)
{
  device_->set_configuration(config);
}

tfixture_config tsimulated_fixture::configuration() const
{
  return device_->configuration();
}

void tsimulated_fixture::set_mixer_volume(tmixer_target side, std::uint32_t value)
{
  device_->set_mixer_volume(side, value);
}

std::uint32_t tsimulated_fixture::mixer_volume(tmixer_target side) const
{
  return device_->mixer_volume(side);
}

void tsimulated_fixture::inject_fault(tfixture_fault fault, std::int64_t at_block, int length)
{
  device_->inject_fault(fault, at_block, length);
}

std::int64_t tsimulated_fixture::blocks_recorded() const
{
  return device_->blocks_recorded();
}

std::string tsimulated_fixture::in_device_name(int id)
{
  return id == 0 ? simulated_fixture_name : "";
}

std::string tsimulated_fixture::out_device_name(int id)
{
  return id == 0 ? simulated_fixture_name : "";
}

int tsimulated_fixture::open_in(std::unique_ptr<twave_in>& handle, int id, const twave_format& format,
                                tauto_reset_event* event)
{
  if (id != 0) return MMSYSERR_BADDEVICEID;
  if (!supported(format)) return WAVERR_BADFORMAT;
  if (const int error = device_->open_input(event)) return error;
  handle = std::make_unique<tinput_handle>(*device_);
  return MMSYSERR_NOERROR;
}

int tsimulated_fixture::open_out(std::unique_ptr<twave_out>& handle, int id, const twave_format& format)
{
  if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (!supported(format)) return WAVERR_BADFORMAT;
  if (const int error = device_->open_output()) return error;
  handle = std::make_unique<toutput_handle>(*device_);
  return MMSYSERR_NOERROR;
}

}  // namespace waveio
