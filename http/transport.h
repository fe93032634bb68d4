// A small synchronous HTTP client in the shape of a classic handle-based
// internet API: open a root handle (agent name, direct or through a proxy),
// connect it to a host and port, open a request on the connection (verb,
// object, version, flags), send it with a header block and an optional body,
// read the body in pieces, query the raw response headers, close. Each handle
// has one owner and is closed by its destructor; closing is resetting it.
//
// Failures are values: an open that fails gives a null handle; sending, reading
// and querying report nothing beyond what they return. Nothing throws.
//
// Behaviour every request has:
// - only http and https, for the first request and for every redirect;
// - a direct root handle never uses a proxy, whatever the environment says;
// - redirects are followed (at most kMaxRedirects) unless kFlagNoAutoRedirect;
// - cookies the server sets are kept in a process-wide store and sent back to
//   the same site, unless kFlagNoCookies;
// - TLS certificates are checked against the system's store;
// - the limits below bound connecting, stalls, the whole transfer and the
//   size of a body.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavrel::transport {

// Request flags (the values of the classic API they stand for).
inline constexpr std::uint32_t kFlagReload = 0x80000000;     // never from a cache
inline constexpr std::uint32_t kFlagNeedFile = 0x00000010;   // no effect: nothing is cached
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;  // leave the cookie store alone
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kFlagSecure = 0x00800000;                 // https
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;  // http may go to https

enum class AccessType { direct = 1, proxy = 3 };

inline constexpr std::chrono::milliseconds kConnectTimeout{60000};
// A transfer whose byte counts have not moved for this long is abandoned.
inline constexpr std::chrono::milliseconds kStallTimeout{30000};
// A transfer still going this long after it was sent is abandoned, however
// steadily bytes arrive: a server that drips its answer cannot hold it.
inline constexpr std::chrono::milliseconds kTransferTimeout{120000};
// A body is cut at this size; the request then gives what it read.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;
inline constexpr long kMaxRedirects = 20;

struct Limits {
  std::chrono::milliseconds connect_timeout = kConnectTimeout;
  std::chrono::milliseconds stall_timeout = kStallTimeout;
  std::chrono::milliseconds transfer_timeout = kTransferTimeout;
  std::size_t max_body_bytes = kMaxBodyBytes;
};

// The limits requests opened from now on use (process-wide; tests shorten
// them). Returns the limits that were in force.
Limits set_limits(const Limits& limits);
Limits current_limits();

struct Session {
  std::string agent;
  AccessType access = AccessType::direct;
  // Entries separated by spaces or ";": "host[:port]" for every scheme, or
  // "scheme=host[:port]" for one. A request whose scheme no entry names goes
  // direct.
  std::string proxy_list;
};

struct Connection {
  Session session;  // a copy, so a connection never dangles
  std::string host;
  int port = 0;
};

class Request {
 public:
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

 private:
  struct Impl;
  explicit Request(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;

  friend std::unique_ptr<Request> http_open_request(const Connection&, std::string_view,
                                                    std::string_view, std::string_view,
                                                    std::uint32_t);
  friend void http_send_request(Request&, std::string_view, std::string_view);
  friend std::size_t internet_read_file(Request&, std::uint8_t*, std::size_t);
  friend std::size_t internet_query_data_available(const Request&);
  friend std::string internet_take_body(Request&);
  friend bool http_query_raw_headers(Request&, char*, std::size_t&);
};

using SessionHandle = std::unique_ptr<Session>;
using ConnectionHandle = std::unique_ptr<Connection>;
using RequestHandle = std::unique_ptr<Request>;

// The root handle. The agent name is sent as the User-Agent unless a request's
// headers name one; it ends at its first line break. proxy_list is used only
// with AccessType::proxy.
SessionHandle internet_open(std::string_view agent, AccessType access, std::string_view proxy_list);

// A connection to host (a name or address, no port) and port (1 to 65535).
// Null when either cannot be used. Nothing is sent yet.
ConnectionHandle internet_connect(const Session& session, std::string_view host, int port);

// A request for object (path and query, starting with "/") with verb ("GET",
// "POST", "HEAD", ...) over HTTP/1.1, https when flags hold kFlagSecure. Null
// when the request cannot be prepared (an unknown version, a host the client
// cannot use, no resources).
RequestHandle http_open_request(const Connection& connection, std::string_view verb,
                                std::string_view object, std::string_view version,
                                std::uint32_t flags);

// Sends the request with headers (lines separated by CR LF, sent as they
// stand: the client adds only Host, and Content-Length when there is a body)
// and waits for the response. A body is sent with any verb but HEAD when not
// empty; POST always sends one. A HEAD sends none and waits for none: a body
// on it has no meaning, and servers that ignore it would read it as the start
// of another request. The response body is taken in as it arrives, up to the
// body limit. Failures show only as a missing body and missing headers.
void http_send_request(Request& request, std::string_view headers, std::string_view body);

// Copies up to size bytes of the response body not yet read into buffer;
// 0 at the end of the body or when there is none.
std::size_t internet_read_file(Request& request, std::uint8_t* buffer, std::size_t size);

// The count of response body bytes not yet read: what the reads above will
// still give.
std::size_t internet_query_data_available(const Request& request);

// The response body not yet read, all of it, handed over rather than copied;
// the reads above give nothing more afterwards.
std::string internet_take_body(Request& request);

// The final response's status line and header lines, each ended by CR LF,
// then an empty line, written to buffer with a terminating zero byte when it
// fits in length bytes; length then holds the count written, without the zero.
// Otherwise, or when no complete response head arrived, buffer is left alone,
// false is returned and length is set to the size needed (0 for none).
bool http_query_raw_headers(Request& request, char* buffer, std::size_t& length);

}  // namespace tavrel::transport
