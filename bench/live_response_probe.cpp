// SPDX-License-Identifier: GPL-3.0-or-later
// Not a benchmark: the window's live frequency response probed in real
// time on the simulated set-up. For "FT Faktor" 1, 4 and 16 at "Pegel"
// 1.00 and "R ref" 1 kΩ it prints, over RUNS runs (default 5), the medians
// of
// - the wall time from the click on "Start" to the first curve shown;
// - the curves shown per second over the next SECONDS (default 10);
// - the CPU share of the window's thread and of the whole process then;
// - the wall time from a change of the device (as the simulation page
//   makes it) to the first curve that shows the new device.
//
//   build/default/bench/live_response_probe [SECONDS] [RUNS]

#include "ui/pages/measurement_page.h"
#include "ui/pages/response_page.h"
#include "ui/widgets/window_style.h"
#include "ui/window/main_window.h"

#include "engine/core/settings.h"

#include "audio/simulated/simulated_fixture.h"
#include "audio/sound_devices.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <complex>
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
  double device_change_s = 0.0;
  double idle_thread_share = 0.0;  // the window's thread before the click, measuring the single tone
};

// |Z| at 1 kHz of the shown curve.
double shown_magnitude_1k(const tresponse_page& page)
{
  return page.rows().size() == 8 ? std::hypot(page.rows()[3].z.re, page.rows()[3].z.im) : 0.0;
}

// Waits (processing the window's events) until `done`, at most 30 s; the
// wall time it took.
template <typename done_t>
double wait_for(done_t done)
{
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 30000) QTest::qWait(1);
  return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

tprobe_run probe_once(int fft_index, double seconds)
{
  const QTemporaryDir directory;
  std::ofstream(directory.filePath(QStringLiteral("Quarvel.ini")).toStdString())
      << "[options]\r\nrrefindex=2\r\nfreqindex=3\r\nlevelindex=6\r\nfftindex=" << fft_index << "\r\navgindex=0\r\n";
  tstartup_options options;
  options.settings_path = directory.filePath(QStringLiteral("Quarvel.ini")).toStdString();
  options.calibration_path = directory.filePath(QStringLiteral("Quarvel.cal")).toStdString();
  options.sim_dut = "R=1k + L=10m";
  options.real_cards = false;
  TForm1 window(options);
  window.show();
  // "Mittelwert" 1 applied as an operator's click applies it: FT 4 then
  // averages four evaluations, FT 16 sixteen.
  window.measurement_page().ui.RadioGroup6->set_item_index(1);
  window.measurement_page().ui.RadioGroup6->set_item_index(0);
  window.page_control().setCurrentWidget(&window.response_page());
  tresponse_page& page = window.response_page();
  QTest::qWait(2000);  // the single tone settled, as an operator finds it
  page.findChild<QComboBox*>(QStringLiteral("ComboBox6"))->setCurrentIndex(1);

  tprobe_run run;
  {
    const double thread_before = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(static_cast<int>(seconds * 1000));
    run.idle_thread_share = 100.0 * (cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_before) /
                            (static_cast<double>(clock.nsecsElapsed()) * 1e-9);
  }
  QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("Button8")), Qt::LeftButton);
  run.first_curve_s = wait_for([&page] { return page.live_curves_shown() > 0; });

  const std::int64_t curves_before = page.live_curves_shown();
  const double thread_before = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
  const double process_before = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
  QElapsedTimer clock;
  clock.start();
  QTest::qWait(static_cast<int>(seconds * 1000));
  const double wall_s = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
  run.curves_per_s = static_cast<double>(page.live_curves_shown() - curves_before) / wall_s;
  run.window_thread_share = 100.0 * (cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_before) / wall_s;
  run.process_share = 100.0 * (cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process_before) / wall_s;

  // Another part at the terminals, as the simulation page puts it there.
  waveio::tfixture_config config = window.sound_devices().fixture().configuration();
  config.dut_network = "R=470 + L=10m";
  window.sound_devices().fixture().set_configuration(config);
  lcr::request_settling();
  const double expected = std::abs(std::complex<double>(470.0, 2.0 * 3.141592653589793 * 1000.0 * 10e-3));
  run.device_change_s = wait_for([&] { return std::fabs(shown_magnitude_1k(page) / expected - 1.0) < 0.01; });
  QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("Button13")), Qt::LeftButton);
  return run;
}

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  apply_window_style(application);
  const double seconds = argc > 1 ? std::stod(argv[1]) : 10.0;
  const int runs = argc > 2 ? std::stoi(argv[2]) : 5;
  std::printf("FT  first curve  curves/s  window thread (single tone)  process  device change  (medians of %d runs)\n",
              runs);
  for (const int fft_index : {0, 1, 2}) {
    std::vector<double> first, rate, thread, idle, process, change;
    for (int r = 0; r < runs; ++r) {
      const tprobe_run run = probe_once(fft_index, seconds);
      first.push_back(run.first_curve_s);
      rate.push_back(run.curves_per_s);
      thread.push_back(run.window_thread_share);
      idle.push_back(run.idle_thread_share);
      process.push_back(run.process_share);
      change.push_back(run.device_change_s);
    }
    std::printf("%-3d %8.3f s %9.1f %10.1f %% (%5.1f %%) %9.1f %% %11.3f s\n", 1 << (2 * fft_index), median(first),
                median(rate), median(thread), median(idle), median(process), median(change));
  }
  return 0;
}
