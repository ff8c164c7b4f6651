// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window on the simulated set-up, driven as an operator drives
// it: clicks, ticks of the display timer, the labels read back.

#include "support/window_fixture.h"

#include "ui/pages/plot_page.h"
#include "ui/plot/plot_model.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <complex>

namespace {

using quarvel_test::window_fixture;

class MainWindow : public window_fixture {};

TEST_F(MainWindow, FirstStartWithoutSettingsFileSelectsEveryFirstItem)
{
  start_window();
  EXPECT_EQ(window->windowTitle(), "Quarvel Version 0.02 Professionell  https://github.com/quarvel/quarvel");
  EXPECT_EQ(window->size(), QSize(542, 318));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(button("RadioButton_meas0")->isChecked());
  for (const char* group : {"RadioGroup1", "RadioGroup3", "RadioGroup4", "RadioGroup5", "RadioGroup6"}) {
    EXPECT_EQ(option_group(group)->item_index(), 0) << group;
  }
  EXPECT_EQ(option_group("RadioGroup3")->items(),
            QStringList({"100", "200", "500", "1 k", "2 k", "5 k", "10 k", "20 k"}));
  EXPECT_EQ(lcr::settings.freq_index.load(), 0);
  EXPECT_EQ(lcr::settings.tone_level.load(), 100.0);
  EXPECT_EQ(combo("ComboBox3")->currentText(), "0");
  EXPECT_EQ(combo("ComboBox1")->currentText(), "Simulierter Messaufbau");
  EXPECT_TRUE(window->findChild<QWidget*>("Button7")->isEnabled());
}

// An operator measures 4.7 kΩ and then 100 nF with 2 Ω in series: the
// labels show the exact values.
TEST_F(MainWindow, MeasuresASimulatedDeviceAsAnOperatorWould)
{
  start_window("R=4.7k");
  click_item("RadioGroup1", 3);  // "10 k"
  click_item("RadioGroup4", 6);  // "1.00"
  click(button("RadioButton_meas2"));  // Rs/Xs
  wait_for_settled_reading();
  EXPECT_EQ(label("Label17"), "Rs:");
  EXPECT_EQ(label("Label10"), "Wirkwiderstand, Resistanz, Reihenschaltung");
  EXPECT_NEAR(shown_value("Label11", "Label1"), 4700.0, 4700.0 * 1e-3) << label("Label11").toStdString();
  EXPECT_NEAR(shown_value("Label14", "Label2"), 0.0, 1.0);
  EXPECT_EQ(label("Label1"), "KOhm");
  EXPECT_EQ(label("Label30"), "KOhm");  // recommended: 10 kΩ for 4.7 kΩ

  set_simulated_device("C=100n + R=2");
  click_item("RadioGroup1", 1);  // "100": |Z| = 1.6 kΩ at 1 kHz needs a larger one, but reads
  click_item("RadioGroup1", 2);  // "1 k"
  click_item("RadioGroup3", 3);  // "1 k"
  click(button("RadioButton_meas6"));  // Rs/Cs
  wait_for_settled_reading();
  EXPECT_EQ(label("Label16"), "Cs:");
  EXPECT_NEAR(shown_value("Label14", "Label2"), 100e-9, 100e-9 * 1e-3) << label("Label14").toStdString();
  EXPECT_NEAR(shown_value("Label11", "Label1"), 2.0, 0.05) << label("Label11").toStdString();
  // The weak right channel at 100 Ω and 100 Hz is held for ten ticks of the
  // display, which a slow build may not yet have ticked when the reading settles.
  EXPECT_TRUE(wait_until([&] { return lamp("Edit11")->colour() == tlamp_colour::green; }));
}

// While the inputs hold silence or a tone still on its way the display
// stays empty; the first values shown are the part's.
TEST_F(MainWindow, TheDisplayStaysEmptyUntilTheToneHasArrived)
{
  start_window("R=1k");
  use_virtual_clock();  // the streams open anew here
  click_item("RadioGroup1", 2);
  int empty_ticks = 0;
  for (int tick = 0; tick < 50 && !lcr::measurement_snapshot().signal_seen; ++tick) {
    EXPECT_TRUE(label("Label11").isEmpty()) << label("Label11").toStdString();
    EXPECT_TRUE(label("Label13").isEmpty());
    ++empty_ticks;
    advance(0.1);
  }
  EXPECT_GE(empty_ticks, 2);
  advance(0.1);
  EXPECT_NEAR(shown_value("Label11", "Label1"), 1000.0, 20.0) << label("Label11").toStdString();
}

TEST_F(MainWindow, StoppHoldsTheDisplayAndAModeChangeShowsTheHeldImpedance)
{
  start_window("R=1k");
  click_item("RadioGroup1", 2);
  click_item("RadioGroup4", 6);
  wait_for_settled_reading();
  click(push_button("Button4"));
  EXPECT_EQ(push_button("Button4")->text(), "Start");
  EXPECT_FALSE(window->timer1().isActive());
  EXPECT_FALSE(lcr::settings.display_running.load());
  const QString deviation_before = label("Label13");
  const lcr::tcomplex held = lcr::measurement_snapshot().display_z;

  set_simulated_device("R=100");
  QTest::qWait(600);
  EXPECT_EQ(lcr::measurement_snapshot().display_z, held);  // the engine no longer moves it
  click(button("RadioButton_meas1"));  // Y/phi
  EXPECT_EQ(label("Label17"), "Y:");
  EXPECT_NEAR(shown_value("Label11", "Label1"), 1.0 / std::hypot(held.re, held.im), 1e-6);
  EXPECT_EQ(label("Label13"), deviation_before);  // deviations wait for the next tick

  click(push_button("Button4"));
  EXPECT_EQ(push_button("Button4")->text(), "Stopp");
  EXPECT_TRUE(window->timer1().isActive());
  wait_for_settled_reading();
  EXPECT_NEAR(shown_value("Label11", "Label1"), 0.01, 1e-5);  // 1 / 100 Ω
}

// "Y Position" as a jog: a drag moves the trace while dragging and is kept
// on release with the bar back at 0; an arrow moves one step; a page click
// moves only the bar until the click ends.
TEST_F(MainWindow, TheYPositionBarIsAJogControl)
{
  start_window();
  QScrollBar* bar = window->findChild<QScrollBar*>("ScrollBar1");
  window->page_control().setCurrentIndex(1);
  bar->setSliderDown(true);
  bar->setSliderPosition(30);
  EXPECT_EQ(graphic::plot.trace_ypos[0], 30);
  EXPECT_EQ(bar->value(), 30);
  bar->setSliderDown(false);
  EXPECT_EQ(window->plot_page().trace_offset_base()[0], 30);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(graphic::plot.plot_trace[0].pos, 30.0);

  QTest::mouseClick(bar, Qt::LeftButton, {}, sub_control_centre(*bar, QStyle::SC_ScrollBarAddLine));
  EXPECT_EQ(graphic::plot.trace_ypos[0], 31);
  EXPECT_EQ(bar->value(), 0);

  const QPoint page = sub_control_centre(*bar, QStyle::SC_ScrollBarAddPage);
  QTest::mousePress(bar, Qt::LeftButton, {}, page);
  EXPECT_EQ(bar->value(), bar->pageStep());
  EXPECT_EQ(graphic::plot.trace_ypos[0], 31);  // the trace waits for the end of the click
  QTest::mouseRelease(bar, Qt::LeftButton, {}, page);
  EXPECT_EQ(graphic::plot.trace_ypos[0], 31 + bar->pageStep());
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(window->plot_page().trace_offset_base()[1], 0);  // trace 2 untouched
}

TEST_F(MainWindow, AutoSetThenAStepAddsToTheChosenPosition)
{
  start_window("R=1k");
  ASSERT_TRUE(wait_until([] { return lcr::measurement_snapshot().evaluation_count >= 30; }));
  wait_display_ticks(2);
  window->page_control().setCurrentIndex(1);
  click(push_button("Button3"));
  EXPECT_EQ(window->plot_page().trace_offset_base(), (std::array<int, 2>{80, 160}));
  EXPECT_EQ(window->findChild<QScrollBar*>("ScrollBar2")->value(), std::min(graphic::plot.trace_scale_index[0], 90));
  EXPECT_EQ(graphic::plot.plot_trace[0].scale, graphic::scale_value(window->findChild<QScrollBar*>("ScrollBar2")->value()));
  EXPECT_TRUE(label("Label46").endsWith(" / Teilung")) << label("Label46").toStdString();
  QScrollBar* bar = window->findChild<QScrollBar*>("ScrollBar3");
  QTest::mouseClick(bar, Qt::LeftButton, {}, sub_control_centre(*bar, QStyle::SC_ScrollBarSubLine));
  EXPECT_EQ(graphic::plot.trace_ypos[1], 159);
}

TEST_F(MainWindow, TheLevelLampHoldsAWarningForTenTicks)
{
  int hold = 0;
  EXPECT_EQ(level_lamp_tick(hold, 4), tlamp_colour::red);
  for (int tick = 1; tick < 10; ++tick) EXPECT_EQ(level_lamp_tick(hold, 0), std::nullopt) << tick;
  EXPECT_EQ(level_lamp_tick(hold, 0), tlamp_colour::green);  // the tenth tick after the warning
  EXPECT_EQ(level_lamp_tick(hold, 2), tlamp_colour::yellow);
  EXPECT_EQ(level_lamp_tick(hold, 0), std::nullopt);
  EXPECT_EQ(level_lamp_tick(hold, 1), tlamp_colour::grey);  // a new warning restarts the hold
  for (int tick = 1; tick < 10; ++tick) EXPECT_EQ(level_lamp_tick(hold, 0), std::nullopt) << tick;
  EXPECT_EQ(level_lamp_tick(hold, 3), tlamp_colour::yellow);
  EXPECT_EQ(level_lamp_tick(hold, 5), std::nullopt);  // an unknown code keeps the colour
}

// A device that stops delivering greys the values and says so at the lamp,
// until a device change opens a working one.
TEST_F(MainWindow, WithoutAWorkingDeviceTheValuesAreGreyedAndTheLampSaysSo)
{
  start_window("R=1k");
  QTest::qWait(300);
  QLineEdit* typed = combo("ComboBox1")->lineEdit();
  typed->selectAll();
  QTest::keyClicks(typed, "X");  // no entry: the input is not opened
  EXPECT_EQ(waveio::stream.in_device_id.load(), -1);
  EXPECT_FALSE(waveio::stream.input_running.load());
  wait_display_ticks(2);
  EXPECT_FALSE(window->findChild<QLabel*>("Label11")->isEnabled());
  EXPECT_EQ(lamp("Edit11")->colour(), tlamp_colour::grey);
  EXPECT_EQ(lamp("Edit11")->toolTip(), "Eingangspegel: kein Signal");
  EXPECT_EQ(lamp("Edit11")->accessibleName(), "Eingangspegel: kein Signal");

  combo("ComboBox1")->setCurrentIndex(0);
  emit combo("ComboBox1")->activated(0);
  EXPECT_TRUE(waveio::stream.input_running.load());
  wait_display_ticks(2);
  EXPECT_TRUE(window->findChild<QLabel*>("Label11")->isEnabled());
}

// An output block the card did not play: the values hold the last clean
// reading, the lamp is grey and says why, and both come back once the
// measurement has settled again.
TEST_F(MainWindow, ADropoutHoldsTheValuesAndTheLampSaysWhy)
{
  start_window("C=1u + R=47");
  use_virtual_clock();
  click_item("RadioGroup1", 1);  // "100"
  click_item("RadioGroup4", 6);  // "1.00"
  advance(1.5);
  const QString held = label("Label11");
  const double exact = std::abs(std::complex(47.0, -1.0 / (2.0 * lcr::pi * lcr::current_frequency_hz() * 1e-6)));
  ASSERT_NEAR(shown_value("Label11", "Label1"), exact, exact * 1e-3);

  waveio::tsimulated_fixture& fixture = window->sound_devices().fixture();
  fixture.inject_fault(waveio::tfixture_fault::skip_output_block, fixture.blocks_recorded() + 1);
  bool lamp_told = false;
  for (int tick = 0; tick < 5; ++tick) {
    advance(0.1);
    EXPECT_NEAR(shown_value("Label11", "Label1"), exact, exact * 1e-3) << label("Label11").toStdString();
    lamp_told |= lamp("Edit11")->toolTip() == "Eingangspegel: Aussetzer im Tonstrom, Messung schwingt neu ein";
  }
  EXPECT_TRUE(lamp_told);
  EXPECT_EQ(lcr::measurement_snapshot().dropouts, 1);
  advance(1.5);
  EXPECT_EQ(lamp("Edit11")->colour(), tlamp_colour::green);
  EXPECT_NEAR(shown_value("Label11", "Label1"), exact, exact * 1e-3);
}

TEST_F(MainWindow, ChoosingTheSelectedDeviceAgainRestartsBothStreams)
{
  start_window("R=1k");
  ASSERT_TRUE(wait_until([] { return waveio::stream.in_index.load() > 5; }));
  emit combo("ComboBox2")->activated(combo("ComboBox2")->currentIndex());
  EXPECT_LE(waveio::stream.in_index.load(), 2);  // a fresh ring
  EXPECT_TRUE(waveio::stream.input_running.load());
  EXPECT_TRUE(waveio::stream.output_running.load());
}

TEST_F(MainWindow, SampleOffsetSwapAndTheTestSelection)
{
  start_window("R=1k");
  QLineEdit* offset = combo("ComboBox3")->lineEdit();
  offset->selectAll();
  QTest::keyClicks(offset, "x");
  EXPECT_EQ(waveio::stream.sample_offset.load(), -2);  // no entry selected
  combo("ComboBox3")->setCurrentIndex(0);
  emit combo("ComboBox3")->activated(0);
  EXPECT_EQ(waveio::stream.sample_offset.load(), -1);
  click(window->findChild<QAbstractButton*>("CheckBox2"));
  EXPECT_TRUE(waveio::stream.swap_channels.load());

  click_item("RadioGroup5", 2);  // "FT Faktor" 16
  click_item("RadioGroup4", 5);  // "Pegel" 0.50
  EXPECT_EQ(lcr::settings.ft_factor.load(), 16);
  click(button("RadioButton5"));  // test 4
  EXPECT_EQ(lcr::settings.test_mode.load(), 4);
  EXPECT_EQ(lcr::settings.ft_factor.load(), 1);
  EXPECT_EQ(lcr::settings.tone_level.load(), 0.0);
  click(button("RadioButton1"));  // measurement again
  EXPECT_EQ(lcr::settings.test_mode.load(), 0);
  EXPECT_EQ(lcr::settings.tone_level.load(), 5000.0);
  EXPECT_EQ(lcr::settings.ft_factor.load(), 1);  // until "FT Faktor" changes
  EXPECT_EQ(option_group("RadioGroup5")->item_index(), 2);
}

TEST_F(MainWindow, TestLampsShowTheirCodesAndKeepThemWithoutOne)
{
  start_window();
  EXPECT_EQ(lamp("Edit12")->colour(), tlamp_colour::background);
  EXPECT_EQ(lamp("Edit12")->accessibleName(), "Test 3: nicht gemessen");
  lcr::tconfig_test_results results;
  results.test3_result = 2;
  results.test1_result = 3;
  results.test4_bits_best = 13.46;
  window->setup_page().show_test_results(results);
  EXPECT_EQ(lamp("Edit12")->colour(), tlamp_colour::yellow);
  EXPECT_EQ(lamp("Edit12")->accessibleName(), "Test 3: gelb");
  EXPECT_EQ(lamp("Edit14")->toolTip(), "Test 1: rot");
  EXPECT_EQ(window->findChild<QLineEdit*>("Edit9")->text().remove(QChar(lcr::decimal_separator())), "135");
  results.test3_result = 0;
  window->setup_page().show_test_results(results);
  EXPECT_EQ(lamp("Edit12")->colour(), tlamp_colour::yellow);
}

// Every control lies inside its page, no two controls of one parent
// overlap, and every text fits its control.
TEST_F(MainWindow, EveryPageFitsItsControlsAndTheirTexts)
{
  start_window("R=1k");
  QTest::qWait(300);
  // Every page's caption is seen, none behind a scroll arrow.
  EXPECT_LE(window->page_control().tabBar()->sizeHint().width(), window->width());
  for (int index = 0; index < window->page_control().count(); ++index) {
    window->page_control().setCurrentIndex(index);
    QWidget* page = window->page_control().widget(index);
    for (const std::string& problem : quarvel_test::layout_problems(*page)) {
      ADD_FAILURE() << window->page_control().tabText(index).toStdString() << ": " << problem;
    }
  }
}

}  // namespace
