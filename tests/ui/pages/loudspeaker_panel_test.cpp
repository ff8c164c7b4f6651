// SPDX-License-Identifier: GPL-3.0-or-later
// The tab "Lautsprecher" of the page "Impedanzkurve" on the simulated
// set-up's virtual clock: a woofer's curve taken as the free-air one gives
// its resonance, a second one with the cone's mass raised gives its moving
// mass, refusals show the reason instead of numbers, and the table goes to
// the clipboard. The woofer's electrical analogue is Lces ∥ Cmes ∥ Res
// behind Re + Le; with Bl = 7 T·m its Mms = Cmes·Bl² = 29.4 g.

#include "support/window_fixture.h"

#include "ui/pages/impedance_page.h"
#include "ui/pages/loudspeaker_panel.h"
#include "ui/widgets/engine_text.h"
#include "ui/window/translation.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double lces_h = 22e-3;
constexpr double cmes_f = 600e-6;
constexpr double res_ohm = 40.0;
constexpr double mms_kg = 29.4e-3;  // Cmes·Bl², Bl = 7 T·m
constexpr double added_kg = 6e-3;
constexpr const char* woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)";
// The added mass raises Mms and with it Cmes = Mms/Bl².
constexpr const char* loaded_woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=722.449u)";

class LoudspeakerPanel : public quarvel_test::window_fixture {
 protected:
  timpedance_page& page() const { return window->impedance_page(); }
  tloudspeaker_panel& panel() const { return *page().ui.LoudspeakerPanel; }

  // 10 Hz to 1 kHz at 48 points per octave: the resonance's −3 dB width
  // holds the points the fit needs.
  void start_on(const char* network)
  {
    start_window(network);
    use_virtual_clock();
    click_item("RadioGroup4", 6);
    window->page_control().setCurrentWidget(&page());
    find<QSpinBox>("SpinEdit1")->setValue(10);
    find<QSpinBox>("SpinEdit2")->setValue(1000);
    combo("ComboBox8")->setCurrentIndex(3);
  }

  void measure_curve()
  {
    page().ui.PageControl2->setCurrentIndex(0);
    click(push_button("Button18"));
    for (int tick = 0; tick < 600 && page().measuring(); ++tick) {
      advance(0.1);
      page().tick_measurement();
    }
    ASSERT_FALSE(page().measuring()) << "no curve in a minute of stream";
    page().ui.PageControl2->setCurrentIndex(1);
  }

  void type(const char* edit, const QString& text) const { find<QLineEdit>(edit)->setText(text); }
  QString with_separator(QString text) const { return text.replace('.', QChar(lcr::decimal_separator())); }

  // The table's value of a parameter, as the window writes it.
  double shown_value(const char* parameter) const
  {
    const QTableWidget* table = find<QTableWidget>("StringGrid1");
    for (int row = 0; row < table->rowCount(); ++row) {
      if (table->item(row, 0)->text() != QString::fromUtf8(parameter)) continue;
      return table->item(row, 1)->text().replace(QChar(lcr::decimal_separator()), '.').toDouble();
    }
    ADD_FAILURE() << "no row " << parameter;
    return std::nan("");
  }

  bool shows_numbers() const { return find<QTableWidget>("StringGrid1")->isVisibleTo(&panel()); }
};

