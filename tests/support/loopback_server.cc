#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tavrel::testing {
namespace {

// Limits that keep a misbehaving client from tying the server up.
constexpr std::size_t kMaxHeadBytes = 1 << 20;
constexpr std::size_t kMaxBodyBytes = 256u << 20;
// How long a finished connection waits for the client to close before the
// server drops it (so that the client reads the whole response, not a reset).
constexpr int kLingerMs = 2000;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

const char* reason_phrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

// Parses the request line and header lines of a complete head (without the
// final empty line's CR LF pair being required to be CR LF: bare LF is read too).
bool parse_head(std::string_view head, ReceivedRequest& request) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    std::size_t end = head.find('\n', pos);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (first) {
      first = false;
      std::size_t sp1 = line.find(' ');
      std::size_t sp2 = line.rfind(' ');
      if (sp1 == std::string_view::npos || sp2 == sp1) return false;
      request.method = std::string(line.substr(0, sp1));
      request.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
      request.version = std::string(line.substr(sp2 + 1));
      continue;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      request.headers.emplace_back(std::string(trim(line)), std::string());
    } else {
      request.headers.emplace_back(std::string(line.substr(0, colon)),
                                   std::string(trim(line.substr(colon + 1))));
    }
  }
  return !first;
}

}  // namespace

std::string ReceivedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equal_ignoring_case(key, name)) return value;
  }
  return {};
}

bool ReceivedRequest::has_header(std::string_view name) const {
  for (const auto& entry : headers) {
    if (equal_ignoring_case(entry.first, name)) return true;
  }
  return false;
}

void Reply::send(int status, std::string_view body, const HeaderList& headers) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason_phrase(status) + "\r\n";
  bool has_length = false;
  bool has_connection = false;
  for (const auto& [name, value] : headers) {
    out += name + ": " + value + "\r\n";
    has_length = has_length || equal_ignoring_case(name, "Content-Length");
    has_connection = has_connection || equal_ignoring_case(name, "Connection");
  }
  if (!has_length) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (!has_connection) out += "Connection: close\r\n";
  out += "\r\n";
  if (!write(out)) return;
  // A response to HEAD carries the length of the body but not the body.
  if (!head_only()) write(body);
}

