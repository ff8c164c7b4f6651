// SPDX-License-Identifier: GPL-3.0-or-later
// Each page on its own, without the main window: fakes stand in for the
// services the window gives it, and what it announces to the other pages
// is caught from its signals.

#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include "ui/pages/calibration_page.h"
#include "ui/pages/impedance_page.h"
#include "ui/pages/measurement_page.h"
#include "ui/pages/page_services.h"
#include "ui/pages/plot_page.h"
#include "ui/pages/response_page.h"
#include "ui/pages/setup_page.h"
#include "ui/pages/simulation_page.h"
#include "ui/pages/sorting_page.h"
#include "ui/widgets/error_box.h"

#include "engine/measurement/measurement_cycle.h"

#include "audio/simulated/fixture_set_up.h"
#include "audio/simulated/simulated_fixture.h"

#include <QRadioButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

class tfake_streams : public tstream_service {
public:
  std::vector<std::string> calls;

  void close_streams() override { calls.emplace_back("close"); }
  void open_streams() override { calls.emplace_back("open"); }
  void follow_set_up() override { calls.emplace_back("follow"); }
  waveio::tsimulated_fixture& fixture() override { return fixture_; }

private:
  waveio::tsimulated_fixture fixture_{[] { return 0; }};
};

class tfake_remote : public tremote_switch {
public:
  std::string failure;
  std::vector<bool> asked;

  std::string enable_remote(bool on) override
  {
    asked.push_back(on);
    return failure;
  }
};

class tfake_calibration : public tcalibration_progress {
public:
  bool running = false;
  lcr::tcal_mode mode = lcr::tcal_mode::crosstalk;

  bool sweep_running() const override { return running; }
  lcr::tcal_mode selected_mode() const override { return mode; }
};

class PageAlone : public quarvel_test::fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    previous_handler_ = set_error_message_handler([this](const QString& message) { messages.push_back(message); });
  }
  void TearDown() override { set_error_message_handler(previous_handler_); }

  std::vector<QString> messages;
  tfake_streams streams;

private:
  std::function<void(const QString&)> previous_handler_;
};

TEST_F(PageAlone, MeasurementStoppDrivesTheDisplayTimerAndAModeNamesItsQuantities)
{
  QTimer display;
  display.start(100);
  tmeasurement_page page(nullptr, display);
  int shows = 0;
  int modes = 0;
  QObject::connect(&page, &tmeasurement_page::display_switched, [&] { ++shows; });
  QObject::connect(&page, &tmeasurement_page::meas_mode_applied, [&] { ++modes; });

  page.ui.Button4->click();
  EXPECT_FALSE(display.isActive());
  EXPECT_FALSE(lcr::settings.display_running.load());
  EXPECT_EQ(page.ui.Button4->text(), "Start");
  EXPECT_EQ(shows, 1);  // the held values are shown once more
  page.ui.Button4->click();
  EXPECT_TRUE(display.isActive());
  EXPECT_EQ(shows, 2);

  page.apply_meas_mode(page.mode_button(6));  // Rs/Cs
  EXPECT_EQ(modes, 1);
  EXPECT_EQ(lcr::displayed_meas_mode(), 6);
  EXPECT_EQ(page.ui.Label16->text(), "Cs:");
}

