// A small HTTP/1.1 server on the loopback interface for tests. It listens on
// a free port of 127.0.0.1 (or ::1), serves every connection on its own
// thread, logs every request it read, and stops when destroyed: the
// destructor stops listening, wakes handlers waiting in Reply::idle, shuts
// every connection down and joins every thread. A handler that throws only
// loses its own connection.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel::testing {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct ReceivedRequest {
  std::string method;
  std::string target;   // as written on the request line
  std::string version;  // "HTTP/1.1"
  std::string head;     // request line and header lines, each ended by CR LF, with the empty line
  HeaderList headers;   // in the order received, names as sent
  std::string body;     // read by Content-Length

  // The first header of that name (ASCII case ignored); empty when absent.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
};

// The connection a handler answers on. One request per connection: the
// connection is closed after the handler returns.
class Reply {
 public:
  virtual ~Reply() = default;
  // Raw bytes to the client; false once the client has gone or the server stops.
  virtual bool write(std::string_view bytes) = 0;
  // A whole response: status line, the given headers, Content-Length,
  // "Connection: close" (each unless the given headers name it), then the
  // body (left out when answering HEAD).
  void send(int status, std::string_view body, const HeaderList& headers = {});
  // Waits up to ms milliseconds; returns false early when the server stops.
  // Handlers that stall (to test time-outs) wait here, never in a bare sleep.
  virtual bool idle(int ms) = 0;
  // Closes the connection now, without a response unless one was written.
  virtual void close() = 0;
  // True when the request was a HEAD: send() then writes no body.
  virtual bool head_only() const;
};

class LoopbackServer {
 public:
  using Handler = std::function<void(const ReceivedRequest&, Reply&)>;

  explicit LoopbackServer(Handler handler, bool ipv6 = false);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const;
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string host_port() const;
  // "http://" + host_port() + path.
  std::string url(std::string_view path = "/") const;

  // Every request read so far, in the order they were read.
  std::vector<ReceivedRequest> requests() const;
  void clear_requests();
  // Waits until at least count requests have been read, or timeout_ms passed.
  bool wait_for_requests(std::size_t count, int timeout_ms) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavrel::testing
