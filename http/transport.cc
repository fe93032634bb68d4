#include "http/transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "http/curl_share.h"
#include "http/wire_text.h"

namespace tavrel::transport {
namespace {

using wire::equal_ignoring_case;
using wire::trim_blanks;

// How often a waiting transfer checks whether it has stalled, in ms.
constexpr int kStallCheck = 100;

std::mutex limits_mutex;
Limits limits_in_force;

// The lines of a header block separated by CR LF (a bare LF is read too).
std::vector<std::string_view> header_lines(std::string_view block) {
  std::vector<std::string_view> lines;
  while (!block.empty()) {
    std::size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!trim_blanks(line).empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    block.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view header_name(std::string_view line) {
  std::size_t colon = line.find(':');
  return trim_blanks(colon == std::string_view::npos ? std::string_view() : line.substr(0, colon));
}

// The proxy entry of a proxy list that applies to scheme ("http" or "https"),
// or empty for a direct connection.
std::string proxy_for(std::string_view list, std::string_view scheme) {
  std::string any;
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = list.find_first_of(" ;", pos);
    if (end == std::string_view::npos) end = list.size();
    std::string_view entry = list.substr(pos, end - pos);
    pos = end + 1;
    if (entry.empty()) continue;
    std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      if (any.empty()) any = std::string(entry);
    } else if (equal_ignoring_case(entry.substr(0, eq), scheme)) {
      return std::string(entry.substr(eq + 1));
    }
  }
  return any;
}

}  // namespace

struct Request::Impl {
  CURL* easy = nullptr;
  std::string url;
  curl_slist* headers = nullptr;
  std::string verb;
  std::uint32_t flags = 0;
  Limits limits;

  std::string body;
  std::size_t read_pos = 0;
  std::string raw_headers;  // of the latest response seen
  bool headers_complete = false;

  curl_off_t last_bytes = -1;
  std::chrono::steady_clock::time_point last_progress;
  std::chrono::steady_clock::time_point sent_at;

  ~Impl() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (headers != nullptr) curl_slist_free_all(headers);
  }

  static size_t on_body(char* data, size_t size, size_t count, void* self) {
    auto* impl = static_cast<Impl*>(self);
    std::size_t n = size * count;
    if (impl->body.empty()) {
      // One allocation for a body of announced length, instead of growing
      // through every doubling up to it.
      curl_off_t announced = -1;
      curl_easy_getinfo(impl->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      if (announced > 0) {
        impl->body.reserve(static_cast<std::size_t>(
            std::min<curl_off_t>(announced, static_cast<curl_off_t>(impl->limits.max_body_bytes))));
      }
    }
    std::size_t room =
        impl->limits.max_body_bytes - std::min(impl->limits.max_body_bytes, impl->body.size());
    impl->body.append(data, std::min(n, room));
    return n <= room ? n : 0;  // a short count ends the transfer at the limit
  }

  static size_t on_header(char* data, size_t size, size_t count, void* self) {
    auto* impl = static_cast<Impl*>(self);
    std::size_t n = size * count;
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
      // A new response (after a redirect, an interim 1xx or a proxy's
      // CONNECT answer): only the last one counts.
      impl->raw_headers.clear();
      impl->headers_complete = false;
    }
    if (impl->headers_complete) return n;  // trailers
    impl->raw_headers.append(line);
    impl->raw_headers += "\r\n";
    if (line.empty()) impl->headers_complete = true;
    return n;
  }

  static int on_progress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* impl = static_cast<Impl*>(self);
    auto now = std::chrono::steady_clock::now();
    curl_off_t connected = 0;
    curl_easy_getinfo(impl->easy, CURLINFO_CONNECT_TIME_T, &connected);
    if (now - impl->sent_at > impl->limits.transfer_timeout) return 1;
    curl_off_t bytes = dlnow + ulnow;
    // Connecting is bounded by the connect timeout; the stall clock runs
    // from then on and restarts whenever a byte moves.
    if (connected == 0 || bytes != impl->last_bytes) {
      impl->last_bytes = bytes;
      impl->last_progress = now;
      return 0;
    }
    return now - impl->last_progress > impl->limits.stall_timeout ? 1 : 0;
  }
};

