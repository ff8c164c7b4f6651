#include "remote_control.h"

#include "main_window.h"
#include "measurement_page.h"
#include "option_group.h"

#include <QCheckBox>
#include <QRadioButton>

#include <stdexcept>

namespace {

// Often enough that a script's command waits no longer than a tenth of a
// display tick.
constexpr int service_interval_ms = 10;

}  // namespace

twindow_instrument::twindow_instrument(TForm1& window)
    : tengine_instrument(false, window.startup_options().calibration_path), window_(window)
{
}

bool twindow_instrument::adapter_follows_reference() const
{
  return window_.simulated_set_up_selected();
}

void twindow_instrument::apply_frequency(int index)
{
  window_.measurement_page().ui.RadioGroup3->set_item_index(index);
}

void twindow_instrument::apply_meas_mode(int mode)
{
  tmeasurement_page& page = window_.measurement_page();
  page.ui.CheckBox4->setChecked(false);  // a chosen mode ends "Auto"
  if (QRadioButton* button = page.mode_button(mode)) button->setChecked(true);
}

void twindow_instrument::apply_level(int index)
{
  window_.measurement_page().ui.RadioGroup4->set_item_index(index);
}

void twindow_instrument::apply_aperture(int ft_index, int avg_index)
{
  window_.measurement_page().ui.RadioGroup5->set_item_index(ft_index);
  window_.measurement_page().ui.RadioGroup6->set_item_index(avg_index);
}

void twindow_instrument::apply_reference(int index)
{
  window_.measurement_page().ui.RadioGroup1->set_item_index(index);
}

tremote_control::tremote_control(TForm1& window) : window_(window)
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
  auto instrument = std::make_unique<twindow_instrument>(window_);
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
