#include "serve_command.h"

#include "interrupt.h"
#include "meter_options.h"
#include "meter_session.h"

#include "remote/engine_instrument.h"
#include "remote/scpi_server.h"

#include <charconv>
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

}  // namespace

int run_serve(std::span<const char* const> arguments)
{
  std::vector<std::string_view> value_options = meter_value_options();
  value_options.insert(value_options.end(), {"--listen", "--port"});
  const argument_list list(arguments, value_options, meter_flags());
  tmeter_options options = parse_meter_options(list);
  if (options.auto_mode) throw usage_error("--mode: the remote client chooses the mode; 'auto' is for measure");
  const std::string address(list.value("--listen").value_or("127.0.0.1"));
  const int port = list.value("--port") ? parse_port(*list.value("--port")) : scpi::default_port;
  options.realtime = true;  // clients wait in wall-clock time

  tmeter_session session(options);
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";
  scpi::tengine_instrument instrument(session.on_fixture(), options.cal_file);
  scpi::tscpi_server server(instrument, address, port);
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