TEST_F(LoudspeakerPanel, TheFreeCurveGivesTheWoofersResonance)
{
  start_on(woofer);
  EXPECT_FALSE(push_button("Button22")->isEnabled());  // no curve to take yet
  EXPECT_EQ(label("Label87"), "keine Kurve");
  measure_curve();
  click(push_button("Button22"));
  const std::vector<lcr::tdriver_point>& points = panel().curve(tloudspeaker_panel::tslot::free_air).points;
  ASSERT_EQ(points.size(), page().rows().size());
  EXPECT_EQ(label("Label87"),
            QString("%1 Punkte\n10–%2 Hz").arg(points.size()).arg(points.back().frequency_hz));
  EXPECT_EQ(label("Label89"), "keine Kurve");
  for (const std::string& problem : quarvel_test::layout_problems(page())) ADD_FAILURE() << problem;

  click(push_button("Button24"));
  ASSERT_TRUE(shows_numbers()) << label("Label93").toStdString();
  const double fs_hz = 1.0 / (2.0 * lcr::pi * std::sqrt(lces_h * cmes_f));
  EXPECT_NEAR(shown_value("fs"), fs_hz, 0.002 * fs_hz);
  EXPECT_NEAR(shown_value("Res"), res_ohm, 0.01 * res_ohm);
  // No mechanical rows without a second curve; the level, not known in volts without "Eingang".
  EXPECT_EQ(find<QTableWidget>("StringGrid1")->rowCount(), 11);
  EXPECT_EQ(find<QTableWidget>("StringGrid1")->item(10, 1)->text(), "unbekannt");
  EXPECT_TRUE(push_button("Button25")->isEnabled());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(LoudspeakerPanel, AnAddedMassGivesTheMovingMassAndTheTableIsCopied)
{
  start_on(woofer);
  measure_curve();
  click(push_button("Button22"));
  set_simulated_device(loaded_woofer);
  measure_curve();
  click(push_button("Button23"));
  combo("ComboBox11")->setCurrentIndex(0);  // Zusatzmasse (g)
  type("Edit24", "6");
  type("Edit25", "200");
  type("Edit28", "8");  // inputs taking 8 V RMS at full scale: the woofer was driven too hard
  click(push_button("Button24"));
  ASSERT_TRUE(shows_numbers()) << label("Label93").toStdString();
  EXPECT_GT(shown_value("Pegel frei"), 1.0);
  EXPECT_GT(shown_value("Pegel 2."), 1.0);
  EXPECT_NEAR(shown_value("Mms"), mms_kg * 1e3, 0.02 * mms_kg * 1e3);
  EXPECT_NEAR(shown_value("Bl"), 7.0, 0.02 * 7.0);
  const double fs_hz = 1.0 / (2.0 * lcr::pi * std::sqrt(lces_h * cmes_f));
  EXPECT_NEAR(shown_value("fs"), fs_hz, 0.002 * fs_hz);  // of the free curve, not the loaded one

  QGuiApplication::clipboard()->clear();
  click(push_button("Button25"));
  const QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + find<QTableWidget>("StringGrid1")->rowCount());
  EXPECT_EQ(lines.front(), "Parameter\tWert\t± (k = 2)\tEinheit");
  QStringList mms = lines.filter(QRegularExpression("^Mms\t")).value(0).split('\t');
  ASSERT_EQ(mms.size(), 4);
  EXPECT_NEAR(mms[1].replace(QChar(lcr::decimal_separator()), '.').toDouble(), mms_kg * 1e3,
              0.02 * mms_kg * 1e3);
  EXPECT_EQ(mms[3], "g");
  // A warning is a row of its own across the table, copied as one cell.
  EXPECT_EQ(lines.filter(QRegularExpression("^Warnung: Pegel zu groß \\(Kurve in Freiluft\\): [^\t]*wiederholen$"))
                .size(),
            1)
      << lines.join('\n').toStdString();
  EXPECT_EQ(lines.filter(QRegularExpression("^Warnung: Pegel zu groß \\(Kurve mit Zusatzmasse\\)")).size(), 1);
}

// Each refusal shows its reason in place of the table, and "Kopieren"
// has nothing to copy; a good measurement afterwards shows numbers again.
TEST_F(LoudspeakerPanel, ARefusalShowsItsReasonAndNoNumbers)
{
  start_on(woofer);
  page().ui.PageControl2->setCurrentIndex(1);
  click(push_button("Button24"));
  EXPECT_FALSE(shows_numbers());
  EXPECT_EQ(label("Label93"), "Keine Parameter: keine Kurve in Freiluft, zuerst eine übernehmen");
  EXPECT_FALSE(push_button("Button25")->isEnabled());

  measure_curve();
  click(push_button("Button22"));
  click(push_button("Button23"));  // the same curve as the second
  type("Edit25", "200");
  const struct {
    const char* mass_g;
    const char* said;
  } cases[] = {
      {"0", "Keine Parameter: Masse muss positiv sein, ihre Toleranz nicht negativ"},
      {"sechs", "Keine Parameter: 'sechs' ist kein gültiger Gleitkommawert"},
      {"6", "Keine Parameter: mit Zusatzmasse liegt die Resonanz nicht tiefer"},
  };
  for (const auto& c : cases) {
    type("Edit24", c.mass_g);
    click(push_button("Button24"));
    EXPECT_FALSE(shows_numbers()) << c.mass_g;
    EXPECT_TRUE(label("Label93").startsWith(c.said)) << label("Label93").toStdString();
    EXPECT_FALSE(push_button("Button25")->isEnabled());
    EXPECT_EQ(panel().table_text(), QString());
  }
  type("Edit27", with_separator("23.5x"));
  click(push_button("Button24"));
  EXPECT_EQ(label("Label93"),
            "Keine Parameter: '" + with_separator("23.5x") + "' ist kein gültiger Gleitkommawert");

  type("Edit27", with_separator("23.5"));
  panel().take_curve(tloudspeaker_panel::tslot::second, {}, 0.0);  // back to free air alone
  click(push_button("Button24"));
  EXPECT_TRUE(shows_numbers()) << label("Label93").toStdString();
  EXPECT_FALSE(label_widget("Label93")->isVisibleTo(&panel()));
  EXPECT_TRUE(push_button("Button25")->isEnabled());
  click(push_button("Button22"));  // a new curve: the numbers were of the old one
  EXPECT_EQ(panel().table_text(), QString());
  EXPECT_FALSE(push_button("Button25")->isEnabled());
}