struct LoopbackServer::Impl {
  struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };

  class ConnectionReply final : public Reply {
   public:
    ConnectionReply(Impl& server, int fd, bool head_only)
        : server_(server), fd_(fd), head_only_(head_only) {}

    bool write(std::string_view bytes) override {
      if (closed_) return false;
      while (!bytes.empty()) {
        if (server_.stopping.load()) return false;
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
      }
      return true;
    }

    bool idle(int ms) override {
      std::unique_lock lock(server_.mutex);
      return !server_.wake.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return server_.stopping.load(); });
    }

    void close() override {
      if (closed_) return;
      closed_ = true;
      ::shutdown(fd_, SHUT_RDWR);
    }

    bool head_only() const override { return head_only_; }
    bool closed() const { return closed_; }

   private:
    Impl& server_;
    int fd_;
    bool head_only_;
    bool closed_ = false;
  };

  Handler handler;
  bool ipv6 = false;
  int listen_fd = -1;
  int wake_pipe[2] = {-1, -1};
  int port = 0;
  std::atomic<bool> stopping{false};

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::vector<ReceivedRequest> log;
  std::list<Connection> connections;  // guarded by mutex
  std::thread acceptor;

  // Waits until fd is readable or the server stops; false on stop or timeout.
  bool wait_readable(int fd, int timeout_ms) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
    while (true) {
      int r = ::poll(fds, 2, timeout_ms);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      if (fds[1].revents != 0) return false;
      return true;
    }
  }

  void accept_loop() {
    while (!stopping.load()) {
      if (!wait_readable(listen_fd, -1)) break;
      int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard lock(mutex);
      reap_finished();
      if (stopping.load()) {
        ::close(fd);
        break;
      }
      Connection& c = connections.emplace_back();
      c.fd = fd;
      c.thread = std::thread([this, &c] {
        serve(c.fd);
        c.done.store(true);
      });
    }
  }

  // Joins connection threads that have finished. Called with mutex held.
  void reap_finished() {
    for (auto it = connections.begin(); it != connections.end();) {
      if (it->done.load()) {
        it->thread.join();
        ::close(it->fd);
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Reads up to max bytes into buffer; 0 on end, stop or error.
  std::size_t read_some(int fd, char* buffer, std::size_t max) {
    while (true) {
      if (!wait_readable(fd, -1)) return 0;
      ssize_t n = ::recv(fd, buffer, max, 0);
      if (n < 0 && errno == EINTR) continue;
      return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
  }

  void serve(int fd) {
    std::string data;
    char buffer[16384];
    std::size_t head_end = std::string::npos;
    std::size_t head_len = 0;
    while (true) {
      std::size_t crlf = data.find("\r\n\r\n");
      std::size_t lf = data.find("\n\n");
      if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
        head_end = crlf;
        head_len = crlf + 4;
        break;
      }
      if (lf != std::string::npos) {
        head_end = lf;
        head_len = lf + 2;
        break;
      }
      if (data.size() > kMaxHeadBytes) return;
      std::size_t n = read_some(fd, buffer, sizeof buffer);
      if (n == 0) return;
      data.append(buffer, n);
    }
    (void)head_end;

    ReceivedRequest request;
    request.head = data.substr(0, head_len);
    if (!parse_head(request.head, request)) return;
    std::size_t length = 0;
    std::string length_text = request.header("Content-Length");
    if (!length_text.empty()) {
      try {
        length = std::stoull(length_text);
      } catch (...) {
        return;
      }
      if (length > kMaxBodyBytes) return;
    }
    request.body = data.substr(head_len);
    while (request.body.size() < length) {
      std::size_t n = read_some(fd, buffer, sizeof buffer);
      if (n == 0) return;
      request.body.append(buffer, n);
    }
    request.body.resize(length);
    {
      std::lock_guard lock(mutex);
      log.push_back(request);
    }
    wake.notify_all();

    ConnectionReply reply(*this, fd, request.method == "HEAD");
    try {
      handler(request, reply);
    } catch (...) {
      // A throwing handler ends its connection; the server goes on.
    }
    if (reply.closed()) return;
    // Let the client see the end of the response, then wait (bounded) for it
    // to close its side so that unread bytes don't turn into a reset.
    ::shutdown(fd, SHUT_WR);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0 || !wait_readable(fd, static_cast<int>(left))) break;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex);
      stopping.store(true);
    }
    wake.notify_all();
    char byte = 1;
    while (::write(wake_pipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    if (acceptor.joinable()) acceptor.join();
    std::list<Connection> remaining;
    {
      std::lock_guard lock(mutex);
      for (Connection& c : connections) ::shutdown(c.fd, SHUT_RDWR);
      remaining.splice(remaining.end(), connections);
    }
    for (Connection& c : remaining) {
      c.thread.join();
      ::close(c.fd);
    }
  }
};

bool Reply::head_only() const { return false; }

LoopbackServer::LoopbackServer(Handler handler, bool ipv6) : impl_(std::make_unique<Impl>()) {
  impl_->handler = std::move(handler);
  impl_->ipv6 = ipv6;
  if (::pipe2(impl_->wake_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  int family = ipv6 ? AF_INET6 : AF_INET;
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  impl_->listen_fd = fd;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  int rc;
  if (ipv6) {
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    addr.sin6_port = 0;
    rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } else {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }
  if (rc != 0 || ::listen(fd, 128) != 0) {
    ::close(fd);
    ::close(impl_->wake_pipe[0]);
    ::close(impl_->wake_pipe[1]);
    throw std::runtime_error("cannot listen on loopback");
  }
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  impl_->port = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  impl_->acceptor = std::thread([impl = impl_.get()] { impl->accept_loop(); });
}

LoopbackServer::~LoopbackServer() {
  impl_->stop();
  ::close(impl_->listen_fd);
  ::close(impl_->wake_pipe[0]);
  ::close(impl_->wake_pipe[1]);
}

int LoopbackServer::port() const { return impl_->port; }

std::string LoopbackServer::host_port() const {
  std::string host = impl_->ipv6 ? "[::1]" : "127.0.0.1";
  return host + ":" + std::to_string(impl_->port);
}

std::string LoopbackServer::url(std::string_view path) const {
  return "http://" + host_port() + std::string(path);
}

std::vector<ReceivedRequest> LoopbackServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

bool LoopbackServer::wait_for_requests(std::size_t count, int timeout_ms) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->wake.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [&] { return impl_->log.size() >= count; });
}

void LoopbackServer::clear_requests() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

}  // namespace tavrel::testing
