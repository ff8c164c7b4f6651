// SPDX-License-Identifier: GPL-3.0-or-later
// The window in English: the choice and where it comes from, that it
// outlives a restart without touching the other settings, that every page
// still fits, and that no German is left, the engine's texts included.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/settings/language.h"
#include "ui/settings/settings_file.h"
#include "ui/widgets/engine_text.h"
#include "ui/widgets/locale_number.h"
#include "ui/window/translation.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/corrections/calibration_file.h"
#include "engine/corrections/calibration_spread_file.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/comparator.h"
#include "engine/sweeps/circuit_fit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabBar>
#include <QTranslator>

#include <gtest/gtest.h>

#include <filesystem>

#include <map>

namespace {

using quarvel_ui::tlanguage_choice;
using quarvel_ui::twindow_language;

quarvel_ui::twindow_language resolved(tlanguage_choice choice, std::map<std::string, std::string> variables)
{
  return quarvel_ui::resolve_language(choice, [&variables](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  });
}

TEST(LanguageChoice, OnlyAutomaticAsksTheEnvironment)
{
  const std::map<std::string, std::string> english{{"LANGUAGE", "en"}, {"LANG", "en_GB.UTF-8"}};
  EXPECT_EQ(resolved(tlanguage_choice::german, english), twindow_language::german);
  EXPECT_EQ(resolved(tlanguage_choice::english, {{"LANG", "de_DE.UTF-8"}}), twindow_language::english);

  const auto automatic = [](std::map<std::string, std::string> variables) {
    return resolved(tlanguage_choice::automatic, std::move(variables));
  };
  // LANGUAGE's first German or English entry wins over the locale.
  EXPECT_EQ(automatic({{"LANGUAGE", "fr:en_US:de"}, {"LANG", "de_DE.UTF-8"}}), twindow_language::english);
  EXPECT_EQ(automatic({{"LANGUAGE", "fr:de"}, {"LANG", "en_GB.UTF-8"}}), twindow_language::german);
  // Else the first set of LC_ALL, LC_MESSAGES, LANG.
  EXPECT_EQ(automatic({{"LANGUAGE", "fr"}, {"LC_MESSAGES", "de_AT.UTF-8"}, {"LANG", "en_GB"}}),
            twindow_language::german);
  EXPECT_EQ(automatic({{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}}),
            twindow_language::english);
  EXPECT_EQ(automatic({{"LC_ALL", ""}, {"LANG", "en_IE.UTF-8"}}), twindow_language::english);
  // Another language reads English sooner; no locale, or C, is the window's own.
  EXPECT_EQ(automatic({{"LANG", "fr_FR.UTF-8"}}), twindow_language::english);
  EXPECT_EQ(automatic({{"LANG", "C.UTF-8"}}), twindow_language::german);
  EXPECT_EQ(automatic({{"LC_ALL", "POSIX"}}), twindow_language::german);
  EXPECT_EQ(automatic({}), twindow_language::german);
}

TEST(LanguageChoice, TheFileKeepsItInItsOwnSectionAndReadsGermanForAnythingElse)
{
  for (const tlanguage_choice choice :
       {tlanguage_choice::german, tlanguage_choice::english, tlanguage_choice::automatic}) {
    EXPECT_EQ(quarvel_ui::parse_language_choice(quarvel_ui::language_choice_text(choice)), choice);
    quarvel_ui::tini_file ini;
    quarvel_ui::write_language_choice(ini, choice);
    EXPECT_EQ(quarvel_ui::read_language_choice(ini), choice);
  }
  // Lenient as the file's names are: any case, blanks around it.
  EXPECT_EQ(quarvel_ui::parse_language_choice("EN"), tlanguage_choice::english);
  EXPECT_EQ(quarvel_ui::parse_language_choice(" Auto\t"), tlanguage_choice::automatic);
  EXPECT_EQ(quarvel_ui::parse_language_choice("e n"), std::nullopt);
  quarvel_ui::tini_file typed;
  typed.write_string(quarvel_ui::language_section, "language", "EN ");
  EXPECT_EQ(quarvel_ui::read_language_choice(typed), tlanguage_choice::english);
  EXPECT_EQ(quarvel_ui::read_language_choice(quarvel_ui::tini_file{}), tlanguage_choice::german);
  quarvel_ui::tini_file odd;
  odd.write_string(quarvel_ui::language_section, "language", "klingonisch");
  EXPECT_EQ(quarvel_ui::read_language_choice(odd), tlanguage_choice::german);
}

class WindowLanguage : public quarvel_test::window_fixture {};

// `--lang en` is kept when the window closes; the next start without it
// shows English in the list. The other sections keep their keys in order.
TEST_F(WindowLanguage, TheCommandLineChoiceOutlivesARestart)
{
  quarvel_test::write_file(settings_path(),
                           "[options]\r\nwavedevintext=x\r\nfreqindex=2\r\n[mine]\r\nkeep=me\r\n");
  language = tlanguage_choice::english;
  start_window("R=1k");
  close_window();
  const std::string text = quarvel_test::read_file(settings_path());
  EXPECT_NE(text.find("[mine]\r\nkeep=me\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[language]\r\nlanguage=en\r\n"), std::string::npos) << text;
  EXPECT_LT(text.find("wavedevintext="), text.find("freqindex=2"));
  EXPECT_EQ(quarvel_ui::load_settings_values(settings_path()).freqindex, 2);

  language.reset();
  start_window("R=1k");
  EXPECT_EQ(combo("ComboBox7")->currentIndex(), static_cast<int>(tlanguage_choice::english));
  // This run is German: the list says, in English, when English comes.
  EXPECT_EQ(find<QLabel>("Label74")->text(), "applies from the next start");
  combo("ComboBox7")->setCurrentIndex(static_cast<int>(tlanguage_choice::german));
  emit combo("ComboBox7")->activated(0);
  EXPECT_EQ(find<QLabel>("Label74")->text(), "");
  close_window();
  EXPECT_EQ(quarvel_ui::load_language_choice(settings_path()), tlanguage_choice::german);
}

TEST(TranslationFile, IsFoundBesideTheProgramOrInTheInstallation)
{
  EXPECT_EQ(translation_file(twindow_language::german, QStringLiteral(QUARVEL_TRANSLATIONS)), QString());
  EXPECT_TRUE(translation_file(twindow_language::english, QStringLiteral(QUARVEL_TRANSLATIONS))
                  .endsWith("quarvel_en.qm"));
  quarvel_test::temporary_directory empty;
  QTranslator translator;
  EXPECT_FALSE(
      install_translation(translator, twindow_language::english, QString::fromStdString(empty.path())));
  EXPECT_TRUE(
      install_translation(translator, twindow_language::german, QString::fromStdString(empty.path())));
}

TEST(EngineText, StaysGermanWithoutATranslation)
{
  EXPECT_EQ(engine_text("Kapazität, Reihenschaltung"), "Kapazität, Reihenschaltung");
  EXPECT_EQ(unit_text("KOhm"), "KOhm");
  EXPECT_EQ(frequency_text(2000.0), "2 KHz");
}

// German that a translation would have replaced: umlauts, ß and words the
// window uses. The simulated set-up's device name is a device's name, not
// a text of the window.
bool looks_german(const QString& text)
{
  static const QRegularExpression german(QStringLiteral(
      "[äöüÄÖÜß]|\\b(und|nicht|kein|Messung|Widerstand|Kanal|Frequenz|Schaltung|wartet|Pegel|Mittelwert|"
      "Abweichung|Sollwert|Stopp|Bild|Fehler|Teilung|Kurven)\\b"));
  return text.contains(german);
}

class EnglishWindow : public quarvel_test::window_fixture {
 protected:
  void SetUp() override
  {
    window_fixture::SetUp();
    ASSERT_TRUE(
        install_translation(translator, twindow_language::english, QStringLiteral(QUARVEL_TRANSLATIONS)));
    language = tlanguage_choice::english;
    window_language = twindow_language::english;
  }

