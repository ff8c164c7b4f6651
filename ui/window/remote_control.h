// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's remote control: the same command language and server as
// `quarvel-cli serve`, behind the check box "SCPI-Port 5025" on
// "Setup/Test" (off at every start; it has no authentication). A remote
// change goes through the measurement page's controls, so the window shows
// it and runs the same handlers as a click. Window's thread; the server is
// serviced by a timer of its own.

#include "remote/engine_instrument.h"
#include "remote/scpi_server.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class tmeasurement_page;

// Whether the simulated set-up is the selected device: only its adapter
// follows "R ref" by itself.
using tsimulated_selected = std::function<bool()>;

class twindow_instrument : public scpi::tengine_instrument {
public:
  twindow_instrument(tmeasurement_page& page, tsimulated_selected simulated, std::string calibration_path);

protected:
  bool adapter_follows_reference() const override;
  void apply_frequency(int index) override;
  void apply_meas_mode(int mode) override;
  void apply_level(int index) override;
  void apply_aperture(int ft_index, int avg_index) override;
  void apply_reference(int index) override;

private:
  tmeasurement_page& page_;
  tsimulated_selected simulated_;
};

class tremote_control : public QObject {
  Q_OBJECT

public:
  tremote_control(tmeasurement_page& page, tsimulated_selected simulated, std::string calibration_path);
  ~tremote_control() override;

  // Starts or stops the server on 127.0.0.1 at `port` (0: any free one,
  // for tests); "" when done, else why not.
  std::string enable(bool on, int port = scpi::default_port);
  bool enabled() const { return server_ != nullptr; }
  int port() const { return server_ ? server_->port() : 0; }

private:
  void service();

  tmeasurement_page& page_;
  tsimulated_selected simulated_;
  std::string calibration_path_;
  std::unique_ptr<twindow_instrument> instrument_;
  std::unique_ptr<scpi::tscpi_server> server_;
  QTimer timer_;
};
