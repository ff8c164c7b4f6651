// SPDX-License-Identifier: GPL-3.0-or-later
// The page "Kalibrierung" on the simulated set-up's virtual clock: what
// "Start" sets, the sweep's ticks and progress, what a refused step tells,
// the enabling of the controls and "Speichern" with its backup.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/pages/simulation_page.h"
#include "ui/widgets/locale_number.h"

#include "engine/corrections/calibration_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class CalibrationPage : public quarvel_test::window_fixture {
protected:
  void start()
  {
    start_window("R=1k");
    use_virtual_clock();
    advance(1.0);
  }

  QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }
  QProgressBar* progress() const { return find<QProgressBar>("ProgressBar1"); }

  // Runs a sweep to its end; the progress bar after each store.
  std::vector<int> sweep()
  {
    click(push_button("Button5"));
    std::vector<int> shown;
    int last = -1;
    for (int tick = 0; tick < 400 && window->timer2().isActive(); ++tick) {
      advance(0.5);
      const bool stored = window->calibration_page().cal_phase() == 2;
      if (stored && progress()->value() != last) shown.push_back(last = progress()->value());
    }
    EXPECT_FALSE(window->timer2().isActive()) << "the sweep did not end";
    return shown;
  }
};

TEST_F(CalibrationPage, TheModeEnablesTheResistorAndTheKnownValues)
{
  start();
  const std::vector<QWidget*> known{edit("Edit13"), edit("Edit17"), label_widget("Label33"), label_widget("Label40"),
                                    label_widget("Label41")};
  EXPECT_FALSE(option_group("RadioGroup9")->isEnabled());
  const struct {
    int mode;
    bool resistor;
    bool known_values;
  } cases[] = {{2, true, false}, {3, true, false}, {4, true, true}, {1, false, false}, {4, true, true}, {0, false, false}};
  for (const auto& c : cases) {
    click_item("RadioGroup8", c.mode);
    EXPECT_EQ(option_group("RadioGroup9")->isEnabled(), c.resistor) << "mode " << c.mode;
    for (QWidget* widget : known) EXPECT_EQ(widget->isEnabled(), c.known_values) << "mode " << c.mode;
  }
  click_item("RadioGroup8", 2);
  click_item("RadioGroup9", 2);  // "1 k" moves "R ref"

  EXPECT_EQ(option_group("RadioGroup1")->item_index(), 2);
  EXPECT_EQ(lcr::settings.ref_index.load(), 2);
  click_item("RadioGroup1", 4);  // not the other way round
  EXPECT_EQ(option_group("RadioGroup9")->item_index(), 2);
}

