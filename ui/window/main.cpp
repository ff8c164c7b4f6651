// SPDX-License-Identifier: GPL-3.0-or-later
// Quarvel: the LCR meter's window. Creates the main window and runs the
// message loop; closing the window, SIGINT or SIGTERM end it normally.

#include "ui/pages/plot_page.h"
#include "ui/pages/response_page.h"
#include "ui/settings/settings_file.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/window_style.h"
#include "ui/window/main_window.h"
#include "ui/window/translation.h"

#include "audio/simulated/dut_network.h"
#include "quarvel/version.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int exit_usage = 2;
constexpr int exit_no_display = 3;

struct tcommand_line {
  std::optional<std::string> sim_dut;
  std::optional<std::string> screenshot_directory;
  std::optional<quarvel_ui::tlanguage_choice> language;
};

void print_usage()
{
  std::cout
      << "quarvel " << quarvel::version_text << " - LCR meter on a stereo sound card\n"
      << "\n"
      << "usage: quarvel [--sim DUT] [--lang de|en|auto] [--screenshot DIR]\n"
      << "  --sim DUT          measure on the simulated set-up (\"Simulierter Messaufbau\") with the\n"
      << "                     device network DUT, e.g. 'C=100n + R=2' or '(L=10m + R=5) | C=1n'\n"
      << "  --lang LANGUAGE    the window's language: de (German, the default), en (English) or\n"
      << "                     auto (from LANGUAGE, LC_ALL, LC_MESSAGES, LANG); kept for the next start\n"
      << "  --screenshot DIR   show each page, save it as a PNG in DIR and end\n"
      << "  --help, --version\n"
      << "The sound card is chosen on the page \"Setup/Test\"; the choice is kept in Quarvel.ini.\n"
      << "Without a display, measure with quarvel-cli.\n";
}

[[noreturn]] void usage_error(const std::string& message)
{
  std::cerr << "quarvel: " << message << " (try: quarvel --help)\n";
  std::exit(exit_usage);
}

tcommand_line parse_command_line(std::span<char*> arguments)
{
  tcommand_line line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      print_usage();
      std::exit(0);
    }
    if (argument == "--version") {
      std::cout << "quarvel " << quarvel::version_text << "\n"
                << "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
                << "This is free software: you are free to change and redistribute it.\n"
                << "There is NO WARRANTY, to the extent permitted by law.\n";
      std::exit(0);
    }
    if (argument != "--sim" && argument != "--screenshot" && argument != "--lang") {
      usage_error("unknown argument '" + std::string(argument) + "'");
    }
    if (i + 1 >= arguments.size() || std::string_view(arguments[i + 1]).empty()) {
      usage_error(std::string(argument) + " needs a value");
    }
    const std::string value = arguments[++i];
    if (argument == "--lang") {
      line.language = quarvel_ui::parse_language_choice(value);
      if (!line.language) usage_error("--lang: '" + value + "' is none of de, en, auto");
    } else {
      (argument == "--sim" ? line.sim_dut : line.screenshot_directory) = value;
    }
  }
  if (line.sim_dut) {
    try {
      waveio::parse_dut_network(*line.sim_dut);
    } catch (const waveio::dut_error& error) {
      usage_error("--sim: " + std::string(error.what()));
    }
  }
  return line;
}

// Without a display Qt's platform plugin ends the program from inside the
// application's constructor; its fatal message is turned into our one line,
// and the warnings before it, which only explain it, are held back until
// the application stands.
QStringList held_warnings;

void no_display_handler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
  if (type != QtFatalMsg) {
    held_warnings << message;
    return;
  }
  const QString first_warning = held_warnings.isEmpty() ? message.section('\n', 0, 0) : held_warnings.front();
  std::cerr << "quarvel: no display available (" << first_warning.toStdString()
            << "); measure without a window with quarvel-cli\n";
  std::_Exit(exit_no_display);
}

