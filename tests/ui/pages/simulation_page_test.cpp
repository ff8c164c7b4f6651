// SPDX-License-Identifier: GPL-3.0-or-later
// The page "Simulation": the device network, what the adapter holds
// ("automatisch" follows the tests and the calibration sweep), the
// imperfections and the noise; and the simulated card's mixer, which
// really changes the levels that test 1 grades.

#include "support/window_fixture.h"

#include "ui/settings/settings_file.h"

#include "ui/pages/simulation_page.h"

#include "audio/simulated/fixture_set_up.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>

#include <gtest/gtest.h>

namespace {

class SimulationPage : public quarvel_test::window_fixture {
protected:
  waveio::tfixture_config fixture() const { return window->sound_devices().fixture().configuration(); }
  int simulation_tab() const { return window->page_control().indexOf(&window->simulation_page()); }

  void enter_network(const QString& text)
  {
    window->page_control().setCurrentIndex(simulation_tab());
    QLineEdit* network = find<QLineEdit>("Edit18");
    network->setText(text);
    emit network->editingFinished();
  }
};

TEST_F(SimulationPage, ABadNetworkIsShownInRedAndTheOldOneStays)
{
  start_window("R=1k");
  EXPECT_EQ(find<QLineEdit>("Edit18")->text(), "R=1k");
  enter_network("C=100n + X=2");
  EXPECT_EQ(fixture().dut_network, "R=1k");
  EXPECT_EQ(label("Label50"), "position 10: unknown element 'X'; expected R, C, L or '('");
  EXPECT_TRUE(find<QLineEdit>("Edit18")->styleSheet().contains("color")) << "not shown in red";
  enter_network("C=100n + R=2");
  EXPECT_EQ(fixture().dut_network, "C=100n + R=2");
  EXPECT_EQ(label("Label50"), "");
  EXPECT_TRUE(find<QLineEdit>("Edit18")->styleSheet().isEmpty());
}

// An example goes whole into the field; the narrow list shows its heading
// again rather than the network cut.
TEST_F(SimulationPage, AnExampleIsMeasuredAndTheListReturnsToItsHeading)
{
  start_window("R=1k");
  QComboBox* examples = combo("ComboBox4");
  const int item = examples->findText("(L=10m + R=5) | C=1n");
  ASSERT_GT(item, 0);
  examples->setCurrentIndex(item);
  emit examples->activated(item);
  EXPECT_EQ(find<QLineEdit>("Edit18")->text(), "(L=10m + R=5) | C=1n");
  EXPECT_EQ(fixture().dut_network, "(L=10m + R=5) | C=1n");
  EXPECT_EQ(examples->currentIndex(), 0);
}

TEST_F(SimulationPage, UsableOnlyWhileTheSimulatedSetUpIsSelected)
{
  start_window("R=1k");
  EXPECT_TRUE(window->page_control().isTabEnabled(simulation_tab()));
  for (const char* list : {"ComboBox1", "ComboBox2"}) {
    window->page_control().setCurrentIndex(3);
    QLineEdit* typed = combo(list)->lineEdit();
    typed->selectAll();
    QTest::keyClicks(typed, "Y");  // no entry
  }
  EXPECT_FALSE(window->page_control().isTabEnabled(simulation_tab()));
  combo("ComboBox2")->setCurrentIndex(0);
  emit combo("ComboBox2")->activated(0);
  EXPECT_TRUE(window->page_control().isTabEnabled(simulation_tab()));
}

// "automatisch" wires what the selected test or the running calibration
// sweep needs, and the device under test otherwise; a manual choice stays.
TEST_F(SimulationPage, TheAdapterFollowsTheTestsAndTheSweep)
{
  start_window("R=1k");
  use_virtual_clock();
  click(button("RadioButton4"));  // test 3
  EXPECT_EQ(fixture().wiring, waveio::twiring::test_fixture_2);
  click(button("RadioButton5"));  // test 4
  EXPECT_EQ(fixture().wiring, waveio::twiring::open_inputs);
  click(button("RadioButton1"));
  EXPECT_EQ(fixture().wiring, waveio::twiring::measuring_adapter);
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::device_under_test);

