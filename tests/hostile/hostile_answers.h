// Misbehaving answers for the loopback server, and a listener that only
// notes whether anybody connected to it.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

#include "http/transport.h"
#include "tests/support/loopback_server.h"

namespace tavrel::hostile {

using testing::Reply;

// Short page-fetch limits for the duration of a test, so that a stall or a
// transfer that never ends costs a fraction of a second.
class ShortLimits {
 public:
  ShortLimits()
      : previous_(transport::set_limits({.connect_timeout = std::chrono::milliseconds(1000),
                                         .stall_timeout = std::chrono::milliseconds(300),
                                         .transfer_timeout = std::chrono::milliseconds(1500),
                                         .max_body_bytes = std::size_t{12} << 20})) {}
  ~ShortLimits() { transport::set_limits(previous_); }
  ShortLimits(const ShortLimits&) = delete;
  ShortLimits& operator=(const ShortLimits&) = delete;

 private:
  transport::Limits previous_;
};

// Accepts and never answers (until the server stops).
inline void never_answer(Reply& reply) { reply.idle(60000); }

// Writes head and then repeat every 50 ms for as long as the client listens:
// fast enough that no wait for data ever runs out.
inline void drip_after(Reply& reply, std::string_view head, std::string_view repeat) {
  if (!reply.write(head)) return;
  while (reply.idle(50) && reply.write(repeat)) {
  }
}

// A response head that never ends: one more header line every 50 ms.
inline void drip_headers(Reply& reply) {
  drip_after(reply, "HTTP/1.1 200 OK\r\n", "X-Slow: a\r\n");
}

// A body without length that trickles for ever.
inline void drip_body(Reply& reply) {
  drip_after(reply, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<html>", "a");
}

// A body without length sent as fast as the client takes it.
inline void flood_body(Reply& reply) {
  if (!reply.write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
  const std::string chunk(64 * 1024, 'x');
  while (reply.write(chunk)) {
  }
}

// A header block that never ends, sent as fast as the client takes it.
inline void flood_headers(Reply& reply) {
  if (!reply.write("HTTP/1.1 200 OK\r\n")) return;
  const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
  while (reply.write(line)) {
  }
}

// A response with a raw head (status line and header lines, without the
// empty line) and body, written as they stand.
inline void raw(Reply& reply, std::string_view head, std::string_view body) {
  reply.write(std::string(head) + "\r\n\r\n" + std::string(body));
}

// A listening TCP socket on 127.0.0.1 that never accepts; connected() tells
// whether a client ever completed a connection to it.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::listen(fd_, 8) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  int port() const { return port_; }
  bool connected() const {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return false;
    ::close(client);
    return true;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace tavrel::hostile