  void TearDown() override
  {
    window_fixture::TearDown();
    QCoreApplication::removeTranslator(&translator);
  }

  // Every text a page shows: labels, buttons, group titles, list items.
  static QStringList shown_texts(QWidget& page)
  {
    QStringList texts;
    for (QWidget* widget : page.findChildren<QWidget*>()) {
      if (const auto* label = qobject_cast<QLabel*>(widget)) texts << label->text() << label->toolTip();
      if (const auto* button = qobject_cast<QAbstractButton*>(widget))
        texts << button->text() << button->toolTip();
      if (const auto* group = qobject_cast<QGroupBox*>(widget)) texts << group->title();
      const auto* list = qobject_cast<QComboBox*>(widget);
      if (list != nullptr && !list->isEditable()) {
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
      }
    }
    return texts;
  }

  QTranslator translator;
};

TEST_F(EnglishWindow, EveryPageIsEnglishAndFitsItsTexts)
{
  start_window("C=1u + R=2");
  use_virtual_clock();
  advance_until_settled();
  EXPECT_TRUE(window->windowTitle().startsWith("Quarvel Version 0.02 Professional  "));
  EXPECT_LE(window->page_control().tabBar()->sizeHint().width(), window->width());
  for (int index = 0; index < window->page_control().count(); ++index) {
    window->page_control().setCurrentIndex(index);
    QWidget* page = window->page_control().widget(index);
    const std::string title = window->page_control().tabText(index).toStdString();
    EXPECT_FALSE(looks_german(window->page_control().tabText(index))) << title;
    for (const std::string& problem : quarvel_test::layout_problems(*page))
      ADD_FAILURE() << title << ": " << problem;
    for (const QString& text : shown_texts(*page))
      EXPECT_FALSE(looks_german(text)) << title << ": " << text.toStdString();
  }
  EXPECT_EQ(find<QLabel>("Label10")->text(), "Impedance");
  EXPECT_EQ(find<QLabel>("Label1")->text(), "kOhm");  // 1.59 kOhm at 100 Hz, with the English prefix
}

// The engine speaks German; each of its texts that reaches the window is
// English there, none left half-translated.
// The settings file that cannot be written at the end speaks English too,
// as an export's failure does.
TEST_F(EnglishWindow, TheSettingsFileFailureAtTheEndIsEnglish)
{
  start_window();
  window.reset();
  std::filesystem::remove(settings_path());
  std::filesystem::create_directory(settings_path());  // a folder where the file should be
  start_window();
  close_window();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors.front().toStdString(), settings_path() + " cannot be written");
}

