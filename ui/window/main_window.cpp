// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/main_window.h"

#include "quarvel/version.h"

#include "ui/pages/calibration_page.h"
#include "ui/pages/impedance_page.h"
#include "ui/pages/loudspeaker_panel.h"
#include "ui/pages/measurement_page.h"
#include "ui/pages/plot_page.h"
#include "ui/pages/response_page.h"
#include "ui/pages/setup_page.h"
#include "ui/pages/simulation_page.h"
#include "ui/pages/sorting_page.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/window_style.h"
#include "ui/window/remote_control.h"
#include "ui/window/window_settings.h"

#include "engine/core/settings.h"
#include "engine/corrections/calibration_file.h"
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/mixer.h"
#include "audio/sound_devices.h"

#include <QCloseEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>

#include <mutex>

namespace {

constexpr int client_width = 542;
constexpr int client_height = 318;
// Eight page captions side by side in the window's width.
constexpr int page_caption_pixel_size = 10;

// "100", …, "500", then "1 k", …: thousands get " k".
QString frequency_item(int frequency_hz)
{
  if (frequency_hz >= 1000) return QString::number((frequency_hz + 500) / 1000) + QStringLiteral(" k");
  return QString::number(frequency_hz);
}

QStringList listed_names()
{
  QStringList names;
  for (const std::string& name : waveio::listed_device_names()) names << QString::fromStdString(name);
  return names;
}

}  // namespace

QString window_caption()
{
  return TForm1::tr("Quarvel Version 0.02 Professionell") + QStringLiteral("  ") +
         QString::fromUtf8(quarvel::homepage);
}

TForm1::TForm1(const tstartup_options& options) : options_(options)
{
  setObjectName(QStringLiteral("Form1"));
  setFont(controls_font());
  setFixedSize(client_width, client_height);
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(0, 0, client_width, client_height);
  PageControl1->tabBar()->setFont(font_of_pixel_size(page_caption_pixel_size));
  measurement_page_ = new tmeasurement_page(this, Timer1);
  plot_page_ = new tplot_page(this);
  calibration_page_ = new tcalibration_page(this, *this, Timer2, options_.calibration_path);
  setup_page_ = new tsetup_page(this, *this, *this);
  simulation_page_ = new tsimulation_page(this, *this, *this);
  response_page_ = new tresponse_page(this);
  impedance_page_ = new timpedance_page(this, options_.calibration_path);
  sorting_page_ = new tsorting_page(this);
  remote_control_ = std::make_unique<tremote_control>(
      *measurement_page_, [this] { return simulated_set_up_selected(); }, options_.calibration_path);
  for (QWidget* page : std::initializer_list<QWidget*>{measurement_page_, plot_page_, calibration_page_, setup_page_,
                                                       simulation_page_, response_page_, impedance_page_,
                                                       sorting_page_}) {
    PageControl1->addTab(page, page->windowTitle());
  }
  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setInterval(100);
  Timer2.setObjectName(QStringLiteral("Timer2"));
  Timer2.setInterval(500);
  connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  connect(&Timer2, &QTimer::timeout, calibration_page_, &tcalibration_page::Timer2Timer);
  connect_pages();
  FormCreate();
  Timer1.start();
}

TForm1::~TForm1()
{
  FormDestroy();
}

void TForm1::connect_pages()
{
  tmeasurement_page* measurement = measurement_page_;
  connect(measurement, &tmeasurement_page::meas_mode_applied, plot_page_, [this] {
    plot_page_->ScrollBar2Change();
    plot_page_->ScrollBar4Change();
  });
  connect(measurement, &tmeasurement_page::display_switched, this, &TForm1::show_measurement);
  connect(calibration_page_, &tcalibration_page::reference_chosen, measurement,
          [measurement](int item) { measurement->ui.RadioGroup1->set_item_index(item); });
  connect(calibration_page_, &tcalibration_page::sweep_settings_requested, measurement,
          [measurement](int ft_factor_item, int level_item) {
            measurement->ui.RadioGroup5->set_item_index(ft_factor_item);
            measurement->ui.RadioGroup4->set_item_index(level_item);
          });
  connect(calibration_page_, &tcalibration_page::sweep_ended, measurement, &tmeasurement_page::RadioGroup3Click);
  connect(measurement, &tmeasurement_page::correction_started, this, &TForm1::follow_set_up);
  connect(measurement, &tmeasurement_page::correction_ended, this, &TForm1::follow_set_up);
  connect(setup_page_, &tsetup_page::measurement_resumed, measurement, &tmeasurement_page::RadioGroup4Click);
  connect(simulation_page_, &tsimulation_page::set_up_applied, this, &TForm1::show_set_up_notice);
}

void TForm1::FormCreate()
{
  setWindowTitle(window_caption());
  lcr::set_decimal_separator(lcr::locale_decimal_separator());
  fill_frequency_items();
  fill_device_lists();

  // The option groups' design defaults into the engine; "Mittelwert" keeps
  // the engine's 0, which acts as 1.
  tmeasurement_page& page = *measurement_page_;
  page.RadioGroup1Click();
  page.RadioGroup3Click();
  page.RadioGroup4Click();
  page.RadioGroup5Click();

  load_settings({*setup_page_, *measurement_page_, *sorting_page_, *simulation_page_,
                 *impedance_page_->ui.LoudspeakerPanel}, options_.settings_path);
  setup_page_->show_language(
      options_.language.value_or(quarvel_ui::load_language_choice(options_.settings_path)),
      options_.window_language);
  if (options_.sim_dut) select_simulated_set_up();
  lcr::engine_init();
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::engine.ref_quantity.quantity.assign(1, 'R');  // the recommendation is a resistance
  }
  // The mode and the recommendation's key are set before the worker reads
  // them at its first evaluation.
  setup_page_->ComboBox2Change();
  setup_page_->ComboBox3Change();
  setup_page_->CheckBox1Click();
  plot_page_->set_up_plot();

  const lcr::tfile_result loaded = lcr::cal_load(options_.calibration_path);
  if (!loaded.ok) show_error_message(QString::fromStdString(loaded.text()));
  calibration_page_->ui.Button7->setEnabled(true);
}

