// SPDX-License-Identifier: GPL-3.0-or-later
// The page "Impedanzkurve" on the simulated set-up's virtual clock, driven
// as an operator drives it: a woofer's curve against its network's exact
// impedance, "Live" and "Stopp", the read-out under the mouse, an imported
// curve and the refused ones, the export, and the analyser's calibration.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/pages/impedance_page.h"
#include "ui/plot/impedance_plot.h"
#include "ui/widgets/file_dialog.h"

#include "engine/analyser/analyser_calibration_file.h"
#include "engine/analyser/analyser_export.h"
#include "engine/measurement/engine_state.h"

#include "audio/simulated/dut_network.h"
#include "audio/simulated/fixture_set_up.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <complex>
#include <filesystem>
#include <functional>
#include <mutex>

namespace {

constexpr const char* woofer = "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)";

class ImpedancePage : public quarvel_test::window_fixture {
protected:
  void SetUp() override
  {
    window_fixture::SetUp();
    previous_save = set_save_file_name_handler(
        [this](const QString&, const QString&, const QString&) { return save_as; });
    previous_open = set_open_file_name_handler([this](const QString&, const QString&) { return open_path; });
  }
  void TearDown() override
  {
    set_save_file_name_handler(previous_save);
    set_open_file_name_handler(previous_open);
    window_fixture::TearDown();
  }

  timpedance_page& page() const { return window->impedance_page(); }
  QString in_directory(const char* name) const
  {
    return QString::fromStdString(directory.path() + "/" + name);
  }

  // The woofer at "R ref" 10 Ω and "Pegel" 1.00 (the drive is shared by
  // every point), the page shown at 6 points per octave.
  void start_on_woofer()
  {
    start_window(woofer);
    use_virtual_clock();
    click_item("RadioGroup4", 6);
    window->page_control().setCurrentWidget(&page());
    combo("ComboBox8")->setCurrentIndex(0);
  }

  // Stream time, with the page looking at every tenth of a second, until
  // `done` (at most a minute of stream).
  bool measure_until(const std::function<bool()>& done)
  {
    for (int tick = 0; tick < 600 && !done(); ++tick) {
      advance(0.1);
      page().tick_measurement();
    }
    return done();
  }

  void measure_one_curve()
  {
    start_on_woofer();
    click(push_button("Button18"));
    ASSERT_TRUE(measure_until([this] { return !page().measuring(); })) << "no curve in a minute of stream";
    ASSERT_FALSE(page().rows().empty());
  }

  static bool analyser_published()
  {
    const std::lock_guard lock(lcr::publication_lock);
    return lcr::engine.analyser_job != nullptr;
  }

