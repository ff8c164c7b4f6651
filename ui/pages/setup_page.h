// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Setup/Test": the sound devices, the sample offset, the channel
// swap, the mixer bars (bound with the mixer) and the four set-up tests
// with their lamps. Window's thread.

#include "ui/pages/page_services.h"
#include "ui_setup_page.h"

#include "ui/settings/language.h"

#include "engine/measurement/configuration_tests.h"

#include "audio/mixer.h"

#include <QWidget>

#include <memory>

class QComboBox;

class tsetup_page : public QWidget {
  Q_OBJECT

public:
  tsetup_page(QWidget* parent, tstream_service& streams, tremote_switch& remote);

  Ui::setup_page ui;

  // The display tick's part: the test lamps and the resolution fields.
  void show_test_results(const lcr::tconfig_test_results& results);

  // "Sprache / Language" shows `choice`, without its change handler. The
  // window speaks `running` until the next start: a choice that resolves
  // to another language says so beside the list, in that language.
  void show_language(quarvel_ui::tlanguage_choice choice, quarvel_ui::twindow_language running);
  quarvel_ui::tlanguage_choice language_choice() const;

signals:
  // The set-up tests are left: the measurement's "Pegel" applies again.
  void measurement_resumed();

public slots:
  void ComboBox2Change();
  void TrackBar1Change();
  void TrackBar2Change();
  void ComboBox3Change();
  void CheckBox1Click();
  void CheckBox2Click();
  // The remote control on or off; a port that cannot be opened is said
  // and the box goes off again.
  void CheckBox6Click();
  void RadioButton1Click(int tag);
  void ComboBox7Change();

private:
  tstream_service& streams_;
  tremote_switch& remote_;
  std::unique_ptr<waveio::ttrack_bar> input_bar_;   // TrackBar1 as the mixer sees it
  std::unique_ptr<waveio::ttrack_bar> output_bar_;  // TrackBar2
  quarvel_ui::twindow_language running_language_ = quarvel_ui::twindow_language::german;
};

// The selected entry of a device or offset list whose text can be typed:
// the entry whose text the list shows, or −1 when the text is no entry.
int selected_index(const QComboBox& list);
// Selects an entry (−1: none) without running the list's change handler.
void select_entry(QComboBox& list, int index);