// A sweep stores once per frequency after its tone has settled, shows the
// progress of the stores, leaves "FT Faktor" 4 and "Pegel" 1.00 selected and
// puts the tone back to the operator's frequency.
TEST_F(CalibrationPage, ASweepStoresEveryFrequencyAndLeavesItsSettings)
{
  start();
  click_item("RadioGroup3", 5);  // the operator's 5 kHz
  click_item("RadioGroup8", 0);
  const std::vector<int> shown = sweep();
  EXPECT_EQ(shown, (std::vector<int>{13, 25, 38, 50, 63, 75, 88, 100}));
  EXPECT_EQ(progress()->value(), 0);
  EXPECT_TRUE(push_button("Button5")->isEnabled());
  EXPECT_EQ(option_group("RadioGroup5")->item_index(), 1);  // "4"
  EXPECT_EQ(option_group("RadioGroup4")->item_index(), 6);  // "1.00"
  EXPECT_EQ(lcr::settings.freq_index.load(), 5);
  // The crosstalk of the ideal set-up at every frequency: nothing, and set.
  const std::lock_guard lock(lcr::publication_lock);
  for (const lcr::tcomplex h : lcr::calibration.h_short) EXPECT_LT(std::hypot(h.re, h.im), 1e-4);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// "Multiton": the open step at all eight frequencies in one pass, the bar
// moving while it waits, the entries as the stepped sweep stores them, and
// the single tone and the operator's "Mittelwert" back afterwards.
TEST_F(CalibrationPage, AMultitonePassStoresAllEightAtOnce)
{
  start();
  click_item("RadioGroup8", 2);  // open terminals
  click_item("RadioGroup9", 2);
  click(find<QCheckBox>("CheckBox7"));
  const int operator_avg_count = lcr::settings.avg_count.load();
  click(push_button("Button5"));
  EXPECT_FALSE(find<QCheckBox>("CheckBox7")->isEnabled());
  std::vector<int> shown;
  int ticks = 0;
  for (; ticks < 60 && window->timer2().isActive(); ++ticks) {
    advance(0.5);
    shown.push_back(progress()->value());
  }
  EXPECT_FALSE(window->timer2().isActive());
  EXPECT_LE(ticks, 10);  // some 4 s, against 12 s stepped
  ASSERT_GE(shown.size(), 3u);
  EXPECT_GT(shown.front(), 0);  // it moves from the first tick
  EXPECT_FALSE(lcr::settings.multitone.load());
  EXPECT_EQ(lcr::settings.avg_count.load(), operator_avg_count);
  EXPECT_TRUE(find<QCheckBox>("CheckBox7")->isEnabled());
  // The ideal set-up's open terminals: nothing across them at any frequency.
  const std::lock_guard lock(lcr::publication_lock);
  for (const lcr::tcomplex y : lcr::calibration.y_open[2]) EXPECT_LT(std::hypot(y.re, y.im), 1e-8);
  for (const lcr::tentry_spread& entry : lcr::calibration_spreads.y_open[2]) EXPECT_TRUE(entry.spread.valid);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// With "Mittelwert" 16 a frequency waits seconds for its reading: the bar
// moves from the first tick and says what the sweep waits for.
TEST_F(CalibrationPage, TheBarMovesAndSaysWhatItWaitsFor)
{
  start();
  click_item("RadioGroup6", 2);  // "Mittelwert" 16
  click_item("RadioGroup8", 0);
  click(push_button("Button5"));
  std::vector<int> values;
  for (int tick = 0; tick < 6; ++tick) {
    advance(0.5);
    values.push_back(progress()->value());
    EXPECT_TRUE(progress()->isTextVisible());
  }
  EXPECT_GT(values.front(), 0);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_LT(values.back(), 13);  // the first frequency still settling
  EXPECT_TRUE(progress()->format().startsWith("100 Hz: wartet auf eingeschwungenen Messwert"))
      << progress()->format().toStdString();
  for (int tick = 0; tick < 400 && window->timer2().isActive(); ++tick) advance(0.5);
  EXPECT_FALSE(progress()->isTextVisible());
}

TEST_F(CalibrationPage, ModeFourWithoutAnOpenStepChangesNothingAndSaysWhyOnce)
{
  start();
  const lcr::tcalibration_tables before = [] {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::calibration;
  }();
  click_item("RadioGroup8", 4);
  sweep();
  const std::lock_guard lock(lcr::publication_lock);
  EXPECT_EQ(lcr::calibration.z_ref, before.z_ref);
  EXPECT_EQ(lcr::calibration.y_open, before.y_open);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.front().startsWith("R-R Referenzwiderstand\nnicht gespeichert bei 100 Hz, 200 Hz, 500 Hz, 1 KHz"))
      << errors.front().toStdString();
  EXPECT_TRUE(errors.front().contains("kein Leerlaufwert in diesem Lauf")) << errors.front().toStdString();
}

// "Kal. offen" pressed the moment the terminals were opened stores the open
// terminals, not the part that was measured before: it waits for a reading
// recorded after the click. Without a stream it stores nothing and says so.
TEST_F(CalibrationPage, KalOffenStoresOnlyWhatWasRecordedAfterTheClick)
{
  start();
  click_item("RadioGroup1", 2);  // 1 kOhm, as the part
  click_item("RadioGroup4", 6);  // "Pegel" 1.00
  click_item("RadioGroup6", 2);  // "Mittelwert" 16: 0.8 s of windows in each reading
  advance(2.0);
  // The part is taken out by hand ("Aufbau: Messobjekt"); what stays across
  // the terminals is 100 kOhm, the operator's hands: the meter cannot see
  // them.
  window->page_control().setCurrentWidget(&window->simulation_page());
  click_item("RadioGroup10", 1);
  waveio::tfixture_config open = window->sound_devices().fixture().configuration();
  open.dut_network = "R=100k";
  window->sound_devices().fixture().set_configuration(open);

  click(push_button("Button1"));
  EXPECT_FALSE(push_button("Button1")->isEnabled());
  advance(3.0);
  EXPECT_TRUE(push_button("Button1")->isEnabled());
  const lcr::tcomplex y_open = [] {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::calibration.y_open[2][static_cast<std::size_t>(lcr::settings.freq_index.load())];
  }();
  EXPECT_NEAR(y_open.re, 1e-5, 1e-7);  // not the 1 mS of the part
  EXPECT_NEAR(y_open.im, 0.0, 1e-7);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

  window->close_streams();
  click(push_button("Button2"));
  window->show_measurement();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.front().toStdString(), "Kal. geschlossen: nicht gespeichert: " +
                                               std::string(lcr::cal_step_result_text(lcr::tcal_step_result::not_settled)));
}