Request::Request(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Request::~Request() = default;

Limits set_limits(const Limits& limits) {
  std::lock_guard lock(limits_mutex);
  Limits previous = limits_in_force;
  limits_in_force = limits;
  return previous;
}

Limits current_limits() {
  std::lock_guard lock(limits_mutex);
  return limits_in_force;
}

SessionHandle internet_open(std::string_view agent, AccessType access,
                            std::string_view proxy_list) {
  curl_share::ensure_global_init();
  auto session = std::make_unique<Session>();
  // The agent name becomes one header line: a line break would start another.
  session->agent = std::string(agent.substr(0, agent.find_first_of("\r\n")));
  session->access = access;
  if (access == AccessType::proxy) session->proxy_list = std::string(proxy_list);
  return session;
}

ConnectionHandle internet_connect(const Session& session, std::string_view host, int port) {
  if (host.empty() || port < 1 || port > 65535) return nullptr;
  auto connection = std::make_unique<Connection>();
  connection->session = session;
  connection->host = std::string(host);
  connection->port = port;
  return connection;
}

RequestHandle http_open_request(const Connection& connection, std::string_view verb,
                                std::string_view object, std::string_view version,
                                std::uint32_t flags) {
  if (verb.empty() || verb.find_first_of(" \t\r\n") != std::string_view::npos) return nullptr;
  long http_version;
  if (version.empty() || version == "HTTP/1.1") {
    http_version = CURL_HTTP_VERSION_1_1;
  } else if (version == "HTTP/1.0") {
    http_version = CURL_HTTP_VERSION_1_0;
  } else {
    return nullptr;
  }

  auto impl = std::make_unique<Request::Impl>();
  impl->verb = std::string(verb);
  impl->flags = flags;
  impl->limits = current_limits();
  bool secure = (flags & kFlagSecure) != 0;

  // The host is checked on its own, so that it is taken as a host and nothing
  // else; a host the client cannot use fails here. The object goes on the
  // request line as given.
  CURLU* check = curl_url();
  if (check == nullptr) return nullptr;
  bool host_ok = curl_url_set(check, CURLUPART_HOST, connection.host.c_str(), 0) == CURLUE_OK;
  curl_url_cleanup(check);
  if (!host_ok) return nullptr;
  // Bytes that cannot stand in a request line are sent percent-encoded.
  std::string target = wire::percent_escape(object.empty() ? "/" : object, false);
  if (target.front() != '/') target = "/" + target;
  impl->url = std::string(secure ? "https://" : "http://") + connection.host + ":" +
              std::to_string(connection.port) + target;

  impl->easy = curl_easy_init();
  if (impl->easy == nullptr) return nullptr;
  CURL* easy = impl->easy;
  bool ok = true;
  auto set = [&](CURLoption option, auto value) {
    ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
  };
  set(CURLOPT_URL, impl->url.c_str());
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_FOLLOWLOCATION, (flags & kFlagNoAutoRedirect) ? 0L : 1L);
  set(CURLOPT_MAXREDIRS, kMaxRedirects);
  set(CURLOPT_HTTP_VERSION, http_version);
  if (!connection.session.agent.empty()) {
    set(CURLOPT_USERAGENT, connection.session.agent.c_str());
  }
  // An empty proxy means none, and keeps the environment's proxy variables
  // out of it; an explicit proxy is used for every host.
  std::string proxy = connection.session.access == AccessType::proxy
                          ? proxy_for(connection.session.proxy_list, secure ? "https" : "http")
                          : std::string();
  set(CURLOPT_PROXY, proxy.c_str());
  set(CURLOPT_NOPROXY, "");
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(impl->limits.connect_timeout.count()));
  set(CURLOPT_NOPROGRESS, 0L);
  set(CURLOPT_XFERINFOFUNCTION, &Request::Impl::on_progress);
  set(CURLOPT_XFERINFODATA, impl.get());
  set(CURLOPT_WRITEFUNCTION, &Request::Impl::on_body);
  set(CURLOPT_WRITEDATA, impl.get());
  set(CURLOPT_HEADERFUNCTION, &Request::Impl::on_header);
  set(CURLOPT_HEADERDATA, impl.get());
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  bool cookies = (flags & kFlagNoCookies) == 0;
  if (void* share = curl_share::handle(cookies)) set(CURLOPT_SHARE, share);
  if (cookies) set(CURLOPT_COOKIEFILE, "");
  if (!ok) return nullptr;
  return RequestHandle(new Request(std::move(impl)));
}