  QString save_as;
  QString open_path;

private:
  std::function<QString(const QString&, const QString&, const QString&)> previous_save;
  std::function<QString(const QString&, const QString&)> previous_open;
};

std::complex<double> exact(const std::string& network, double frequency_hz)
{
  return waveio::parse_dut_network(network).impedance(2.0 * lcr::pi * frequency_hz).value_ohm();
}

double phase_of(lcr::tcomplex z)
{
  return std::atan2(z.im, z.re) * 180.0 / lcr::pi;
}

// A number of the read-out as the window writes it.
double shown_number(QString text)
{
  return text.replace(QChar(lcr::decimal_separator()), '.').toDouble();
}

TEST_F(ImpedancePage, StartMeasuresOneCurveOfTheWooferLooksCloserAtItsResonanceAndStops)
{
  start_on_woofer();
  EXPECT_FALSE(push_button("Button17")->isEnabled());  // nothing to export yet
  EXPECT_EQ(label("Label82"), "R ref 10 Ohm\nPegel 1.00");
  click(push_button("Button18"));
  EXPECT_TRUE(page().measuring());
  EXPECT_TRUE(analyser_published());
  EXPECT_FALSE(push_button("Button18")->isEnabled());
  // Six points per octave leave the resonance on too few: the page looks
  // closer before it stops, on every third fine bin across a stretch
  // wider than most_refined_points of them.
  ASSERT_TRUE(measure_until([this] { return label("Label77").contains("wird in 0.75-Hz-Schritten"); }))
      << label("Label77").toStdString();
  EXPECT_TRUE(analyser_published());
  ASSERT_TRUE(measure_until([this] { return !page().measuring(); }));
  EXPECT_FALSE(analyser_published());  // the meter's tone is back
  const std::size_t coarse_points = lcr::analyser_grid({10.0, 20000.0, 6}).grid->size();
  const std::size_t points = page().rows().size();
  EXPECT_GT(points, coarse_points + 20);
  const auto fine = std::count_if(page().rows().begin(), page().rows().end(),
                                  [](const auto& entry) { return std::fmod(entry.row.frequency_hz, 1.0) != 0.0; });
  EXPECT_GT(fine, 20);
  for (const lcr::tanalyser_row& entry : page().rows()) {
    const lcr::tsweep_row& row = entry.row;
    SCOPED_TRACE(row.frequency_hz);
    const std::complex<double> truth = exact(woofer, row.frequency_hz);
    EXPECT_LE(std::abs(lcr::c_abs(row.z) - std::abs(truth)), row.z_deviation);
    EXPECT_LE(std::abs(phase_of(row.z) - std::arg(truth) * 180.0 / lcr::pi), row.phase_deviation);
    // Bounded, and by a few percent: an unbounded deviation would hold any value.
    if (!entry.doubtful) {
      EXPECT_LT(row.z_deviation, 0.05 * std::abs(truth));
    }
  }
  const QString status = label("Label77");
  EXPECT_TRUE(
      status.startsWith("Perioden: 1/1 · Kurve vollständig · " + QString::number(points) + " unkalibriert"))
      << status.toStdString();
  EXPECT_TRUE(status.contains("Resonanz bei 43.8 Hz in 0.75-Hz-Schritten fein nachgemessen")) << status.toStdString();
  EXPECT_TRUE(status.endsWith("Aussetzer: 0")) << status.toStdString();
  EXPECT_TRUE(push_button("Button17")->isEnabled());
  EXPECT_TRUE(push_button("Button18")->isEnabled());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(ImpedancePage, StoppDuringTheCloserLookLeavesTheCurveAndSaysNothingOfIt)
{
  start_on_woofer();
  click(push_button("Button18"));
  ASSERT_TRUE(measure_until([this] { return label("Label77").contains("fein nachgemessen"); }));
  click(push_button("Button19"));
  EXPECT_FALSE(page().measuring());
  EXPECT_FALSE(analyser_published());
  EXPECT_FALSE(page().rows().empty());
  EXPECT_FALSE(label("Label77").contains("Resonanz")) << label("Label77").toStdString();
}

TEST_F(ImpedancePage, LiveAveragesOnUntilStoppAndLeavingThePageStopsToo)
{
  start_on_woofer();
  combo("ComboBox9")->setCurrentIndex(1);  // 4 periods
  click(find<QCheckBox>("CheckBox8"));
  click(push_button("Button18"));
  ASSERT_TRUE(measure_until([this] { return label("Label77").startsWith("Perioden: 4/4"); }));
  advance(2.0);  // two periods more: the newest four are averaged, and it goes on
  page().tick_measurement();
  EXPECT_TRUE(page().measuring());
  EXPECT_TRUE(label("Label77").startsWith("Perioden: 4/4 · Messung läuft")) << label("Label77").toStdString();
  EXPECT_FALSE(combo("ComboBox9")->isEnabled());

  click(push_button("Button19"));
  EXPECT_FALSE(page().measuring());
  EXPECT_FALSE(analyser_published());
  EXPECT_TRUE(label("Label77").startsWith("Perioden: 4/4 · Kurve vollständig"))
      << label("Label77").toStdString();
  EXPECT_TRUE(combo("ComboBox9")->isEnabled());

  click(push_button("Button18"));
  ASSERT_TRUE(analyser_published());
  window->page_control().setCurrentIndex(0);
  EXPECT_FALSE(page().measuring());
  EXPECT_FALSE(analyser_published());
}

TEST_F(ImpedancePage, AGridItCannotMeasureIsSaidAndNothingStarts)
{
  start_window("R=10");
  window->page_control().setCurrentWidget(&page());
  const struct {
    int from_hz;
    int to_hz;
    const char* said;
  } cases[] = {{10, 30000, "Stoppfrequenz über 21600 Hz"},
               {500, 500, "Stoppfrequenz nicht über der Startfrequenz"}};
  for (const auto& c : cases) {
    errors.clear();
    find<QSpinBox>("SpinEdit1")->setValue(c.from_hz);
    find<QSpinBox>("SpinEdit2")->setValue(c.to_hz);
    click(push_button("Button18"));
    ASSERT_EQ(errors.size(), 1) << c.said;
    EXPECT_TRUE(errors.front().contains(c.said)) << errors.front().toStdString();
    EXPECT_FALSE(page().measuring());
    EXPECT_FALSE(analyser_published());
    EXPECT_TRUE(push_button("Button18")->isEnabled());
  }
}

// The read-out names the point nearest the mouse with its deviations, and
// the imported curve at that point's frequency; beside the curves' area it
// is empty.
TEST_F(ImpedancePage, TheCursorReadsTheNearestPointAndTheOverlayThere)
{
  measure_one_curve();
  quarvel_test::write_file(directory.path() + "/other.zma", "* a woofer\n10 6 0\n1000 10 45\n20000 20 60\n");
  open_path = in_directory("other.zma");
  click(push_button("Button15"));
  ASSERT_EQ(page().overlay().size(), 3u);

  const std::vector<lcr::tanalyser_row>& rows = page().rows();
  const auto near_1k = std::min_element(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return std::abs(std::log(a.row.frequency_hz / 1000.0)) < std::abs(std::log(b.row.frequency_hz / 1000.0));
  });
  const lcr::tsweep_row& point = near_1k->row;
  const QStringList lines = page().cursor_text(point.frequency_hz * 1.03).split('\n');
  ASSERT_EQ(lines.size(), 3) << lines.join(" | ").toStdString();
  EXPECT_TRUE(lines[0].startsWith(
      QString::number(point.frequency_hz / 1000.0, 'f', 3).replace('.', QChar(lcr::decimal_separator())) +
      " KHz"))
      << lines[0].toStdString();
  const QRegularExpression values(R"(^\|Z\| (\S+) ± (\S+) Ohm   phi (\S+) ± (\S+) °$)");
  const QRegularExpressionMatch shown = values.match(lines[1]);
  ASSERT_TRUE(shown.hasMatch()) << lines[1].toStdString();
  EXPECT_NEAR(shown_number(shown.captured(1)), lcr::c_abs(point.z), 0.0005);
  EXPECT_NEAR(shown_number(shown.captured(2)), point.z_deviation, 0.0005);
  EXPECT_NEAR(shown_number(shown.captured(3)), phase_of(point.z), 0.005);
  EXPECT_NEAR(shown_number(shown.captured(4)), point.phase_deviation, 0.005);
  const QRegularExpressionMatch other =
      QRegularExpression(R"(^Overlay: \|Z\| (\S+) Ohm   phi (\S+) °$)").match(lines[2]);
  ASSERT_TRUE(other.hasMatch()) << lines[2].toStdString();
  const lcr::tzma_point expected = *lcr::zma_point_at(page().overlay(), point.frequency_hz);
  EXPECT_NEAR(shown_number(other.captured(1)), expected.magnitude_ohm, 0.0005);
  EXPECT_NEAR(shown_number(other.captured(2)), expected.phase_deg, 0.005);

  // The mouse over the plot: the read-out of the frequency under it; over
  // the scale beside the area, none.
  auto* plot = find<timpedance_plot>("PaintBox3");
  const int y = plot->height() / 2;
  int x = 0;
  while (x < plot->width() && (!plot->frequency_at(x) || *plot->frequency_at(x) < point.frequency_hz)) ++x;
  ASSERT_LT(x, plot->width());
  QTest::mouseMove(plot, QPoint(x, y));
  EXPECT_EQ(label("Label76"), page().cursor_text(*plot->frequency_at(x)));
  EXPECT_TRUE(label("Label76").startsWith(lines[0])) << label("Label76").toStdString();
  QTest::mouseMove(plot, QPoint(1, y));
  EXPECT_EQ(label("Label76"), QString());
}

TEST_F(ImpedancePage, AnOverlayLoadsAndARefusedFileLeavesThePreviousOne)
{
  start_window("R=10");
  window->page_control().setCurrentWidget(&page());
  const auto green_pixels = [this] {
    const QImage& image = find<timpedance_plot>("PaintBox3")->image();
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == qRgb(0, 255, 0) ? 1 : 0;
    }
    return count;
  };
  const qsizetype legend_only = green_pixels();
  quarvel_test::write_file(directory.path() + "/good.zma", "20 8 -10\n200 30 40\n2000 12 -20\n");
  open_path = in_directory("good.zma");
  click(push_button("Button15"));
  const std::vector<lcr::tzma_point> good{{20, 8, -10}, {200, 30, 40}, {2000, 12, -20}};
  ASSERT_EQ(page().overlay(), good);
  EXPECT_GT(green_pixels(), legend_only + 50);  // the dashed |Z| across the plot
  EXPECT_TRUE(push_button("Button16")->isEnabled());

