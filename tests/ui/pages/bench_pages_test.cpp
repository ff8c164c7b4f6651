// SPDX-License-Identifier: GPL-3.0-or-later
// The bench features in the window: the sweep page with its table, plot,
// fit and exports; "Auto" choosing the mode buttons; the comparator's
// verdicts; the time-course export; and their settings of their own.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/pages/plot_page.h"
#include "ui/pages/response_page.h"
#include "ui/pages/sorting_page.h"
#include "ui/settings/settings_file.h"
#include "ui/widgets/file_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <charconv>
#include <complex>
#include <sstream>

namespace {

class BenchPages : public quarvel_test::window_fixture {
protected:
  void SetUp() override
  {
    window_fixture::SetUp();
    previous_dialog = set_save_file_name_handler([this](const QString&, const QString& suggested, const QString&) {
      return QString::fromStdString(directory.path() + "/") + suggested;
    });
  }
  void TearDown() override
  {
    set_save_file_name_handler(previous_dialog);
    window_fixture::TearDown();
  }

  // The numbers of a CSV text's lines after its header.
  static std::vector<std::vector<double>> csv_numbers(const std::string& text, std::size_t columns)
  {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
      std::vector<double> numbers;
      std::istringstream fields(line);
      std::string field;
      while (std::getline(fields, field, ',') && numbers.size() < columns) {
        double value = 0.0;
        std::from_chars(field.data(), field.data() + field.size(), value);
        numbers.push_back(value);
      }
      rows.push_back(numbers);
    }
    return rows;
  }

  // Every value of the sweep table is shown whole, not cut to "795.928 …".
  static void expect_no_cell_elided(QTableWidget& table)
  {
    QCoreApplication::processEvents();  // the columns take their widths on layout
    const int margins_px = 2 * (table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1);
    for (int r = 0; r < table.rowCount(); ++r) {
      for (int c = 0; c < table.columnCount(); ++c) {
        const QString text = table.item(r, c)->text();
        EXPECT_LE(table.fontMetrics().horizontalAdvance(text) + margins_px, table.columnWidth(c))
            << "row " << r << ", column " << c << ": " << text.toStdString();
      }
    }
    EXPECT_LE(table.horizontalHeader()->length(), table.viewport()->width());
  }

  std::function<QString(const QString&, const QString&, const QString&)> previous_dialog;
};

TEST_F(BenchPages, TheSweepPageMeasuresFitsAndExports)
{
  start_window("C=1u + R=2");
  use_virtual_clock();
  lcr::set_decimal_separator(',');  // a German operator: the export stays with points
  tresponse_page& page = window->response_page();
  click(window->findChild<QCheckBox*>("CheckBox3"));  // "Auto R ref"
  click(push_button("Button8"));
  EXPECT_FALSE(push_button("Button8")->isEnabled());
  for (int second = 0; second < 60 && page.sweep_running(); ++second) advance(1.0);
  ASSERT_FALSE(page.sweep_running());
  ASSERT_EQ(page.rows().size(), 8u);
  auto* table = window->findChild<QTableWidget*>("TableWidget1");
  EXPECT_EQ(table->item(0, 0)->text(), "100 Hz");
  EXPECT_EQ(table->item(7, 0)->text(), "20 KHz");  // the window's "K", as in "KOhm"
  EXPECT_EQ(table->item(7, 1)->text(), "10");  // the reference recommended for 8 Ω, as "R ref" names it
  EXPECT_EQ(page.fit().model, lcr::tcircuit_model::series_rc);
  EXPECT_NEAR(page.fit().r_ohm, 2.0, page.fit().r_deviation);
  EXPECT_NEAR(page.fit().c_f, 1e-6, page.fit().c_deviation);
  // The line may break after a comma, never between a value and its unit.
  const QString fit_text = label("Label56");
  EXPECT_TRUE(fit_text.startsWith(QStringLiteral("Reihe\u00a0R-C: R\u00a0=\u00a02,"))) << fit_text.toStdString();
  EXPECT_EQ(fit_text.count(' '), 2) << fit_text.toStdString();  // after "R-C:" and after "mOhm,"
  EXPECT_TRUE(page.plot().pixelColor(60, 20).isValid());
  EXPECT_GT(std::count(page.plot().constBits(), page.plot().constBits() + page.plot().sizeInBytes(), 0xff), 100);

  click(push_button("Button9"));
  const auto rows = csv_numbers(quarvel_test::read_file(directory.path() + "/Frequenzgang.csv"), 4);
  ASSERT_EQ(rows.size(), 8u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], page.rows()[i].frequency_hz);
    EXPECT_EQ(rows[i][2], page.rows()[i].z.re);  // every digit back
    EXPECT_EQ(rows[i][3], page.rows()[i].z.im);
  }
  click(push_button("Button10"));
  EXPECT_FALSE(QImage(QString::fromStdString(directory.path() + "/Frequenzgang.png")).isNull());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// "Multiton (live)": a new curve with every evaluation, exact at all
