// SPDX-License-Identifier: GPL-3.0-or-later
// The window's display tick, `show_measurement`, at its worst: both values
// and both deviation estimates of a parallel mode, the plot with full
// traces of new values every tick, the lamps. The window measures on the
// simulated set-up while it runs, as in use.

#include "ui/pages/measurement_page.h"
#include "ui/widgets/window_style.h"
#include "ui/window/main_window.h"

#include "engine/measurement/measurement_cycle.h"

#include <QApplication>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// One window for every run, made by main: 21 s of measuring first, so that
// both traces hold their full 400 points, which every tick recomputes.
TForm1* measuring_window = nullptr;

std::unique_ptr<TForm1> make_measuring_window(const QTemporaryDir& directory)
{
  tstartup_options options;
  options.settings_path = directory.filePath(QStringLiteral("Quarvel.ini")).toStdString();
  options.calibration_path = directory.filePath(QStringLiteral("Quarvel.cal")).toStdString();
  options.sim_dut = "(L=10m + R=5) | C=1n";
  options.real_cards = false;
  auto window = std::make_unique<TForm1>(options);
  window->show();
  window->timer1().stop();  // the benchmark ticks
  QTest::qWait(21000);
  return window;
}

void BM_show_measurement(benchmark::State& state)
{
  TForm1& window = *measuring_window;
  QTest::mouseClick(window.measurement_page().mode_button(static_cast<int>(state.range(0))), Qt::LeftButton);
  QTest::qWait(500);
  for (auto _ : state) {
    window.show_measurement();
    state.PauseTiming();
    QTest::qWait(50);  // about one evaluation: new values for the plot every tick
    state.ResumeTiming();
  }
}
// Modes 0 "Z/phi", 7 "Rp/Cp" and 5 "Gp/Bp".
BENCHMARK(BM_show_measurement)->Arg(0)->Arg(7)->Arg(5)->ArgName("mode")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  apply_window_style(application);
  benchmark::Initialize(&argc, argv);
  const QTemporaryDir directory;
  const std::unique_ptr<TForm1> window = make_measuring_window(directory);
  measuring_window = window.get();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