  click_item("RadioGroup8", 1);  // "G-O Kanalsymmetrie"
  click(push_button("Button5"));
  EXPECT_EQ(fixture().reference_state, waveio::treference_state::shorted);
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::open);
  advance(40.0);
  ASSERT_FALSE(window->timer2().isActive());
  EXPECT_EQ(fixture().reference_state, waveio::treference_state::fitted);
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::device_under_test);

  click_item("RadioGroup10", 3);  // "Messklemmen kurzgeschlossen", by hand
  click(button("RadioButton2"));
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::shorted);
  EXPECT_EQ(fixture().wiring, waveio::twiring::measuring_adapter);
}

TEST_F(SimulationPage, ImperfectionsAndNoise)
{
  start_window("R=1k");
  click_item("RadioGroup11", 1);
  EXPECT_TRUE(waveio::has_imperfections(fixture()));
  EXPECT_EQ(fixture().crosstalk, 1e-5);
  QComboBox* noise = combo("ComboBox5");
  noise->setCurrentIndex(3);
  emit noise->activated(3);
  EXPECT_EQ(fixture().noise_rms, 10.0);
  click_item("RadioGroup11", 0);
  EXPECT_FALSE(waveio::has_imperfections(fixture()));
  EXPECT_EQ(fixture().noise_rms, 10.0);
}

// "realistisch", the noise and a hand-chosen "Aufbau" are there again after
// a restart, kept beside the other added pages' choices.
TEST_F(SimulationPage, ItsChoicesOutliveARestart)
{
  start_window("R=1k");
  click_item("RadioGroup11", 1);
  QComboBox* noise = combo("ComboBox5");
  noise->setCurrentIndex(2);
  emit noise->activated(2);
  click_item("RadioGroup10", 2);  // "Messklemmen offen"
  close_window();
  const quarvel_ui::tbench_values kept = quarvel_ui::load_bench_values(settings_path());
  EXPECT_EQ(kept.simadapter, 1);
  EXPECT_EQ(kept.simsetup, 2);
  EXPECT_EQ(kept.simnoise, "3");

  start_window();  // the simulated set-up as the settings file keeps it
  EXPECT_EQ(option_group("RadioGroup11")->item_index(), 1);
  EXPECT_EQ(option_group("RadioGroup10")->item_index(), 2);
  EXPECT_TRUE(waveio::has_imperfections(fixture()));
  EXPECT_EQ(fixture().noise_rms, 3.0);
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::open);
  // The measuring page says what it measures instead of the part.
  EXPECT_EQ(label("Label75"), "Simulation: Messklemmen offen, nicht das Messobjekt");
  close_window();

  // A network given on the command line is measured as given, whatever
  // "Aufbau" the last run left; the adapter and the noise stay.
  start_window("C=1u + R=2");
  EXPECT_EQ(option_group("RadioGroup10")->item_index(), 0);
  EXPECT_EQ(fixture().device_state, waveio::tdevice_state::device_under_test);
  EXPECT_EQ(fixture().dut_network, "C=1u + R=2");
  EXPECT_EQ(fixture().noise_rms, 3.0);
  EXPECT_EQ(label("Label75"), "");
}

// Turned up, the simulated card's recording volume overdrives test 1's
// tone: the lamp turns red, and green again when turned down.
TEST_F(SimulationPage, TheSimulatedMixerChangesWhatTestOneGrades)
{
  start_window("R=1k");
  use_virtual_clock();
  click(window->findChild<QCheckBox*>("CheckBox1"));
  auto* recording = window->findChild<QSlider*>("TrackBar1");
  auto* playback = window->findChild<QSlider*>("TrackBar2");
  ASSERT_TRUE(recording->isEnabled());
  EXPECT_EQ(recording->value(), 23);  // 49152: the card's own gain
  EXPECT_EQ(playback->value(), 31);
  click(button("RadioButton2"));  // test 1, on test hardware 1
  advance(1.0);
  EXPECT_EQ(lamp("Edit14")->colour(), tlamp_colour::green);
  recording->setValue(31);  // a third louder
  advance(1.0);
  EXPECT_EQ(lamp("Edit14")->colour(), tlamp_colour::red);
  EXPECT_EQ(lamp("Edit14")->accessibleName(), "Test 1: rot");
  recording->setValue(23);
  advance(1.0);
  EXPECT_EQ(lamp("Edit14")->colour(), tlamp_colour::green);
  playback->setValue(16);  // half the tone: too little to record
  advance(1.0);
  EXPECT_EQ(lamp("Edit14")->colour(), tlamp_colour::yellow);
}

}  // namespace