// eight points, while the other controls wait; "Stopp" freezes it and the
// single tone returns; leaving the page stops it too.
TEST_F(BenchPages, TheLiveResponseRunsUntilStopped)
{
  start_window("R=1k + L=10m");
  use_virtual_clock();
  click_item("RadioGroup1", 2);  // "R ref" 1 kΩ
  window->page_control().setCurrentWidget(&window->response_page());
  tresponse_page& page = window->response_page();
  combo("ComboBox6")->setCurrentIndex(1);
  click(push_button("Button8"));
  ASSERT_TRUE(page.live_running());
  EXPECT_FALSE(combo("ComboBox6")->isEnabled());
  EXPECT_TRUE(push_button("Button13")->isEnabled());
  for (int tick = 0; tick < 100 && page.live_curves_shown() < 10; ++tick) {
    advance(0.1);
    page.tick_live();
  }
  ASSERT_GE(page.live_curves_shown(), 10);
  ASSERT_EQ(page.rows().size(), 8u);
  for (const lcr::tsweep_row& row : page.rows()) {
    const std::complex<double> truth{1000.0, 2.0 * lcr::pi * row.frequency_hz * 10e-3};
    const double error = std::abs(std::complex(row.z.re, row.z.im) - truth);
    EXPECT_LT(error, 1e-2 * std::abs(truth)) << row.frequency_hz;  // FT 1 at the window's level
    EXPECT_LE(error, row.z_covering) << row.frequency_hz;
    EXPECT_EQ(row.ref_index, 2);
  }
  EXPECT_EQ(page.fit().model, lcr::tcircuit_model::series_rl);
  EXPECT_TRUE(label("Label57").startsWith("Multiton live")) << label("Label57").toStdString();

  click(push_button("Button13"));
  EXPECT_FALSE(page.live_running());
  EXPECT_FALSE(lcr::settings.multitone.load());
  EXPECT_TRUE(push_button("Button8")->isEnabled());
  const std::vector<lcr::tsweep_row> frozen = page.rows();
  advance(0.5);
  page.tick_live();
  EXPECT_EQ(page.rows().front().z.re, frozen.front().z.re);

  click(push_button("Button8"));
  ASSERT_TRUE(page.live_running());
  window->page_control().setCurrentIndex(0);
  EXPECT_FALSE(page.live_running());
  EXPECT_FALSE(lcr::settings.multitone.load());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The live curve of 1 µF + 2 Ω at the fresh start's "R ref" 10 Ω: each point
// shows its deviation beside its value, and the deviation holds the error;
// the points where the capacitor's 1.6 kΩ leaves the 10 Ω reference almost
// nothing of the drive are grey, with why; their deviation bars reach wide.
TEST_F(BenchPages, TheResponseShowsEachPointsDeviationAndGreysDoubtfulOnes)
{
  start_window("C=1u + R=2");
  use_virtual_clock();
  window->page_control().setCurrentWidget(&window->response_page());
  tresponse_page& page = window->response_page();
  combo("ComboBox6")->setCurrentIndex(1);
  click(push_button("Button8"));
  for (int tick = 0; tick < 100 && page.live_curves_shown() < 3; ++tick) {
    advance(0.1);
    page.tick_live();
  }
  ASSERT_EQ(page.rows().size(), 8u);
  auto* table = window->findChild<QTableWidget*>("TableWidget1");
  EXPECT_EQ(table->horizontalHeaderItem(3)->text(), QStringLiteral("±"));
  for (int r = 0; r < 8; ++r) {
    const lcr::tsweep_row& row = page.rows()[static_cast<std::size_t>(r)];
    const std::complex<double> truth{2.0, -1.0 / (2.0 * lcr::pi * row.frequency_hz * 1e-6)};
    const std::complex<double> z{row.z.re, row.z.im};
    EXPECT_LE(std::abs(std::abs(z) - std::abs(truth)), row.z_deviation) << row.frequency_hz;
    const double phase_error = std::remainder(std::atan(z.imag() / z.real()) - std::atan(truth.imag() / truth.real()), lcr::pi);
    EXPECT_LE(std::fabs(phase_error) * 180.0 / lcr::pi, row.phase_deviation) << row.frequency_hz;
    EXPECT_FALSE(table->item(r, 3)->text().isEmpty());
    EXPECT_FALSE(table->item(r, 5)->text().isEmpty());
    const bool doubtful = lcr::divider_ratio_doubtful(row.divider_ratio);
    EXPECT_EQ(table->item(r, 2)->foreground().color() == QColor(128, 128, 128), doubtful) << row.frequency_hz;
    EXPECT_EQ(table->item(r, 2)->toolTip().isEmpty(), !doubtful);
  }
  EXPECT_TRUE(lcr::divider_ratio_doubtful(page.rows().front().divider_ratio));   // 1.6 kΩ on 10 Ω
  EXPECT_FALSE(lcr::divider_ratio_doubtful(page.rows().back().divider_ratio));   // 8 Ω on 10 Ω
  click(push_button("Button13"));
}

// The widest values, a few hundred milliohms with six digits, and the
// mode's own pair instead of |Z| and phase, all shown whole.
TEST_F(BenchPages, TheSweepTableShowsEveryValueWhole)
{
  start_window("C=100u + R=0.1");
  use_virtual_clock();
  click(window->findChild<QCheckBox*>("CheckBox3"));
  click(push_button("Button8"));
  for (int second = 0; second < 60 && window->response_page().sweep_running(); ++second) advance(1.0);
  ASSERT_EQ(window->response_page().rows().size(), 8u);
  auto* table = window->findChild<QTableWidget*>("TableWidget1");
  EXPECT_TRUE(table->item(4, 2)->text().endsWith("mOhm")) << table->item(4, 2)->text().toStdString();
  expect_no_cell_elided(*table);
  click_item("RadioGroup12", 1);
  expect_no_cell_elided(*table);
}

// "Auto" moves the mode buttons to the pair that fits the device, and the
// settings keep the mode as always, the switch in a section of its own.
TEST_F(BenchPages, AutoChoosesTheModeButtonsAndIsKeptApart)
{
  start_window("C=1u + R=2");
  use_virtual_clock();
  click_item("RadioGroup3", 3);
  click(window->findChild<QCheckBox*>("CheckBox4"));
  advance(1.5);
  EXPECT_TRUE(button("RadioButton_meas11")->isChecked());  // D/C
  EXPECT_EQ(label("Label16"), "C:");
  set_simulated_device("L=10m + R=1");
  advance(0.3);
  EXPECT_TRUE(button("RadioButton_meas11")->isChecked());  // not at once
  advance(1.5);
  EXPECT_TRUE(button("RadioButton_meas12")->isChecked());  // Q/L
  // A pair picked by hand stands, and "Auto" says so by letting go.
  click(button("RadioButton_meas7"));  // Rp/Cp
  advance(2.0);
  EXPECT_TRUE(button("RadioButton_meas7")->isChecked());
  EXPECT_FALSE(window->findChild<QCheckBox*>("CheckBox4")->isChecked());
  click(window->findChild<QCheckBox*>("CheckBox4"));
  advance(1.5);
  EXPECT_TRUE(button("RadioButton_meas12")->isChecked());
  close_window();
  EXPECT_EQ(quarvel_ui::load_settings_values(settings_path()).measmodeindex, 12);
  EXPECT_TRUE(quarvel_ui::load_bench_values(settings_path()).automode);
  const std::string text = quarvel_test::read_file(settings_path());
  const std::size_t options = text.find("[options]");
  const std::size_t bench = text.find("[bench]");
  ASSERT_LT(options, bench);
  EXPECT_EQ(text.substr(options, bench - options).find("automode"), std::string::npos) << text;
}

TEST_F(BenchPages, TheComparatorSortsByTheFirstQuantity)
{
  start_window("R=1k");
  use_virtual_clock();
  click_item("RadioGroup1", 2);
  click_item("RadioGroup4", 6);
  click(window->findChild<QCheckBox*>("CheckBox5"));
  // The deviation shown for 1 kΩ here is about 2 %: parts of 5 %.
  find<QLineEdit>("Edit20")->setText("1k");
  find<QLineEdit>("Edit21")->setText("5");
  advance(1.0);
  EXPECT_EQ(lamp("Edit22")->colour(), tlamp_colour::green);
  EXPECT_EQ(lamp("Edit22")->accessibleName(), "Vergleich: Gut");
  set_simulated_device("R=1.1k");
  advance(1.0);
  EXPECT_EQ(lamp("Edit22")->colour(), tlamp_colour::red);
  EXPECT_EQ(label("Label68"), "Schlecht");
  EXPECT_NEAR(window->sorting_page().comparison()->delta_percent, 10.0, 0.05);
  find<QLineEdit>("Edit20")->setText("1,1k");  // the operator's decimal comma…
  lcr::set_decimal_separator(',');
  advance(0.3);
  EXPECT_EQ(lamp("Edit22")->colour(), tlamp_colour::green);
  // Each entry the comparison cannot use is named beside its field, and
  // nothing is judged.
  const struct {
    const char* nominal;
    const char* tolerance;
    const char* nominal_says;
    const char* tolerance_says;
  } bad_entries[] = {{"1x", "5", "„1x“ ist kein Wert", ""},
                     {"abc", "5", "„abc“ ist kein Wert", ""},
                     {"0", "5", "mit 0 ist nichts zu vergleichen", ""},
                     {"1,1k", "0", "", "über 0 %"},
                     {"1,1k", "-5", "", "ohne Vorzeichen"},
                     {"1,1k", "fünf", "", "„fünf“ ist keine Zahl"}};
  for (const auto& entry : bad_entries) {
    find<QLineEdit>("Edit20")->setText(QString::fromUtf8(entry.nominal));
    find<QLineEdit>("Edit21")->setText(QString::fromUtf8(entry.tolerance));
    advance(0.3);
    const std::string where = std::string(entry.nominal) + " / " + entry.tolerance;
    EXPECT_EQ(lamp("Edit22")->colour(), tlamp_colour::background) << where;
    EXPECT_EQ(label("Label70").left(static_cast<qsizetype>(QString::fromUtf8(entry.nominal_says).size())),
              QString::fromUtf8(entry.nominal_says))
        << where;
    EXPECT_EQ(label("Label70").isEmpty(), *entry.nominal_says == 0) << where;
    EXPECT_EQ(label("Label71").left(static_cast<qsizetype>(QString::fromUtf8(entry.tolerance_says).size())),
              QString::fromUtf8(entry.tolerance_says))
        << where;
    EXPECT_EQ(label("Label71").isEmpty(), *entry.tolerance_says == 0) << where;
    EXPECT_EQ(find<QLineEdit>("Edit21")->styleSheet().isEmpty(), *entry.tolerance_says == 0) << where;
  }
  find<QLineEdit>("Edit21")->setText("5");
  // A capacitor shown as D/C is sorted by its capacitance.
  set_simulated_device("C=100n");
  click(button("RadioButton_meas11"));  // D/C
  find<QLineEdit>("Edit20")->setText("100n");
  advance(1.0);
  EXPECT_EQ(label("Label62"), "C:");
  EXPECT_EQ(lamp("Edit22")->colour(), tlamp_colour::green);
  EXPECT_EQ(parse_entered_value("4,7 k", ','), 4700.0);
  EXPECT_DOUBLE_EQ(*parse_entered_value("100n", '.'), 100e-9);
  EXPECT_EQ(parse_entered_value("4.7k", ','), std::nullopt);
}

TEST_F(BenchPages, TheTimeCourseExportHoldsWhatThePlotShows)
{
  start_window("R=1k");
  use_virtual_clock();
  advance(3.0);
  click(push_button("Button11"));
  const auto rows = csv_numbers(quarvel_test::read_file(directory.path() + "/Zeitverlauf.csv"), 3);
  const graphic::tplot_trace& trace = graphic::plot.plot_trace[0];
  ASSERT_EQ(static_cast<int>(rows.size()), trace.count);
  ASSERT_GT(trace.count, 40);
  EXPECT_EQ(rows.back()[0], 0.0);
  EXPECT_DOUBLE_EQ(rows.front()[0], (trace.count - 1) * 0.05);
  EXPECT_EQ(rows.back()[1], trace.values[static_cast<std::size_t>(trace.count - 1)]);
  // The course begins with the first reading of the tone, not with what
  // the inputs held before it arrived (silence read as 14,142 Ohm).
  EXPECT_LT(trace.count, 60);  // 3 s of evaluations, less the tone's way in
  EXPECT_NEAR(rows.front()[1], 1000.0, 50.0);
  click(push_button("Button12"));
  EXPECT_EQ(QImage(QString::fromStdString(directory.path() + "/Zeitverlauf.png")).size(), QSize(400, 240));
}

}  // namespace
