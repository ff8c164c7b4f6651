// SPDX-License-Identifier: GPL-3.0-or-later
// Not a benchmark: the window's page "Impedanzkurve" probed in real time on
// the simulated set-up with a woofer's network, "R ref" 10 Ω, "Pegel" 1.00,
// 24 points per octave. Over RUNS runs (default 3) it prints the medians of
// - the wall time from the click on "Start" to the first curve shown;
// - with "Live", the curves shown per second over the next SECONDS
//   (default 10), and the CPU share of the window's thread and of the whole
//   process (the streaming worker and the simulated set-up included) then.
//
//   build/default/bench/analyser_live_probe [SECONDS] [RUNS]

#include "ui/pages/impedance_page.h"
#include "ui/widgets/window_style.h"
#include "ui/window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

double cpu_seconds(clockid_t clock)
{
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

struct tprobe_run {
  double first_curve_s = 0.0;
  double curves_per_s = 0.0;
  double window_thread_share = 0.0;
  double process_share = 0.0;
};

template <typename done_t>
double wait_for(done_t done)
{
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 30000) QTest::qWait(1);
  return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

tprobe_run probe_once(const char* network, double seconds)
{
  const QTemporaryDir directory;
  std::ofstream(directory.filePath(QStringLiteral("Quarvel.ini")).toStdString())
      << "[options]\r\nrrefindex=0\r\nfreqindex=3\r\nlevelindex=6\r\nfftindex=0\r\navgindex=0\r\n";
  tstartup_options options;
  options.settings_path = directory.filePath(QStringLiteral("Quarvel.ini")).toStdString();
  options.calibration_path = directory.filePath(QStringLiteral("Quarvel.cal")).toStdString();
  options.sim_dut = network;
  options.real_cards = false;
  TForm1 window(options);
  window.show();
  window.page_control().setCurrentWidget(&window.impedance_page());
  timpedance_page& page = window.impedance_page();
  QTest::qWait(2000);  // the meter's tone settled, as an operator finds it
  page.findChild<QCheckBox*>(QStringLiteral("CheckBox8"))->setChecked(true);

  tprobe_run run;
  QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("Button18")), Qt::LeftButton);
  run.first_curve_s = wait_for([&page] { return page.curves_shown() > 0; });

  const std::int64_t curves_before = page.curves_shown();
  const double thread_before = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
  const double process_before = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
  QElapsedTimer clock;
  clock.start();
  QTest::qWait(static_cast<int>(seconds * 1000));
  const double wall_s = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
  run.curves_per_s = static_cast<double>(page.curves_shown() - curves_before) / wall_s;
  run.window_thread_share = 100.0 * (cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_before) / wall_s;
  run.process_share = 100.0 * (cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process_before) / wall_s;
  QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("Button19")), Qt::LeftButton);
  return run;
}

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  apply_window_style(application);
  const double seconds = argc > 1 ? std::stod(argv[1]) : 10.0;
  const int runs = argc > 2 ? std::stoi(argv[2]) : 3;
  std::printf("network  first curve  curves/s  window thread  process  (medians of %d runs)\n", runs);
  for (const char* network : {"R=5.6", "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)"}) {
    std::vector<double> first, rate, thread, process;
    for (int r = 0; r < runs; ++r) {
      const tprobe_run run = probe_once(network, seconds);
      first.push_back(run.first_curve_s);
      rate.push_back(run.curves_per_s);
      thread.push_back(run.window_thread_share);
      process.push_back(run.process_share);
    }
    std::printf("%s\n         %8.3f s %9.2f %11.1f %% %7.1f %%\n", network, median(first), median(rate), median(thread),
                median(process));
  }
  return 0;
}