  quarvel_test::write_file(directory.path() + "/falling.zma", "* sorted wrongly\n10 5 0\n100 6 0\n50 7 0\n");
  quarvel_test::write_file(directory.path() + "/word.zma", "10 5 0\n100 abc 0\n");
  quarvel_test::write_file(directory.path() + "/huge.zma", std::string(lcr::zma_largest_text + 1, '\n'));
  std::filesystem::create_directory(directory.path() + "/folder.zma");
  const struct {
    const char* file;
    const char* said;
  } refused[] = {{"falling.zma", "Zeile 4: Frequenz nicht steigend"},
                 {"word.zma", "Zeile 2: \"abc\" ist keine Zahl"},
                 {"huge.zma", "Datei größer als 8 MB"},
                 {"folder.zma", "keine Datei"}};
  for (const auto& file : refused) {
    errors.clear();
    open_path = in_directory(file.file);
    click(push_button("Button15"));
    ASSERT_EQ(errors.size(), 1) << file.file;
    EXPECT_EQ(errors.front().toStdString(), (open_path + ": " + QString::fromUtf8(file.said)).toStdString());
    EXPECT_EQ(page().overlay(), good) << file.file;
  }

  click(push_button("Button16"));
  EXPECT_TRUE(page().overlay().empty());
  EXPECT_FALSE(push_button("Button16")->isEnabled());
  EXPECT_EQ(green_pixels(), legend_only);
}

