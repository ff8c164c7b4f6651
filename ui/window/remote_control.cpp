// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/remote_control.h"

#include "ui/pages/measurement_page.h"
#include "ui/widgets/option_group.h"

#include <QCheckBox>
#include <QRadioButton>

#include <stdexcept>
#include <utility>

namespace {

// Often enough that a script's command waits no longer than a tenth of a
// display tick.
constexpr int service_interval_ms = 10;

}  // namespace

twindow_instrument::twindow_instrument(tmeasurement_page& page, tsimulated_selected simulated,
                                       std::string calibration_path)
    : tengine_instrument(false, std::move(calibration_path)), page_(page), simulated_(std::move(simulated))
{
}

bool twindow_instrument::adapter_follows_reference() const
{
  return simulated_();
}

void twindow_instrument::apply_frequency(int index)
{
  page_.ui.RadioGroup3->set_item_index(index);
}

void twindow_instrument::apply_meas_mode(int mode)
{
  page_.ui.CheckBox4->setChecked(false);  // a chosen mode ends "Auto"
  if (QRadioButton* button = page_.mode_button(mode)) button->setChecked(true);
}

void twindow_instrument::apply_level(int index)
{
  page_.ui.RadioGroup4->set_item_index(index);
}

void twindow_instrument::apply_aperture(int ft_index, int avg_index)
{
  page_.ui.RadioGroup5->set_item_index(ft_index);
  page_.ui.RadioGroup6->set_item_index(avg_index);
}

void twindow_instrument::apply_reference(int index)
{
  page_.ui.RadioGroup1->set_item_index(index);
}

tremote_control::tremote_control(tmeasurement_page& page, tsimulated_selected simulated, std::string calibration_path)
    : page_(page), simulated_(std::move(simulated)), calibration_path_(std::move(calibration_path))
{
  timer_.setInterval(service_interval_ms);
  connect(&timer_, &QTimer::timeout, this, &tremote_control::service);
}

tremote_control::~tremote_control() = default;

std::string tremote_control::enable(bool on, int port)
{
  timer_.stop();
  server_.reset();
  instrument_.reset();
  if (!on) return {};
  auto instrument = std::make_unique<twindow_instrument>(page_, simulated_, calibration_path_);
  try {
    server_ = std::make_unique<scpi::tscpi_server>(*instrument, "127.0.0.1", port);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  instrument_ = std::move(instrument);
  timer_.start();
  return {};
}

void tremote_control::service()
{
  if (server_) server_->service(0);
}
