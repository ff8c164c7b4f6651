// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A lab script's end of the remote control: a TCP client on 127.0.0.1,
// non-blocking, so that one test thread can run both ends.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace quarvel_test {

class tclient {
public:
  explicit tclient(int port)
  {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);  // completes in the server's turn
  }
  ~tclient() { close(); }
  tclient(const tclient&) = delete;
  tclient& operator=(const tclient&) = delete;

  void close()
  {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void finish_sending() { ::shutdown(fd_, SHUT_WR); }
  // Sends what the socket takes now; false when the server has closed it.
  bool send(const std::string& text)
  {
    pollfd writable{fd_, POLLOUT, 0};
    ::poll(&writable, 1, 100);
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // What has arrived; sets `closed` when the server closed the connection.
  std::string receive()
  {
    std::string text;
    char buffer[4096];
    while (true) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
      } else {
        if (n == 0) closed = true;
        return text;
      }
    }
  }
  bool closed = false;

private:
  int fd_ = -1;
};

}  // namespace quarvel_test
