// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window `TForm1`: the whole meter in one fixed window of four
// pages. Its creation starts the system in a fixed order (device lists,
// option groups into the engine, the settings file, the engine, the
// streams, the plot, the calibration file), its display tick shows the
// measurement ten times a second, and closing it stops the streams and
// writes the settings file.
//
// Everything here runs on the window's thread. The engine runs on the
// streaming worker; the window only writes settings and copies results
// under `lcr::publication_lock`, and never waits for an evaluation.

#include "ui/pages/page_services.h"
#include "ui/settings/language.h"

#include "audio/streaming.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QTabWidget;
class tmeasurement_page;
class tplot_page;
class tcalibration_page;
class tsetup_page;
class tsimulation_page;
class tresponse_page;
class timpedance_page;
class tsorting_page;
class tremote_control;

namespace waveio {
class tsound_devices;
}

// Where the window keeps its files and what it measures on.
struct tstartup_options {
  std::string settings_path = "Quarvel.ini";    // the settings file, full path
  std::string calibration_path = "Quarvel.cal";
  std::optional<std::string> sim_dut;           // select the simulated set-up with this device
  bool real_cards = true;                       // list the sound cards (tests: only the simulated set-up)
  // `--lang`: replaces the settings file's choice, and is kept in it.
  std::optional<quarvel_ui::tlanguage_choice> language;
  // The language whose translation this run installed.
  quarvel_ui::twindow_language window_language = quarvel_ui::twindow_language::german;
};

// The window alone knows the pages, the timers and the devices: it gives
// each page the services it asks for and connects what one page announces
// to the pages it concerns.
class TForm1 : public QWidget, public tstream_service, public tremote_switch, public tcalibration_progress {
  Q_OBJECT

public:
  // Runs FormCreate. Throws waveio::dut_error for a malformed `sim_dut`.
  explicit TForm1(const tstartup_options& options);
  // Runs FormDestroy unless the window was closed before.
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  tmeasurement_page& measurement_page() { return *measurement_page_; }
  tplot_page& plot_page() { return *plot_page_; }
  tcalibration_page& calibration_page() { return *calibration_page_; }
  tsetup_page& setup_page() { return *setup_page_; }
  tsimulation_page& simulation_page() { return *simulation_page_; }
  tresponse_page& response_page() { return *response_page_; }
  timpedance_page& impedance_page() { return *impedance_page_; }
  tsorting_page& sorting_page() { return *sorting_page_; }
  tremote_control& remote_control() { return *remote_control_; }
  QTabWidget& page_control() { return *PageControl1; }
  QTimer& timer1() { return Timer1; }
  QTimer& timer2() { return Timer2; }
  waveio::tsound_devices& sound_devices() { return *devices_; }
  const tstartup_options& startup_options() const { return options_; }

  // The display update, also run by "Stopp".
  void show_measurement();

  // The streams, as the pages ask for them.
  void follow_set_up() override;
  void close_streams() override;
  void open_streams() override;
  waveio::tsimulated_fixture& fixture() override;
  std::string enable_remote(bool on) override;
  // A calibration step in progress, for the simulated set-up's
  // "automatisch": the calibration page's sweep, or "Kal. offen" or "Kal.
  // geschlossen" on the measuring page.
  bool sweep_running() const override;
  lcr::tcal_mode selected_mode() const override;
  // The page "Simulation" is usable while the simulated set-up is a
  // selected device.
  void enable_simulation_page();
  // Both directions on the simulated set-up, whose adapter follows "R ref"
  // by itself.
  bool simulated_set_up_selected() const;
  // The measuring page's notice of a simulated set-up that is not wired to
  // the device under test.
  void show_set_up_notice();

public slots:
  void Timer1Timer();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void connect_pages();
  void FormCreate();
  void FormDestroy();
  void fill_frequency_items();
  void fill_device_lists();
  void select_simulated_set_up();

  tstartup_options options_;
  std::unique_ptr<waveio::tsound_devices> devices_;
  std::optional<waveio::topen_streams> streams_;
  QTabWidget* PageControl1 = nullptr;  // owned by the window
  tmeasurement_page* measurement_page_ = nullptr;
  tplot_page* plot_page_ = nullptr;
  tcalibration_page* calibration_page_ = nullptr;
  tsetup_page* setup_page_ = nullptr;
  tsimulation_page* simulation_page_ = nullptr;
  tresponse_page* response_page_ = nullptr;
  timpedance_page* impedance_page_ = nullptr;
  tsorting_page* sorting_page_ = nullptr;
  QTimer Timer1;
  QTimer Timer2;
  std::unique_ptr<tremote_control> remote_control_;
  bool destroyed_ = false;
};

// "Quarvel Version 0.02 Professionell", two blanks and the project's web
// address.
QString window_caption();