TEST_F(PageAlone, CalibrationAsksTheStreamsAndAnnouncesWhatTheMeasurementPageMustSet)
{
  const quarvel_test::temporary_directory directory;
  lcr::set_decimal_separator(lcr::locale_decimal_separator());  // as the window starts
  QTimer sweep_timer;
  tcalibration_page page(nullptr, streams, sweep_timer, directory.path() + "/Quarvel.cal");
  std::vector<int> references;
  std::vector<std::pair<int, int>> sweep_settings;
  int ended = 0;
  QObject::connect(&page, &tcalibration_page::reference_chosen, [&](int item) { references.push_back(item); });
  QObject::connect(&page, &tcalibration_page::sweep_settings_requested,
                   [&](int ft, int level) { sweep_settings.emplace_back(ft, level); });
  QObject::connect(&page, &tcalibration_page::sweep_ended, [&] { ++ended; });

  page.ui.RadioGroup8->item_button(2)->click();  // "R-O Parallelwiderstand"
  page.ui.RadioGroup9->item_button(3)->click();  // "10 k"
  EXPECT_EQ(references, std::vector<int>{3});
  EXPECT_EQ(streams.calls, std::vector<std::string>{"follow"});

  page.ui.Button5->click();
  EXPECT_TRUE(page.sweep_running());
  EXPECT_EQ(page.selected_mode(), lcr::tcal_mode::open);
  EXPECT_EQ(sweep_settings, (std::vector<std::pair<int, int>>{{1, 6}}));  // "FT Faktor" 4, "Pegel" 1.00
  // Without a stream nothing settles: every frequency is refused at once,
  // and the end is announced and said once.
  for (int tick = 0; tick < 3 * lcr::freq_count && page.sweep_running(); ++tick) page.Timer2Timer();
  EXPECT_FALSE(page.sweep_running());
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"follow", "follow", "follow"}));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains("nicht gespeichert bei 100 Hz")) << messages[0].toStdString();

  page.Button7Click();  // "Speichern" to the path the page was given
  EXPECT_TRUE(std::filesystem::exists(directory.path() + "/Quarvel.cal"));
}

TEST_F(PageAlone, SetupReopensTheStreamsAndSaysWhenTheRemotePortCannotOpen)
{
  tfake_remote remote;
  tsetup_page page(nullptr, streams, remote);
  int resumed = 0;
  QObject::connect(&page, &tsetup_page::measurement_resumed, [&] { ++resumed; });

  page.ComboBox2Change();
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"close", "open"}));

  remote.failure = "Port 5025 belegt";
  page.ui.CheckBox6->setChecked(true);
  EXPECT_EQ(remote.asked, std::vector<bool>{true});
  EXPECT_FALSE(page.ui.CheckBox6->isChecked());  // the box goes off again, without asking once more
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Fernsteuerung: Port 5025 belegt");

  page.RadioButton1Click(4);  // a set-up test: the measurement stands
  EXPECT_EQ(resumed, 0);
  page.RadioButton1Click(0);  // back to measuring
  EXPECT_EQ(resumed, 1);
  EXPECT_EQ(streams.calls.back(), "follow");
  EXPECT_EQ(lcr::settings.test_mode.load(), 0);
}

TEST_F(PageAlone, SimulationFollowsTheCalibrationSweepItIsGiven)
{
  tfake_calibration calibration;
  tsimulation_page page(nullptr, streams, calibration);
  EXPECT_EQ(page.automatic_set_up(), waveio::tset_up::device_under_test);
  calibration.running = true;
  calibration.mode = lcr::tcal_mode::short_circuit;
  EXPECT_EQ(page.automatic_set_up(), waveio::tset_up::terminals_shorted);
  page.apply_set_up();
  EXPECT_EQ(streams.fixture().configuration().device_state, waveio::tdevice_state::shorted);

  const std::string network = streams.fixture().configuration().dut_network;
  page.ui.Edit18->setText("R=4.7k +");
  page.Edit18Exit();  // a malformed network is said on the page; the fixture keeps its own
  EXPECT_FALSE(page.ui.Label50->text().isEmpty());
  EXPECT_EQ(streams.fixture().configuration().dut_network, network);
}

TEST_F(PageAlone, ImpedanceKeepsItsCalibrationBesideTheCalibrationFileItIsGiven)
{
  const quarvel_test::temporary_directory directory;
  timpedance_page page(nullptr, directory.path() + "/Bench.cal");
  EXPECT_FALSE(page.measuring());
  page.ui.Button21->click();  // "Speichern"
  EXPECT_TRUE(std::filesystem::exists(directory.path() + "/Bench.zcal"));
  EXPECT_TRUE(messages.empty());
}

// The pages that need no service stand on their own.
TEST_F(PageAlone, PlotResponseAndSortingNeedNoWindow)
{
  tplot_page plot(nullptr);
  plot.set_up_plot();
  plot.draw_plot();
  tresponse_page response(nullptr);
  response.allow_reference_switching(false);
  EXPECT_FALSE(response.ui.CheckBox3->isEnabled());
  EXPECT_FALSE(response.sweep_running());
  tsorting_page sorting(nullptr);
  sorting.show_comparison(lcr::measurement_snapshot());  // no reading yet: nothing to judge, nothing breaks
  EXPECT_EQ(sorting.comparison(), std::nullopt);
}

}  // namespace