void TForm1::fill_frequency_items()
{
  QStringList items;
  for (const int frequency_hz : lcr::test_frequencies) items << frequency_item(frequency_hz);
  measurement_page_->ui.RadioGroup3->set_items(items);
  measurement_page_->ui.RadioGroup3->set_item_index(3);
}

void TForm1::fill_device_lists()
{
  devices_ = std::make_unique<waveio::tsound_devices>([] { return lcr::settings.ref_index.load(); },
                                                      options_.real_cards);
  waveio::set_backend(&devices_->catalog());
  waveio::set_block_handler(lcr::process_recorded_blocks);
  simulation_page_->ui.Edit18->setText(QString::fromStdString(devices_->fixture().configuration().dut_network));
  // Both listings share one name table: the input names are copied first.
  waveio::wavein_enum();
  const QStringList inputs = listed_names();
  waveio::waveout_enum();
  const QStringList outputs = listed_names();
  QComboBox& input_list = *setup_page_->ui.ComboBox1;
  QComboBox& output_list = *setup_page_->ui.ComboBox2;
  const QSignalBlocker quiet_inputs(input_list);
  const QSignalBlocker quiet_outputs(output_list);
  input_list.addItems(inputs);
  output_list.addItems(outputs);
}

void TForm1::select_simulated_set_up()
{
  waveio::tfixture_config config = devices_->fixture().configuration();
  config.dut_network = *options_.sim_dut;
  devices_->fixture().set_configuration(config);  // throws on a malformed network
  simulation_page_->ui.Edit18->setText(QString::fromStdString(config.dut_network));
  // A network given to measure is measured: whatever "Aufbau" the last run
  // left, the terminals hold it.
  simulation_page_->choose_automatic_set_up();
  select_entry(*setup_page_->ui.ComboBox1, devices_->fixture_in_id());
  select_entry(*setup_page_->ui.ComboBox2, devices_->fixture_out_id());
}

void TForm1::close_streams()
{
  streams_.reset();
}

void TForm1::open_streams()
{
  lcr::forget_signal();
  streams_.emplace();
  enable_simulation_page();
}

void TForm1::follow_set_up()
{
  simulation_page_->apply_set_up();
}

bool TForm1::sweep_running() const
{
  return calibration_page_->sweep_running() || measurement_page_->pending_correction().has_value();
}

lcr::tcal_mode TForm1::selected_mode() const
{
  return measurement_page_->pending_correction().value_or(calibration_page_->selected_mode());
}

waveio::tsimulated_fixture& TForm1::fixture()
{
  return devices_->fixture();
}

std::string TForm1::enable_remote(bool on)
{
  return remote_control_->enable(on);
}

void TForm1::enable_simulation_page()
{
  const bool simulated = waveio::stream.in_device_id.load() == devices_->fixture_in_id() ||
                         waveio::stream.out_device_id.load() == devices_->fixture_out_id();
  PageControl1->setTabEnabled(PageControl1->indexOf(simulation_page_), simulated);
  response_page_->allow_reference_switching(simulated_set_up_selected());
  show_set_up_notice();
}

void TForm1::show_set_up_notice()
{
  measurement_page_->show_set_up_notice(simulated_set_up_selected() ? simulation_page_->set_up_notice() : QString());
}

bool TForm1::simulated_set_up_selected() const
{
  return waveio::stream.in_device_id.load() == devices_->fixture_in_id() &&
         waveio::stream.out_device_id.load() == devices_->fixture_out_id();
}

void TForm1::Timer1Timer()
{
  show_measurement();
}

void TForm1::show_measurement()
{
  plot_page_->draw_plot();
  const lcr::tmeasurement_snapshot snapshot = lcr::measurement_snapshot();
  const int signal_state = lcr::take_signal_state();
  const bool streaming = waveio::stream.input_running.load() && waveio::stream.output_running.load();
  measurement_page_->show_values(snapshot, signal_state, streaming);
  setup_page_->show_test_results(lcr::config_test_results());
  sorting_page_->show_comparison(snapshot);
  response_page_->tick_sweep();
}

void TForm1::closeEvent(QCloseEvent* event)
{
  FormDestroy();
  event->accept();
}

void TForm1::FormDestroy()
{
  if (destroyed_) return;
  destroyed_ = true;
  remote_control_->enable(false);  // no remote change while the system goes down
  Timer1.stop();
  Timer2.stop();
  close_streams();
  waveio::reset_mixer_state();  // the mixers belong to the devices, which go next
  waveio::set_block_handler(nullptr);
  waveio::set_backend(nullptr);
  save_settings({*setup_page_, *measurement_page_, *sorting_page_, *simulation_page_,
                 *impedance_page_->ui.LoudspeakerPanel}, options_.settings_path);
}