bool display_configured()
{
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return true;  // the user chose one (offscreen, vnc, …)
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// SIGINT and SIGTERM close the window like its close button: the signal
// handler only writes a byte, the window's thread does the closing.
std::array<int, 2> signal_pipe{-1, -1};

extern "C" void on_terminate_signal(int)
{
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signal_pipe[0], &byte, 1);
}

void close_on_signals(QWidget& window, QObject& owner)
{
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe.data()) != 0) return;
  auto* notifier = new QSocketNotifier(signal_pipe[1], QSocketNotifier::Read, &owner);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(signal_pipe[1], &byte, 1);
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = on_terminate_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

// Display ticks for a while (at most `ticks`, fewer when `until` holds).
void run_ticks(TForm1& window, int ticks, const std::function<bool()>& until = {})
{
  for (int tick = 0; tick < ticks && !(until && until()); ++tick) {
    QApplication::processEvents();
    QThread::msleep(100);
    window.show_measurement();
  }
}

// Each page, after a second and a half of measuring, as "1_LCR_Messung.png",
// "2_Zeitverlauf.png", …; the time course after "Auto Set" and the sweep
// page after a sweep, so that the pictures show what the pages are for.
void take_screenshots(TForm1& window, const QString& directory)
{
  QDir().mkpath(directory);
  QTabWidget& pages = window.page_control();
  for (int index = 0; index < pages.count(); ++index) {
    pages.setCurrentIndex(index);
    if (pages.widget(index) == &window.response_page()) {
      window.response_page().ui.CheckBox3->setChecked(true);
      window.response_page().Button8Click();
      run_ticks(window, 600, [&window] { return !window.response_page().sweep_running(); });
    }
    run_ticks(window, 15);
    // The traces start off the picture at the start scale; scaled, as an
    // operator would after a second.
    if (pages.widget(index) == &window.plot_page()) {
      window.plot_page().Button3Click();
      run_ticks(window, 5);
    }
    QApplication::processEvents();
    QString title = pages.tabText(index);
    title.replace(' ', '_').replace('/', '_');
    const QString file = directory + '/' + QString::number(index + 1) + '_' + title + QStringLiteral(".png");
    if (!window.grab().save(file)) std::cerr << "quarvel: " << file.toStdString() << " cannot be written\n";
  }
}

}  // namespace

int main(int argc, char** argv)
{
  const tcommand_line command_line = parse_command_line(std::span<char*>(argv + 1, static_cast<std::size_t>(argc - 1)));
  if (!display_configured()) {
    std::cerr << "quarvel: no display available (DISPLAY is not set); measure without a window with quarvel-cli\n";
    return exit_no_display;
  }
  qInstallMessageHandler(no_display_handler);
  QApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  for (const QString& warning : held_warnings) qWarning().noquote() << warning;
  QApplication::setApplicationName(QStringLiteral("Quarvel"));
  apply_window_style(application);

  tstartup_options options;
  options.settings_path = quarvel_ui::settings_file_path(
      QCoreApplication::applicationDirPath().toStdString(), "Quarvel.ini",
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString());
  options.sim_dut = command_line.sim_dut;
  options.language = command_line.language;
  const quarvel_ui::twindow_language language = quarvel_ui::resolve_language(
      command_line.language.value_or(quarvel_ui::load_language_choice(options.settings_path)),
      quarvel_ui::process_environment);
  QTranslator translator;
  if (install_translation(translator, language, QCoreApplication::applicationDirPath())) {
    options.window_language = language;
  } else {
    std::cerr
        << "quarvel: the English translation (quarvel_en.qm) is not installed; the window stays German\n";
  }
  TForm1 window(options);
  close_on_signals(window, application);
  window.show();
  if (command_line.screenshot_directory) {
    take_screenshots(window, QString::fromStdString(*command_line.screenshot_directory));
    window.close();
    return 0;
  }
  return QApplication::exec();
}