// A driver's data and the card's input level outlive a restart as typed, a
// mistyped entry too; a file without them gives the form's own entries.
TEST_F(LoudspeakerPanel, TheEntriesOutliveARestart)
{
  start_window();
  EXPECT_EQ(find<QLineEdit>("Edit27")->text(), "20");
  combo("ComboBox11")->setCurrentIndex(1);
  const QStringList typed{with_separator("28.5"), "855", "5,6x", "", with_separator("1.23")};
  const char* edits[] = {"Edit24", "Edit25", "Edit26", "Edit27", "Edit28"};
  for (int i = 0; i < typed.size(); ++i) type(edits[i], typed[i]);
  close_window();

  start_window();
  EXPECT_EQ(combo("ComboBox11")->currentIndex(), 1);
  for (int i = 0; i < typed.size(); ++i) EXPECT_EQ(find<QLineEdit>(edits[i])->text(), typed[i]) << edits[i];
}

// The analyser gives each u at k = 2 and its phase in degrees; the fit
// takes σ at k = 1 in radians, and a point without a u as unweighted.
TEST(DriverCurveOfRows, HalvesTheUncertaintiesAndKeepsTheFlags)
{
  lcr::tanalyser_row measured;
  measured.row.frequency_hz = 50.0;
  measured.row.z = {30.0, -4.0};
  measured.row.z_uncertainty = 0.2;
  measured.row.phase_uncertainty = 2.0;
  measured.doubtful = true;
  measured.calibrated = false;
  lcr::tanalyser_row unknown = measured;
  unknown.row.frequency_hz = 60.0;
  unknown.row.z_uncertainty = std::nan("");
  unknown.row.phase_uncertainty = std::numeric_limits<double>::infinity();
  unknown.doubtful = false;
  unknown.calibrated = true;

  const lcr::tdriver_curve curve = lcr::driver_curve_of_rows({measured, unknown});
  ASSERT_TRUE(curve.ok());
  ASSERT_EQ(curve.points.size(), 2u);
  const lcr::tdriver_point& first = curve.points[0];
  EXPECT_EQ(first.frequency_hz, 50.0);
  EXPECT_EQ(first.z_ohm, std::complex<double>(30.0, -4.0));
  EXPECT_DOUBLE_EQ(first.sigma_magnitude_ohm, 0.1);
  EXPECT_DOUBLE_EQ(first.sigma_phase_rad, 1.0 * lcr::pi / 180.0);
  EXPECT_TRUE(first.doubtful);
  EXPECT_TRUE(first.uncalibrated);
  const lcr::tdriver_point& second = curve.points[1];
  EXPECT_EQ(second.sigma_magnitude_ohm, 0.0);
  EXPECT_EQ(second.sigma_phase_rad, 0.0);
  EXPECT_FALSE(second.doubtful);
  EXPECT_FALSE(second.uncalibrated);
  EXPECT_FALSE(curve.weighted());
}

// The tab's controls fit their texts and one another, in German and in
// English, with the table and with a refusal's text in its place.
TEST_F(LoudspeakerPanel, TheTabFitsInBothLanguages)
{
  for (const quarvel_ui::twindow_language shown :
       {quarvel_ui::twindow_language::german, quarvel_ui::twindow_language::english}) {
    QTranslator translator;
    if (shown == quarvel_ui::twindow_language::english) {
      ASSERT_TRUE(install_translation(translator, shown, QStringLiteral(QUARVEL_TRANSLATIONS)));
      language = quarvel_ui::tlanguage_choice::english;
      window_language = shown;
    }
    start_window(woofer);
    window->page_control().setCurrentWidget(&page());
    page().ui.PageControl2->setCurrentIndex(1);
    for (const std::string& problem : quarvel_test::layout_problems(page())) ADD_FAILURE() << problem;
    click(push_button("Button24"));
    for (const std::string& problem : quarvel_test::layout_problems(page())) ADD_FAILURE() << problem;
    if (shown == quarvel_ui::twindow_language::english) {
      EXPECT_EQ(label("Label93"), "No parameters: no free-air curve, take one first");
      EXPECT_EQ(label("Label87"), "no curve");
    }
    close_window();
    QCoreApplication::removeTranslator(&translator);
  }
}