TEST_F(ImpedancePage, TheExportWritesTheCurveAsTheFileNameAsks)
{
  measure_one_curve();
  const std::vector<lcr::tanalyser_row>& rows = page().rows();
  save_as = in_directory("woofer.zma");
  click(push_button("Button17"));
  const lcr::tzma_curve zma = lcr::parse_zma(quarvel_test::read_file(save_as.toStdString()));
  ASSERT_TRUE(zma.ok()) << zma.refusal;
  EXPECT_EQ(zma.points, lcr::analyser_zma_points(rows));  // every digit back

  save_as = in_directory("woofer.json");
  click(push_button("Button17"));
  const QJsonObject json =
      QJsonDocument::fromJson(QByteArray::fromStdString(quarvel_test::read_file(save_as.toStdString())))
          .object();
  const QJsonArray json_rows = json["rows"].toArray();
  ASSERT_EQ(json_rows.size(), static_cast<qsizetype>(rows.size()));
  EXPECT_EQ(json["points_per_octave"].toInt(), 6);
  EXPECT_EQ(json_rows.last()["frequency_hz"].toDouble(), rows.back().row.frequency_hz);
  EXPECT_EQ(json_rows.last()["z_deviation"].toDouble(), rows.back().row.z_deviation);

  save_as = in_directory("woofer.csv");
  click(push_button("Button17"));
  EXPECT_EQ(quarvel_test::read_file(save_as.toStdString()), lcr::analyser_csv_text(rows));

  save_as = in_directory("woofer.txt");
  click(push_button("Button17"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.front().endsWith(".zma, .csv oder .json")) << errors.front().toStdString();
  EXPECT_FALSE(std::filesystem::exists(save_as.toStdString()));
}

// A step takes the running curve, or is refused and stores nothing; the
// calibration is saved as "Quarvel.zcal" beside "Quarvel.cal".
TEST_F(ImpedancePage, ACalibrationStepTakesTheRunningCurveAndIsSaved)
{
  start_on_woofer();
  click(push_button("Button20"));  // "O-G Kanalübersprechen", nothing measuring
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.front().startsWith("O-G Kanalübersprechen: keine laufende Kurve"))
      << errors.front().toStdString();

  waveio::tfixture_config config = window->sound_devices().fixture().configuration();
  waveio::wire_set_up(config, waveio::set_up_for_calibration_mode(0));
  window->sound_devices().fixture().set_configuration(config);
  lcr::request_settling();
  click(find<QCheckBox>("CheckBox8"));
  click(push_button("Button18"));
  ASSERT_TRUE(measure_until([this] { return label("Label77").contains("Messung läuft"); }));
  combo("ComboBox10")->setCurrentIndex(4);  // "R-R Referenzwiderstand": no open step in this run
  EXPECT_TRUE(find<QLineEdit>("Edit23")->isEnabled());
  click(push_button("Button20"));
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors.back().toStdString(),
            "R-R Referenzwiderstand: kein Leerlaufwert in diesem Lauf (zuerst Modus 2)");
  EXPECT_TRUE(page().calibration().points.empty());

  combo("ComboBox10")->setCurrentIndex(0);
  EXPECT_FALSE(find<QLineEdit>("Edit23")->isEnabled());
  click(push_button("Button20"));
  const std::size_t points = page().rows().size();
  EXPECT_EQ(label("Label85"), "O-G Kanalübersprechen: " + QString::number(points) + " Punkte gespeichert");
  EXPECT_EQ(page().calibration().points.size(), points);
  EXPECT_TRUE(label("Label77").contains(" 0 unkalibriert")) << label("Label77").toStdString();

  click(push_button("Button21"));
  lcr::tanalyser_calibration saved;
  ASSERT_TRUE(lcr::load_analyser_calibration(directory.path() + "/Quarvel.zcal", saved).ok);
  EXPECT_EQ(saved, page().calibration());
  EXPECT_EQ(errors.size(), 2);
}

