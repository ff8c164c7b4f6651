// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/simulation_page.h"


#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"

#include "audio/simulated/dut_network.h"
#include "audio/sound_devices.h"

#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <mutex>

namespace {

constexpr int automatic_item = 0;
constexpr int realistic_item = 1;

// The "Aufbau" items after "automatisch", in their order.
constexpr std::array<waveio::tset_up, 9> manual_set_ups{
    waveio::tset_up::device_under_test, waveio::tset_up::terminals_open,    waveio::tset_up::terminals_shorted,
    waveio::tset_up::known_resistor,    waveio::tset_up::reference_open,    waveio::tset_up::reference_shorted,
    waveio::tset_up::test_fixture_1,    waveio::tset_up::test_fixture_2,    waveio::tset_up::open_inputs};

}  // namespace

tsimulation_page::tsimulation_page(QWidget* parent, tstream_service& streams, const tcalibration_progress& calibration)
    : QWidget(parent), streams_(streams), calibration_(calibration)
{
  ui.setupUi(this);
  for (toption_group* group : {ui.RadioGroup10, ui.RadioGroup11}) {
    const QSignalBlocker quiet(group);
    group->set_item_index(0);
  }
  connect(ui.Edit18, &QLineEdit::editingFinished, this, &tsimulation_page::Edit18Exit);
  connect(ui.ComboBox4, &QComboBox::activated, this, &tsimulation_page::ComboBox4Change);
  connect(ui.ComboBox5, &QComboBox::activated, this, &tsimulation_page::ComboBox5Change);
  connect(ui.RadioGroup10, &toption_group::click, this, &tsimulation_page::RadioGroup10Click);
  connect(ui.RadioGroup11, &toption_group::click, this, &tsimulation_page::RadioGroup11Click);
}

waveio::tset_up tsimulation_page::automatic_set_up() const
{
  switch (lcr::settings.test_mode.load()) {
    case 1:
    case 2: return waveio::tset_up::test_fixture_1;
    case 3: return waveio::tset_up::test_fixture_2;
    case 4: return waveio::tset_up::open_inputs;
    default: break;
  }
  if (calibration_.sweep_running()) {
    return waveio::set_up_for_calibration_mode(static_cast<int>(calibration_.selected_mode()));
  }
  return waveio::tset_up::device_under_test;
}

waveio::tset_up tsimulation_page::chosen_set_up() const
{
  const int item = ui.RadioGroup10->item_index();
  if (item <= automatic_item) return automatic_set_up();
  return manual_set_ups[static_cast<std::size_t>(item - 1)];
}

void tsimulation_page::apply_set_up()
{
  waveio::tsimulated_fixture& fixture = streams_.fixture();
  waveio::tfixture_config config = fixture.configuration();
  waveio::wire_set_up(config, chosen_set_up());
  {
    const std::lock_guard lock(lcr::publication_lock);
    config.known_resistance_ohm = lcr::cal_capture.known_rp;
    config.known_capacitance_f = lcr::cal_capture.known_cp * 1e-15;
  }
  if (ui.RadioGroup11->item_index() == realistic_item) {
    waveio::add_realistic_imperfections(config);
  } else {
    waveio::remove_imperfections(config);
  }
  config.noise_rms = ui.ComboBox5->currentText().toDouble();
  rewire(config);
  emit set_up_applied();
}

void tsimulation_page::choose_automatic_set_up()
{
  {
    const QSignalBlocker quiet(ui.RadioGroup10);
    ui.RadioGroup10->set_item_index(automatic_item);
  }
  apply_set_up();
}

QString tsimulation_page::set_up_notice() const
{
  const waveio::tset_up set_up = chosen_set_up();
  if (set_up == waveio::tset_up::device_under_test) return {};
  const auto found = std::find(manual_set_ups.begin(), manual_set_ups.end(), set_up);
  const QString name = ui.RadioGroup10->items().value(static_cast<int>(found - manual_set_ups.begin()) + 1);
  return tr("Simulation: %1, nicht das Messobjekt").arg(name);
}

void tsimulation_page::restore_choices(int set_up_item, int adapter_item, const QString& noise)
{
  const QSignalBlocker quiet_set_up(ui.RadioGroup10);
  const QSignalBlocker quiet_adapter(ui.RadioGroup11);
  if (set_up_item >= 0 && set_up_item < ui.RadioGroup10->item_count()) ui.RadioGroup10->set_item_index(set_up_item);
  if (adapter_item >= 0 && adapter_item < ui.RadioGroup11->item_count()) ui.RadioGroup11->set_item_index(adapter_item);
  if (const int item = ui.ComboBox5->findText(noise); item >= 0) ui.ComboBox5->setCurrentIndex(item);
  apply_set_up();
}

// A set-up that changes what the inputs record: readings settle anew.
void tsimulation_page::rewire(const waveio::tfixture_config& config)
{
  waveio::tsimulated_fixture& fixture = streams_.fixture();
  if (config == fixture.configuration()) return;
  fixture.set_configuration(config);  // throws on a malformed network
  lcr::request_settling();
}

void tsimulation_page::Edit18Exit()
{
  const std::string text = ui.Edit18->text().toStdString();
  waveio::tsimulated_fixture& fixture = streams_.fixture();
  waveio::tfixture_config config = fixture.configuration();
  if (text == config.dut_network && ui.Label50->text().isEmpty()) return;
  try {
    config.dut_network = text;
    rewire(config);
  } catch (const waveio::dut_error& error) {
    show_network_error(QString::fromUtf8(error.what()));  // the previous network stays
    return;
  }
  show_network_error({});
}

void tsimulation_page::show_network_error(const QString& message)
{
  ui.Label50->setText(message);
  ui.Edit18->setStyleSheet(message.isEmpty() ? QString() : QStringLiteral("color: rgb(200, 0, 0);"));
}

void tsimulation_page::ComboBox4Change()
{
  if (ui.ComboBox4->currentIndex() <= 0) return;  // the list's heading
  ui.Edit18->setText(ui.ComboBox4->currentText());
  // The field shows the network whole; the narrow list would cut it.
  ui.ComboBox4->setCurrentIndex(0);
  Edit18Exit();
}

void tsimulation_page::RadioGroup10Click()
{
  apply_set_up();
}

void tsimulation_page::RadioGroup11Click()
{
  apply_set_up();
}

void tsimulation_page::ComboBox5Change()
{
  apply_set_up();
}
