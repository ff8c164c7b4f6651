// SPDX-License-Identifier: GPL-3.0-or-later
// A probe of the meter on a busy machine: the command-line meter, run as
// an operator or a lab script runs it, on the simulated set-up in real time
// while busy loops occupy every core. It checks every reading that comes
// out against the exact impedance of the simulated part and counts those
// that lie outside their own shown deviation (there must be none):
//
// - real-time frequency sweeps, each row and the fitted capacitance;
// - a reading log (measure --watch --csv), every line;
// - a remote-control client switching the frequency and fetching the
//   reading and its deviation after each switch;
// - open and short corrections over the remote control, saved, and a part
//   read with them by a new server.
//
// Not a test: how busy the machine is decides what it sees. It drives any
// quarvel-cli given with --cli, so an older build can be probed alike.
//
//   load_probe [--cli PATH] [--sweeps 6] [--fetches 40] [--loops-per-core 3]
//              [--nice N (the meter's niceness, 0)] [--help]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using tclock = std::chrono::steady_clock;

constexpr double pi = 3.14159265358979323846;

struct toptions {
  std::string cli = QUARVEL_CLI;
  int sweeps = 6;
  int fetches = 40;
  int loops_per_core = 3;
  int nice = 0;
};

// Busy loops on every core, ended with the probe.
class tbusy_loops {
public:
  explicit tbusy_loops(int count)
  {
    for (int i = 0; i < count; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~tbusy_loops()
  {
    for (const pid_t pid : pids_) ::kill(pid, SIGKILL);
    for (const pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
  }
  tbusy_loops(const tbusy_loops&) = delete;
  tbusy_loops& operator=(const tbusy_loops&) = delete;

private:
  std::vector<pid_t> pids_;
};

std::string quoted(const std::string& text)
{
  return "'" + text + "'";
}

std::string meter(const toptions& options)
{
  return "nice -n " + std::to_string(options.nice) + " " + quoted(options.cli);
}

struct trun {
  std::string output;
  int exit_code = -1;
  double seconds = 0.0;
};

trun run(const std::string& command)
{
  trun result;
  const auto start = tclock::now();
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.seconds = std::chrono::duration<double>(tclock::now() - start).count();
  return result;
}

// The numbers after `"key":` in a JSON text, in order.
std::vector<double> json_numbers(const std::string& text, const std::string& key)
{
  std::vector<double> numbers;
  const std::regex pattern("\"" + key + "\":(-?[0-9.eE+-]+)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
    numbers.push_back(std::stod((*it)[1]));
  }
  return numbers;
}

std::complex<double> series_rc(double r_ohm, double c_f, double frequency_hz)
{
  return {r_ohm, -1.0 / (2.0 * pi * frequency_hz * c_f)};
}

struct ttally {
  int readings = 0;
  int outside = 0;
  std::int64_t dropouts = 0;
  std::vector<std::string> notes;

  void check(double value, double exact, double deviation, const std::string& where)
  {
    ++readings;
    if (std::fabs(value - exact) <= deviation) return;
    ++outside;
    std::ostringstream note;
    note << where << ": " << value << " for " << exact << " ± " << deviation;
    notes.push_back(note.str());
  }
};

void sweeps(const toptions& options, ttally& tally, std::vector<double>& wall_s, int& fits_off, int& failed)
{
  for (int i = 0; i < options.sweeps; ++i) {
    const trun sweep = run(meter(options) + " sweep --sim 'C=1u + R=2' --realtime --json");
    wall_s.push_back(sweep.seconds);
    if (sweep.exit_code != 0) ++failed;
    const auto frequencies = json_numbers(sweep.output, "frequency_hz");
    const auto re = json_numbers(sweep.output, "re");
    const auto im = json_numbers(sweep.output, "im");
    const auto deviations = json_numbers(sweep.output, "z_deviation");
    for (std::size_t row = 0; row < frequencies.size() && row < re.size() && row < deviations.size(); ++row) {
      const double exact = std::abs(series_rc(2.0, 1e-6, frequencies[row]));
      tally.check(std::hypot(re[row], im[row]), exact, deviations[row],
                  "sweep " + std::to_string(i + 1) + " at " + std::to_string(static_cast<int>(frequencies[row])) + " Hz");
    }
    const auto c = json_numbers(sweep.output, "c_f");
    const auto c_deviation = json_numbers(sweep.output, "c_deviation_f");
    if (!c.empty() && !c_deviation.empty() && std::fabs(c[0] - 1e-6) > c_deviation[0]) ++fits_off;
    const auto dropouts = json_numbers(sweep.output, "dropouts");
    if (!dropouts.empty()) tally.dropouts += static_cast<std::int64_t>(dropouts[0]);
  }
}

// The reading log of a 4.7 kΩ resistor: every line within its deviation,
// the first one included, and none far off whatever its deviation (a line
// written before any evaluation of the part).
void reading_log(const toptions& options, ttally& tally, int& lines, int& far_off)
{
  char path[] = "/tmp/quarvel-probe-XXXXXX";
  const int descriptor = ::mkstemp(path);
  if (descriptor >= 0) ::close(descriptor);
  ::unlink(path);
  run(meter(options) + " measure --sim R=4.7k --ref 10k --watch --seconds 3 --csv " + quoted(path));
  std::ifstream log(path);
  std::string line;
  std::getline(log, line);  // the header
  while (std::getline(log, line)) {
    std::vector<std::string> fields;
    std::stringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    if (fields.size() < 8) continue;
    ++lines;
    // time, frequency, ref, z_re, z_im, first quantity, its value, its deviation
    const double value = std::stod(fields[6]);
    tally.check(value, 4700.0, std::stod(fields[7]), "log line " + std::to_string(lines));
    if (std::fabs(value / 4700.0 - 1.0) > 0.01) ++far_off;
    if (fields.size() >= 17 && !fields[16].empty()) tally.dropouts = std::max<std::int64_t>(tally.dropouts, std::stoll(fields[16]));
  }
  ::unlink(path);
}

// A quarvel-cli serve on a port of its own, ended with the object.
class tserver {
public:
  tserver(const toptions& options, const std::string& network, const std::string& cal_file, int port)
  {
    // `nice` becomes the meter itself: the signal below reaches it.
    const std::string niceness = std::to_string(options.nice);
    const std::string port_text = std::to_string(port);
    const char* arguments[] = {"nice", "-n", niceness.c_str(), options.cli.c_str(), "serve", "--sim", network.c_str(),
                               "--ref", "1k", "--level", "1.00", "--cal", cal_file.c_str(), "--port",
                               port_text.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawnp(&pid_, "nice", &quiet, nullptr, const_cast<char* const*>(arguments), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&quiet);
    for (int attempt = 0; attempt < 100 && fd_ < 0 && pid_ > 0; ++attempt) {
      std::this_thread::sleep_for(100ms);
      connect(port);
    }
  }
  ~tserver()
  {
    if (fd_ >= 0) ::close(fd_);
    if (pid_ > 0) {
      ::kill(pid_, SIGINT);  // "Ctrl-C ends"
      ::waitpid(pid_, nullptr, 0);
    }
  }
  tserver(const tserver&) = delete;
  tserver& operator=(const tserver&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Sends a line and returns the reply line of a query ("" for none within
  // 40 s).
  std::string ask(const std::string& line)
  {
    const std::string text = line + "\n";
    ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    return reply();
  }
  void tell(const std::string& line)
  {
    const std::string text = line + "\n";
    ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
  }

private:
  void connect(int port)
  {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      fd_ = fd;
    } else {
      ::close(fd);
    }
  }

  std::string reply()
  {
    const auto deadline = tclock::now() + 40s;
    while (tclock::now() < deadline) {
      const auto end = buffer_.find('\n');
      if (end != std::string::npos) {
        const std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, 100) <= 0) continue;
      char chunk[1024];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return {};
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

std::vector<double> numbers_of(const std::string& reply)
{
  std::vector<double> numbers;
  std::stringstream cells(reply);
  for (std::string cell; std::getline(cells, cell, ',');) {
    try {
      numbers.push_back(std::stod(cell));
    } catch (const std::exception&) {
      return {};
    }
  }
  return numbers;
}

void remote_fetches(const toptions& options, ttally& tally, int& unsettled, int& unanswered)
{
  tserver server(options, "C=1u + R=2", "/nonexistent/Quarvel.cal", 50251);
  if (!server.connected()) {
    tally.notes.push_back("the server did not answer");
    return;
  }
  const int frequencies[] = {200, 5000, 1000, 20000};
  for (int i = 0; i < options.fetches; ++i) {
    const int hz = frequencies[i % 4];
    if (i > 0) server.tell(":FREQ " + std::to_string(hz));
    const std::vector<double> reading = numbers_of(server.ask(":FETC?"));
    const std::vector<double> deviation = numbers_of(server.ask(":FETC:DEV?"));
    if (reading.size() < 3 || deviation.size() < 2) {
      ++unanswered;
      continue;
    }
    if (reading[2] != 0.0) ++unsettled;
    const int at_hz = i > 0 ? hz : 1000;
    tally.check(reading[0], std::abs(series_rc(2.0, 1e-6, at_hz)), deviation[0],
                "fetch " + std::to_string(i + 1) + " at " + std::to_string(at_hz) + " Hz");
  }
}

// Open and short corrections at 1 kHz with the 1 kΩ reference, each on a
// server whose terminals hold the open or the short, saved; then a new
// server reads 470 Ω in series with 100 nF with them.
void remote_corrections(const toptions& options, ttally& tally, int rounds, int& read)
{
  char directory[] = "/tmp/quarvel-probe-XXXXXX";
  if (::mkdtemp(directory) == nullptr) return;
  const std::string cal_file = std::string(directory) + "/Quarvel.cal";
  for (int round = 0; round < rounds; ++round) {
    for (const auto& [network, command] : {std::pair{"C=0", ":CORR:OPEN"}, std::pair{"R=0", ":CORR:SHOR"}}) {
      tserver server(options, network, cal_file, 50252);
      if (!server.connected()) continue;
      server.tell(command);
      server.tell(":CORR:SAVE");
      server.ask("*OPC?");
    }
    tserver server(options, "C=100n + R=470", cal_file, 50253);
    if (!server.connected()) continue;
    const std::vector<double> reading = numbers_of(server.ask(":FETC?"));
    const std::vector<double> deviation = numbers_of(server.ask(":FETC:DEV?"));
    if (reading.size() < 3 || deviation.size() < 2) continue;
    ++read;
    tally.check(reading[0], std::abs(series_rc(470.0, 100e-9, 1000.0)), deviation[0],
                "corrected reading " + std::to_string(round + 1));
  }
  ::system(("rm -rf " + quoted(directory)).c_str());
}

std::optional<int> number_option(int& i, int argc, char** argv)
{
  if (i + 1 >= argc) return std::nullopt;
  return std::atoi(argv[++i]);
}

double median(std::vector<double> values)
{
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

constexpr const char* usage =
    "usage: load_probe [--cli PATH] [--sweeps 6] [--fetches 40] [--loops-per-core 3] [--nice N]\n"
    "  runs quarvel-cli on the simulated set-up in real time beside busy loops on every core and\n"
    "  counts the readings outside their own deviation (exit 1 when there are any); --nice N runs\n"
    "  the meter at that niceness (0 … 19)\n";

int main(int argc, char** argv)
{
  toptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << usage;
      return 0;
    }
    if (option == "--cli" && i + 1 < argc) {
      options.cli = argv[++i];
    } else if (option == "--sweeps") {
      options.sweeps = number_option(i, argc, argv).value_or(options.sweeps);
    } else if (option == "--fetches") {
      options.fetches = number_option(i, argc, argv).value_or(options.fetches);
    } else if (option == "--loops-per-core") {
      options.loops_per_core = number_option(i, argc, argv).value_or(options.loops_per_core);
    } else if (option == "--nice") {
      options.nice = number_option(i, argc, argv).value_or(options.nice);
    } else {
      std::cerr << "load_probe: unknown argument '" << option << "'\n" << usage;
      return 2;
    }
  }
  const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  // Each part's figures as soon as it is done: at nice 19 the whole takes
  // long, and a reader should see it going.
  std::cout << "probing " << options.cli << " with " << options.loops_per_core * cores << " busy loops on " << cores
            << " cores, the meter at nice " << options.nice << std::endl;
  const tbusy_loops loops(options.loops_per_core * cores);

  ttally tally;
  std::vector<double> sweep_s;
  int fits_off = 0;
  int sweeps_failed = 0;
  sweeps(options, tally, sweep_s, fits_off, sweeps_failed);
  std::cout << "sweeps: " << options.sweeps << ", " << tally.readings << " rows, median wall time " << median(sweep_s)
            << " s, " << sweeps_failed << " ended early, " << fits_off << " fits with C outside its ±" << std::endl;
  int log_lines = 0;
  int log_far_off = 0;
  reading_log(options, tally, log_lines, log_far_off);
  std::cout << "reading log: " << log_lines << " lines, " << log_far_off << " more than 1 % off" << std::endl;
  int unsettled = 0;
  int unanswered = 0;
  remote_fetches(options, tally, unsettled, unanswered);
  int corrected_read = 0;
  remote_corrections(options, tally, 3, corrected_read);
  std::cout << "remote: " << options.fetches << " fetches, " << unsettled << " with a status other than 0, "
            << unanswered << " unanswered; " << corrected_read << " of 3 readings with open and short corrections"
            << std::endl;
  std::cout << "readings checked: " << tally.readings << ", outside their deviation: " << tally.outside << "\n"
            << "dropouts reported: " << tally.dropouts << "\n";
  for (const std::string& note : tally.notes) std::cout << "  " << note << "\n";
  return tally.outside == 0 ? 0 : 1;
}