// The woofer's exact curve at every whole hertz from `from_hz` to `to_hz`
// in `step_hz`, without uncertainties.
lcr::tdriver_curve exact_curve(double from_hz, double to_hz, double step_hz)
{
  lcr::tdriver_curve curve;
  for (double f_hz = from_hz; f_hz <= to_hz; f_hz += step_hz) {
    const std::complex<double> jw(0.0, 2.0 * lcr::pi * f_hz);
    const std::complex<double> motional = 1.0 / (1.0 / res_ohm + 1.0 / (jw * lces_h) + jw * cmes_f);
    curve.points.push_back({f_hz, 5.6 + jw * 0.9e-3 + motional});
  }
  return curve;
}

// Each of the engine's reasons, as the engine words it, arrives in
// English without a German word left.
TEST(LoudspeakerRefusals, ArriveInEnglish)
{
  QTranslator translator;
  ASSERT_TRUE(install_translation(translator, quarvel_ui::twindow_language::english,
                                  QStringLiteral(QUARVEL_TRANSLATIONS)));
  const lcr::tdriver_curve fine = exact_curve(10.0, 1000.0, 1.0);
  const lcr::tdriver_curve coarse = exact_curve(10.0, 1000.0, 10.0);
  const lcr::tdriver_curve flat = [] {
    lcr::tdriver_curve curve = exact_curve(10.0, 1000.0, 1.0);
    for (lcr::tdriver_point& point : curve.points) point.z_ohm = 8.0;
    return curve;
  }();
  const lcr::tentered six_g{6e-3, 1e-4};
  const lcr::tentered sd_m2{0.02, 1e-4};
  const auto mass = [](const lcr::tdriver_curve& curve, lcr::tentered amount) {
    return lcr::tsecond_curve{lcr::tsecond_method::added_mass, curve, amount};
  };
  const auto entries = [&sd_m2](double temperature_c, std::optional<lcr::tentered> re_ohm) {
    return lcr::tdriver_entries{re_ohm, sd_m2, temperature_c};
  };
  const std::vector<lcr::tdriver_report> reports{
      lcr::measure_driver(fine, std::nullopt, entries(80.0, std::nullopt)),
      lcr::measure_driver(fine, std::nullopt, entries(20.0, lcr::tentered{0.0, 0.1})),
      lcr::measure_driver(fine, mass(fine, {0.0, 0.0}), entries(20.0, std::nullopt)),
      lcr::measure_driver(fine, lcr::tsecond_curve{lcr::tsecond_method::closed_box, fine, {0.0, 0.0}},
                          entries(20.0, std::nullopt)),
      lcr::measure_driver(fine, mass(fine, six_g), {std::nullopt, std::nullopt, 20.0}),
      lcr::measure_driver(fine, mass(fine, six_g), {std::nullopt, lcr::tentered{0.0, 0.0}, 20.0}),
      lcr::measure_driver(fine, mass(coarse, six_g), entries(20.0, std::nullopt)),
      lcr::measure_driver(coarse, std::nullopt, entries(20.0, std::nullopt)),
      lcr::measure_driver(flat, mass(flat, six_g), entries(20.0, std::nullopt)),
      lcr::measure_driver(fine, mass(fine, six_g), entries(20.0, std::nullopt)),
      lcr::measure_driver(fine, lcr::tsecond_curve{lcr::tsecond_method::closed_box, fine, {0.01, 0.0}},
                          entries(20.0, std::nullopt)),
      lcr::measure_driver(exact_curve(60.0, 1000.0, 1.0), std::nullopt, entries(20.0, std::nullopt)),
  };
  const QRegularExpression german(QStringLiteral(
      "[äöüÄÖÜß]|\\b(und|nicht|kein|keine|Kurve|zwischen|gegen|frei|mindestens|nötig|muss|fehlt|bei)\\b"));
  for (const lcr::tdriver_report& report : reports) {
    ASSERT_FALSE(report.ok());
    const QString english = engine_text(report.refusal);
    EXPECT_FALSE(english.contains(german)) << report.refusal << " → " << english.toStdString();
  }
  // So do the warnings about the level, for each curve's name.
  lcr::tresonance resonance;
  resonance.f1_hz = 10.0;
  resonance.f2_hz = 1000.0;
  lcr::tdriver_curve loud = exact_curve(10.0, 1000.0, 10.0);
  for (lcr::tdriver_point& point : loud.points) point.sigma_magnitude_ohm = 0.05 * std::abs(point.z_ohm);
  loud.device_rms_v = 2.0;
  for (const char* name : {"Kurve in Freiluft", "Kurve mit Zusatzmasse", "Kurve im Gehäuse"}) {
    const lcr::tdrive_check check = lcr::check_drive(loud, resonance, name);
    ASSERT_EQ(check.warnings.size(), 2u);
    for (const std::string& warning : check.warnings) {
      const QString english = engine_text(warning);
      EXPECT_FALSE(english.contains(german)) << warning << " → " << english.toStdString();
    }
  }
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