// "Kal. offen" pressed with the 1 kOhm part still in the terminals makes
// every reading nonsense; "Kalibrierung verwerfen" (asked first) goes back
// to what was saved, and an open step of the discarded run no longer
// serves a reference step.
TEST_F(CalibrationPage, KalibrierungVerwerfenUndoesAMistakenQuickStep)
{
  start();
  window->page_control().setCurrentWidget(&window->simulation_page());
  click_item("RadioGroup10", 1);  // "Aufbau: Messobjekt": the part stays
  click_item("RadioGroup1", 2);
  const auto shown_ohm = [this] {
    advance_until_settled();
    return lcr::c_abs(lcr::measurement_snapshot().display_z);
  };
  EXPECT_NEAR(shown_ohm(), 1000.0, 1.0);
  click(push_button("Button7"));  // "Speichern": the file holds the good calibration
  click(push_button("Button1"));
  advance(3.0);
  EXPECT_GT(shown_ohm(), 1e5);  // the part taken as the open terminals

  confirm_answer = false;
  click(push_button("Button14"));
  EXPECT_EQ(questions.size(), 1);
  EXPECT_GT(shown_ohm(), 1e5);  // "Nein" changes nothing
  confirm_answer = true;
  click(push_button("Button14"));
  lcr::request_settling();
  EXPECT_NEAR(shown_ohm(), 1000.0, 1.0);
  {
    const std::lock_guard lock(lcr::publication_lock);
    EXPECT_EQ(lcr::cal_capture.h_open[3].re, 0.0);
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// On the simulated set-up with "Aufbau: automatisch" the quick steps wire
// the terminals open or shorted for their reading, and the part back.
TEST_F(CalibrationPage, QuickStepsWireTheSimulatedTerminalsThemselves)
{
  start();
  click_item("RadioGroup1", 2);
  for (const char* button : {"Button1", "Button2"}) {
    click(push_button(button));
    EXPECT_EQ(window->sound_devices().fixture().configuration().device_state,
              std::string_view(button) == "Button1" ? waveio::tdevice_state::open : waveio::tdevice_state::shorted);
    advance(3.0);
    EXPECT_TRUE(push_button(button)->isEnabled());
    EXPECT_EQ(window->sound_devices().fixture().configuration().device_state, waveio::tdevice_state::device_under_test);
  }
  advance_until_settled();
  EXPECT_NEAR(lcr::c_abs(lcr::measurement_snapshot().display_z), 1000.0, 1.0);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// A known value that is not a number starts nothing, instead of a sweep with
// stale values.
TEST_F(CalibrationPage, AKnownValueThatIsNoNumberStartsNothing)
{
  start();
  click_item("RadioGroup8", 4);
  edit("Edit17")->setText("2x0");
  click(push_button("Button5"));
  EXPECT_EQ(errors, QStringList{"'2x0' ist kein gültiger Gleitkommawert"});
  EXPECT_FALSE(window->timer2().isActive());
  EXPECT_TRUE(push_button("Button5")->isEnabled());
  EXPECT_EQ(option_group("RadioGroup5")->item_index(), 0);  // nothing was set

  // The default is a number in the operator's notation; the other notation
  // is not.
  const char separator = lcr::decimal_separator();
  EXPECT_EQ(edit("Edit13")->text(), QStringLiteral("1000") + QChar(separator) + "0");
  EXPECT_EQ(parse_locale_number(edit("Edit13")->text(), separator), 1000.0);
  EXPECT_EQ(parse_locale_number("1000,0", '.'), std::nullopt);
  EXPECT_EQ(parse_locale_number(" 4,7E3 ", ','), 4700.0);
  EXPECT_EQ(parse_locale_number("", ','), std::nullopt);
}

TEST_F(CalibrationPage, TwoSavesKeepTheFirstAsTheBackup)
{
  start();
  const std::string file = directory.path() + "/Quarvel.cal";
  click(push_button("Button7"));
  const std::string first = quarvel_test::read_file(file);
  ASSERT_FALSE(first.empty());
  {
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration.z_ref[2][3] = {1234.5, 0.0};
  }
  click(push_button("Button7"));
  EXPECT_EQ(quarvel_test::read_file(directory.path() + "/Quarvel_bak.cal"), first);
  EXPECT_NE(quarvel_test::read_file(file), first);
  EXPECT_TRUE(errors.isEmpty());

  // A save that cannot be made says so with the file, and changes nothing.
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  click(push_button("Button7"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.front().toStdString(), file + ": E/A-Fehler 13");
}

}  // namespace
