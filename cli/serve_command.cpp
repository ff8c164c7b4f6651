// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve_command.h"

#include "interrupt.h"
#include "meter_options.h"
#include "meter_session.h"

#include "remote/engine_instrument.h"
#include "remote/scpi_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <iostream>
#include <string>

namespace quarvel_cli {

namespace {

// The network waits at most this long per turn, so that waiting commands
// and the devices are looked after often.
constexpr int service_wait_ms = 10;

int parse_port(std::string_view text)
{
  int port = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
    throw usage_error("--port: '" + std::string(text) + "' is not a port 1 … 65535");
  }
  return port;
}

// Seconds, 0 for never.
std::chrono::seconds parse_idle_timeout(std::string_view text)
{
  const auto seconds = parse_number(text);
  if (!seconds || *seconds < 0.0 || *seconds > 86400.0 || *seconds != std::floor(*seconds)) {
    throw usage_error("--idle-timeout: '" + std::string(text) + "' is not a whole number of seconds 0 … 86400");
  }
  return std::chrono::seconds(static_cast<long long>(*seconds));
}

// The address is checked here so that a mistyped one is a usage error,
// not a failure to listen.
std::string parse_listen_address(std::string_view text)
{
  std::string address(text);
  std::array<unsigned char, sizeof(in6_addr)> buffer{};
  if (::inet_pton(AF_INET, address.c_str(), buffer.data()) != 1 &&
      ::inet_pton(AF_INET6, address.c_str(), buffer.data()) != 1) {
    throw usage_error("--listen: '" + address + "' is not an IPv4 or IPv6 address (e.g. 127.0.0.1, 0.0.0.0, ::1)");
  }
  return address;
}

}  // namespace

int run_serve(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = meter_value_options();
  value_options.insert(value_options.end(), {"--listen", "--port", "--idle-timeout"});
  const argument_list list(arguments, value_options, meter_flags());
  tmeter_options options = parse_meter_options(list);
  if (options.auto_mode) throw usage_error("--mode: the remote client chooses the mode; 'auto' is for measure");
  const std::string address = parse_listen_address(list.value("--listen").value_or("127.0.0.1"));
  const int port = list.value("--port") ? parse_port(*list.value("--port")) : scpi::default_port;
  scpi::tserver_limits limits;
  if (const auto idle = list.value("--idle-timeout")) limits.idle_timeout = parse_idle_timeout(*idle);
  options.realtime = true;  // clients wait in wall-clock time

  tmeter_session session(options);
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";
  scpi::tengine_instrument instrument(session.on_fixture(), options.cal_file);
  scpi::tscpi_server server(instrument, address, port, limits);
  std::cerr << "quarvel-cli: listening on " << address << " port " << server.port()
            << " (SCPI, no authentication); Ctrl-C ends" << std::endl;
  catch_interrupts();
  while (!interrupt_requested()) {
    session.run_until(session.frames_processed() + 1);  // throws when a device stops
    server.service(service_wait_ms);
  }
  return 0;
}

}  // namespace quarvel_cli
