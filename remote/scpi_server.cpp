// SPDX-License-Identifier: GPL-3.0-or-later
#include "scpi_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace scpi {

namespace {

constexpr std::size_t receive_chunk = 4096;

[[noreturn]] void fail(const std::string& what, const std::string& address, int port)
{
  throw std::runtime_error(what + " " + address + " port " + std::to_string(port) + ": " + std::strerror(errno));
}

}  // namespace

tsocket::~tsocket()
{
  if (fd_ >= 0) ::close(fd_);
}

tsocket& tsocket::operator=(tsocket&& other) noexcept
{
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

int tsocket::release()
{
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

tscpi_server::tscpi_server(tinstrument& instrument, const std::string& address, int port, tserver_limits limits,
                           tserver_clock clock)
    : instrument_(instrument),
      limits_(limits),
      clock_(clock ? std::move(clock) : tserver_clock([] { return std::chrono::steady_clock::now(); }))
{
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family = AF_INET;
  if (auto* v4 = reinterpret_cast<sockaddr_in*>(&storage); ::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof(sockaddr_in);
  } else if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
             ::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    family = AF_INET6;
    length = sizeof(sockaddr_in6);
  } else {
    throw std::runtime_error("'" + address + "' is not an IPv4 or IPv6 address");
  }
  if (port < 0 || port > 65535) throw std::runtime_error("port " + std::to_string(port) + " is not 0 … 65535");

  listener_ = tsocket(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (listener_.fd() < 0) fail("cannot open a socket for", address, port);
  const int yes = 1;
  ::setsockopt(listener_.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listener_.fd(), reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    fail("cannot listen on", address, port);
  }
  if (::listen(listener_.fd(), 64) != 0) fail("cannot listen on", address, port);
  sockaddr_storage bound{};
  socklen_t bound_length = sizeof bound;
  ::getsockname(listener_.fd(), reinterpret_cast<sockaddr*>(&bound), &bound_length);
  port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                  : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
}

void tscpi_server::service(int timeout_ms)
{
  std::vector<pollfd> watched;
  watched.reserve(clients_.size() + 1);
  watched.push_back({listener_.fd(), POLLIN, 0});
  for (const auto& client : clients_) {
    short events = 0;
    // A client whose command waits is not read on: its next lines wait in
    // the socket, not in memory.
    if (!client->session.busy() && !client->input_finished && client->input.size() < limits_.line_limit) {
      events |= POLLIN;
    }
    // Its end of sending is watched for while it waits, without reading on.
    if (!client->peer_finished && !client->input_finished) events |= POLLRDHUP;
    if (!client->output.empty()) events |= POLLOUT;
    watched.push_back({client->socket.fd(), events, 0});
  }
  const bool any_waiting = std::any_of(clients_.begin(), clients_.end(),
                                       [](const auto& client) { return client->session.busy(); });
  ::poll(watched.data(), watched.size(), any_waiting ? std::min(timeout_ms, 10) : timeout_ms);

  for (std::size_t i = 0; i < clients_.size(); ++i) {
    tclient& client = *clients_[i];
    const short ready = watched[i + 1].revents;
    if ((ready & POLLRDHUP) != 0) client.peer_finished = true;
    if ((ready & (POLLIN | POLLHUP | POLLERR)) != 0) receive(client);
  }
  const std::chrono::steady_clock::time_point now = clock_();
  for (const auto& client : clients_) {
    if (client->closed) continue;
    take_lines(*client);
    if (client->output.size() > limits_.output_limit) client->closed = true;  // it does not read
    if (!client->output.empty()) send_output(*client);
    // A client that has sent everything ("nc -N") gets all its replies first;
    // but one that has gone while a command waits on its own sweep has left
    // for good: no sweep may hold the others' settings for a reader gone.
    if (client->input_finished && !client->session.busy() && client->output.empty()) client->closed = true;
    if (client->peer_finished && client->session.busy() && client->session.owns_sweep()) client->closed = true;
    if (engaged(*client)) client->last_active = now;
    if (idle_too_long(*client, now)) client->closed = true;
  }
  std::erase_if(clients_, [](const auto& client) { return client->closed; });
  if ((watched[0].revents & POLLIN) != 0) accept_clients();
}

void tscpi_server::accept_clients()
{
  while (true) {
    tsocket socket(::accept4(listener_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (socket.fd() < 0) return;  // none left (or a client that gave up before we came)
    if (clients_.size() >= limits_.client_limit) {
      // Told why, then closed at once; a reply that does not fit is not waited for.
      const std::string refusal = "Quarvel: all " + std::to_string(limits_.client_limit) +
                                  " connections are in use; try again later\n";
      ::send(socket.fd(), refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      continue;
    }
    clients_.push_back(std::make_unique<tclient>(std::move(socket), instrument_, clock_()));
  }
}

void tscpi_server::receive(tclient& client)
{
  std::array<char, receive_chunk> buffer{};
  const ssize_t received = ::recv(client.socket.fd(), buffer.data(), buffer.size(), 0);
  if (received == 0) {
    client.input_finished = true;
    return;
  }
  if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    client.closed = true;
    return;
  }
  if (received > 0) client.input.append(buffer.data(), static_cast<std::size_t>(received));
}

void tscpi_server::take_lines(tclient& client)
{
  client.output += client.session.run();
  while (!client.session.busy()) {
    const std::size_t end = client.input.find('\n');
    if (end == std::string::npos) {
      if (client.input.size() >= limits_.line_limit) {
        // The rest of this line is dropped as it comes.
        client.input.clear();
        client.discarding = true;
      }
      if (!client.input_finished) return;
      // The last line came without its line end.
      if (client.discarding) client.session.receive_overlong_line();
      if (!client.discarding && !client.input.empty()) client.session.receive_line(client.input);
      client.discarding = false;
      client.input.clear();
      client.output += client.session.run();
      return;
    }
    if (client.discarding) {
      client.discarding = false;
      client.session.receive_overlong_line();
    } else if (end >= limits_.line_limit) {
      client.session.receive_overlong_line();
    } else {
      std::string_view line(client.input.data(), end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      client.session.receive_line(line);
    }
    client.input.erase(0, end + 1);
    client.last_active = clock_();
    client.output += client.session.run();
  }
}

bool tscpi_server::engaged(const tclient& client)
{
  return client.session.busy() || client.session.measuring() || !client.output.empty();
}

// Idle from the last moment it had something going on: a reply that took
// long to come starts the idle time when it has gone out.
bool tscpi_server::idle_too_long(const tclient& client, std::chrono::steady_clock::time_point now) const
{
  return limits_.idle_timeout.count() > 0 && !engaged(client) && now - client.last_active >= limits_.idle_timeout;
}

void tscpi_server::send_output(tclient& client)
{
  const ssize_t sent = ::send(client.socket.fd(), client.output.data(), client.output.size(), MSG_NOSIGNAL);
  if (sent > 0) {
    client.output.erase(0, static_cast<std::size_t>(sent));
  } else if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    client.closed = true;  // gone mid-reply
  }
}

}  // namespace scpi