// A file that is not a calibration is named and kept as it is; the page
// measures uncalibrated.
TEST_F(ImpedancePage, ABadCalibrationFileIsSaidAndKept)
{
  const std::string path = directory.path() + "/Quarvel.zcal";
  const std::string text = std::string(lcr::analyser_calibration_version_line) + "\nh_short 100 - 1 0 x\n";
  quarvel_test::write_file(path, text);
  start_window("R=10");
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.front().startsWith(QString::fromStdString(path) + ": Zeile 2:"))
      << errors.front().toStdString();
  EXPECT_TRUE(page().calibration().points.empty());
  EXPECT_EQ(label("Label85"), "Datei fehlerhaft, es wird unkalibriert gemessen");
  close_window();
  EXPECT_EQ(quarvel_test::read_file(path), text);
}

TEST(ImpedancePlot, TheNearestPointIsNearestOnTheLogarithmicAxis)
{
  const std::vector<graphic::timpedance_point> curve{{100.0}, {200.0}, {400.0}};
  EXPECT_EQ(graphic::nearest_point({}, 100.0), std::nullopt);
  EXPECT_EQ(graphic::nearest_point(curve, 1.0), 0u);
  EXPECT_EQ(graphic::nearest_point(curve, 1e6), 2u);
  EXPECT_EQ(graphic::nearest_point(curve, 141.0), 0u);  // below √(100 · 200), though nearer 200 by difference
  EXPECT_EQ(graphic::nearest_point(curve, 142.0), 1u);
  const graphic::tfrequency_axis axis{10.0, 20000.0};
  EXPECT_NEAR(graphic::frequency_at_fraction(axis, graphic::log_fraction(axis, 1234.0)), 1234.0, 1e-9);
}

}  // namespace
