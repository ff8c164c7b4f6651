// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The meter's remote control over TCP, as lab instruments offer it on port
// 5025: one line per command line, one line per reply. Serviced by the
// thread that owns the settings (the command-line meter's loop, the
// window's timer); never blocks longer than the wait it is given.
//
// What the network sends cannot hurt the meter or the other clients: a
// line over `line_limit` bytes is dropped with a syntax error, a client
// that does not read its replies is dropped when `output_limit` bytes wait
// for it, clients beyond `client_limit` are closed at once, and every
// buffer is bounded; a client that has had nothing going on (no line, no
// command waiting, no reply on its way) for `idle_timeout` is closed, so
// that half-open connections cannot hold every place. A client that closes
// its side while a command of its own waits on a sweep it started has left:
// the sweep ends at once, so that the others may change settings again.
// The protocol has no authentication.

#include "instrument.h"
#include "scpi_session.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace scpi {

inline constexpr int default_port = 5025;

struct tserver_limits {
  std::size_t client_limit = 64;
  std::size_t line_limit = 4096;
  std::size_t output_limit = 64 * 1024;
  std::chrono::seconds idle_timeout{60};  // 0: never
};

// A socket that closes itself.
class tsocket {
public:
  tsocket() = default;
  explicit tsocket(int fd) : fd_(fd) {}
  ~tsocket();
  tsocket(tsocket&& other) noexcept : fd_(other.release()) {}
  tsocket& operator=(tsocket&& other) noexcept;
  tsocket(const tsocket&) = delete;
  tsocket& operator=(const tsocket&) = delete;

  int fd() const { return fd_; }
  int release();

private:
  int fd_ = -1;
};

// The clock the idle time is told by (steady_clock's, or a test's).
using tserver_clock = std::function<std::chrono::steady_clock::time_point()>;

class tscpi_server {
public:
  // Listens on `address` (an IPv4 or IPv6 literal) and `port` (0: any free
  // port, for tests). Throws std::runtime_error naming the address.
  tscpi_server(tinstrument& instrument, const std::string& address, int port, tserver_limits limits = {},
               tserver_clock clock = {});

  int port() const { return port_; }
  std::size_t client_count() const { return clients_.size(); }

  // Accepts, reads, executes and writes what is ready, waiting at most
  // `timeout_ms` for the network.
  void service(int timeout_ms);

private:
  struct tclient {
    tclient(tsocket socket, tinstrument& instrument, std::chrono::steady_clock::time_point now)
        : socket(std::move(socket)), session(instrument), last_active(now)
    {
    }
    tsocket socket;
    std::string input;
    std::string output;
    tscpi_session session;
    bool discarding = false;  // inside a line that was too long
    bool input_finished = false;  // the client has sent all it will (it may still read)
    bool peer_finished = false;   // its end of sending is seen, lines may still wait unread
    bool closed = false;
    // When it last had something going on: a line, a waiting command, a
    // reply on its way.
    std::chrono::steady_clock::time_point last_active;
  };

  void accept_clients();
  void receive(tclient& client);
  void take_lines(tclient& client);
  void send_output(tclient& client);
  static bool engaged(const tclient& client);
  bool idle_too_long(const tclient& client, std::chrono::steady_clock::time_point now) const;

  tinstrument& instrument_;
  tserver_limits limits_;
  tserver_clock clock_;
  tsocket listener_;
  int port_ = 0;
  std::vector<std::unique_ptr<tclient>> clients_;
};

}  // namespace scpi