TEST_F(EnglishWindow, TheEnginesTextsArriveInEnglish)
{
  QStringList texts;
  for (int mode = 0; mode < 14; ++mode) {
    lcr::set_meas_mode_quantities(mode);
    const auto [first, second] = lcr::displayed_quantities();
    texts << engine_text(first.long_name) << engine_text(second.long_name);
  }
  for (const lcr::tverdict verdict : {lcr::tverdict::pass, lcr::tverdict::marginal, lcr::tverdict::fail}) {
    texts << engine_text(lcr::verdict_text(verdict));
  }
  for (const auto result : {lcr::tcal_step_result::stored, lcr::tcal_step_result::not_settled,
                            lcr::tcal_step_result::no_open_ratio, lcr::tcal_step_result::no_known_ratio,
                            lcr::tcal_step_result::degenerate, lcr::tcal_step_result::bad_known_resistor,
                            lcr::tcal_step_result::not_finite}) {
    texts << engine_text(lcr::cal_step_result_text(result));
  }
  for (const char* name : lcr::cal_mode_names) texts << engine_text(name);
  lcr::tcircuit_fit fit;
  fit.valid = true;
  fit.r_ohm = 2000.0;
  fit.l_h = 0.01;
  fit.c_f = 1e-6;
  fit.resonance_hz = 1591.5;
  for (const auto model :
       {lcr::tcircuit_model::resistor, lcr::tcircuit_model::series_rc, lcr::tcircuit_model::series_rl,
        lcr::tcircuit_model::series_rlc, lcr::tcircuit_model::parallel_rc}) {
    fit.model = model;
    texts << engine_text(lcr::circuit_fit_text(fit));
  }
  texts << engine_text(lcr::circuit_fit_text(lcr::tcircuit_fit{}));
  fit.describes_curve = false;
  texts << engine_text(lcr::circuit_fit_text(fit));
  lcr::tcalibration_spreads spreads;
  for (const char* spread_file : {"Quarvel calibration spreads 9\n", "Quarvel calibration spreads 1\nz_ref 9\n"}) {
    texts << engine_text(lcr::read_calibration_spread_text(spread_file, lcr::nominal_calibration_tables(), spreads).text());
  }
  texts << engine_text(lcr::tfile_result{false, "E/A-Fehler 13", "Quarvel.cal"}.text());
  for (const QString& text : texts) {
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(looks_german(text)) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("KOhm"))) << text.toStdString();
  }
  EXPECT_EQ(engine_text("Gut"), "Pass");
  EXPECT_EQ(engine_text("Kapazität, Reihenschaltung"), "Capacitance, series circuit");
  EXPECT_EQ(engine_text("Quarvel.cal: E/A-Fehler 13"), "Quarvel.cal: I/O error 13");
  EXPECT_EQ(unit_text("KOhm"), "kOhm");
  EXPECT_EQ(unit_text("MOhm"), "MOhm");
  EXPECT_EQ(unit_text("K"), "K");
}

}  // namespace