void http_send_request(Request& request, std::string_view headers, std::string_view body) {
  Request::Impl& impl = *request.impl_;
  CURL* easy = impl.easy;

  bool has_accept = false, has_content_type = false, has_expect = false, has_proxy_conn = false;
  for (std::string_view line : header_lines(headers)) {
    std::string_view name = header_name(line);
    has_accept = has_accept || equal_ignoring_case(name, "Accept");
    has_content_type = has_content_type || equal_ignoring_case(name, "Content-Type");
    has_expect = has_expect || equal_ignoring_case(name, "Expect");
    has_proxy_conn = has_proxy_conn || equal_ignoring_case(name, "Proxy-Connection");
    std::string entry(line);
    // "Name:" alone would tell the client to drop that header; "Name;" sends
    // it with an empty value, as written.
    if (!name.empty() && trim_blanks(line.substr(line.find(':') + 1)).empty()) {
      entry = std::string(name) + ";";
    }
    impl.headers = curl_slist_append(impl.headers, entry.c_str());
  }
  // The client adds none of its own headers besides Host and Content-Length.
  if (!has_accept) impl.headers = curl_slist_append(impl.headers, "Accept:");
  if (!has_content_type) impl.headers = curl_slist_append(impl.headers, "Content-Type:");
  if (!has_expect) impl.headers = curl_slist_append(impl.headers, "Expect:");
  if (!has_proxy_conn) impl.headers = curl_slist_append(impl.headers, "Proxy-Connection:");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, impl.headers);

  if (impl.verb == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (!body.empty() || impl.verb == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    if (impl.verb != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, impl.verb.c_str());
  } else if (impl.verb == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, impl.verb.c_str());
  }

  impl.last_progress = std::chrono::steady_clock::now();
  impl.sent_at = impl.last_progress;
  // The progress check runs at least every kStallCheck, not only when the
  // client's own timers fire.
  curl_share::perform(easy, kStallCheck);
}

std::size_t internet_query_data_available(const Request& request) {
  const Request::Impl& impl = *request.impl_;
  return impl.body.size() - impl.read_pos;
}

std::size_t internet_read_file(Request& request, std::uint8_t* buffer, std::size_t size) {
  Request::Impl& impl = *request.impl_;
  std::size_t n = std::min(size, impl.body.size() - impl.read_pos);
  if (n > 0) std::memcpy(buffer, impl.body.data() + impl.read_pos, n);
  impl.read_pos += n;
  return n;
}

std::string internet_take_body(Request& request) {
  Request::Impl& impl = *request.impl_;
  std::string rest = std::move(impl.body);
  rest.erase(0, impl.read_pos);
  impl.body.clear();
  impl.read_pos = 0;
  return rest;
}

bool http_query_raw_headers(Request& request, char* buffer, std::size_t& length) {
  Request::Impl& impl = *request.impl_;
  if (!impl.headers_complete) {
    length = 0;
    return false;
  }
  std::size_t needed = impl.raw_headers.size() + 1;
  if (needed > length) {
    length = needed;
    return false;
  }
  std::memcpy(buffer, impl.raw_headers.c_str(), needed);
  length = needed - 1;
  return true;
}

}  // namespace tavrel::transport
