#include "http/fetch_page.h"

#include <cstdint>
#include <string>
#include <type_traits>

#include "http/cookies.h"
#include "http/transport.h"
#include "http/url.h"

namespace tavrel {
namespace {

constexpr int kReadStep = 1024;
constexpr int kRawHeaderBytes = 5000;

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True for a URL that may be requested: one that starts with http: or https:,
// or with no scheme at all ("host/path", "host:port/path"), and that holds no
// line break (which would end the Referer line early and start a header of
// its own).
bool is_requestable(std::string_view url) {
  if (url.find_first_of("\r\n") != std::string_view::npos) return false;
  std::size_t i = 0;
  if (url.empty() || !is_alpha(url[0])) return true;
  while (i < url.size() && (is_alpha(url[i]) || is_digit(url[i]) || url[i] == '+' ||
                            url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  if (i == url.size() || url[i] != ':') return true;
  // "host:" followed by a digit or by nothing is a host and port.
  if (i + 1 == url.size() || is_digit(url[i + 1])) return true;
  Text scheme = text_lower(url.substr(0, i));
  return scheme == "http" || scheme == "https";
}

// The whole request. Body is ByteSet for fetch_page and std::string for
// fetch_page_text, which so takes the page without a further copy.
template <typename Body>
Body fetch(PageRequest& r) {
  if (!is_requestable(r.url)) return {};
  const Text& url = r.url;

  // Method.
  int method = r.method;
  if (method < 0 || method > 2) method = 0;
  static constexpr const char* kVerbs[] = {"GET", "POST", "HEAD"};
  const char* verb = kVerbs[method];

  // Scheme.
  bool https = text_lower(text_left(url, 5)) == "https";

  // Agent name.
  Text agent;
  if (text_find(r.extra_headers, "User-Agent:", std::nullopt, true) != -1) {
    agent = text_trim(text_between(r.extra_headers, "User-Agent:", "\r\n"));
    if (agent.empty()) agent = header_value(r.extra_headers);
  } else {
    agent = Text(kDefaultUserAgent);
  }

  // Root handle.
  transport::SessionHandle session;
  if (r.proxy.empty()) {
    session = transport::internet_open(agent, transport::AccessType::direct, {});
  } else {
    session = transport::internet_open(agent, transport::AccessType::proxy,
                                       https ? r.proxy : text_concat("http=", r.proxy));
  }
  if (!session) return {};

  // Connection.
  transport::ConnectionHandle connection =
      transport::internet_connect(*session, url_host(url), url_port(url));
  if (!connection) return {};

  // Flag word.
  int flags = bit_or(transport::kFlagReload, transport::kFlagNeedFile);
  if (r.cookie) flags = bit_or(flags, transport::kFlagNoCookies);
  if (r.no_redirect) flags = bit_or(flags, transport::kFlagNoAutoRedirect);
  flags = bit_or(flags, https ? transport::kFlagSecure : transport::kFlagIgnoreRedirectToHttps);

  // Request.
  transport::RequestHandle request = transport::http_open_request(
      *connection, verb, url_path(url), "HTTP/1.1", static_cast<std::uint32_t>(flags));
  if (!request) return {};

  // Header block, built in the caller's extra_headers.
  Text& block = r.extra_headers;
  if (block.empty()) {
    block = "Accept: */*";
  } else if (text_find(block, "Accept:") == -1) {
    block = text_concat(block, "\r\n", "Accept: */*");
  }
  if (text_find(block, "Referer:") == -1) block = text_concat(block, "\r\n", "Referer: ", url);
  if (text_find(block, "Accept-Language:") == -1) {
    block = text_concat(block, "\r\n", "Accept-Language: zh-cn");
  }
  if (text_find(block, "Content-Type:") == -1) {
    block = text_concat(block, "\r\n", "Content-Type: application/x-www-form-urlencoded");
  }
  if (r.cookie && !r.cookie->empty()) block = text_concat(block, "\r\n", "Cookie: ", *r.cookie);

  // Send.
  if (method == 0) {
    transport::http_send_request(*request, block, {});
  } else {
    if (r.post_bytes.empty()) r.post_bytes = text_to_bytes(r.post_text);
    transport::http_send_request(
        *request, block,
        std::string_view(reinterpret_cast<const char*>(r.post_bytes.data()), r.post_bytes.size()));
  }

  // Body. A page text takes the body over as it arrived; bytes are read in
  // steps straight onto the end of the set. The room for one more step is
  // reserved with the rest, so the last, empty read moves nothing.
  Body body;
  if constexpr (std::is_same_v<Body, std::string>) {
    body = transport::internet_take_body(*request);
  } else {
    body.reserve(transport::internet_query_data_available(*request) + kReadStep);
    while (true) {
      const std::size_t held = body.size();
      body.resize(held + kReadStep);
      const std::size_t count =
          transport::internet_read_file(*request, body.data() + held, kReadStep);
      body.resize(held + count);
      if (count == 0) break;
    }
  }

  // Raw headers: written over 5000 prepared spaces when they fit.
  Text raw = blank_text(kRawHeaderBytes);
  std::size_t length = raw.size();
  if (transport::http_query_raw_headers(*request, raw.data(), length)) raw = text_from(raw);
  r.raw_headers = normalize_set_cookie(raw);

  // Close the request, the connection and the root handle.
  request.reset();
  connection.reset();
  session.reset();

  // Returned cookies.
  r.returned_cookies = returned_cookies_from(r.raw_headers);

  // Cookie merge.
  if (r.cookie) merge_cookies(*r.cookie, r.returned_cookies);

  // The result is the body.
  return body;
}

}  // namespace

ByteSet fetch_page(PageRequest& request) {
  try {
    return fetch<ByteSet>(request);
  } catch (...) {
    // Only running out of memory gets here; it ends the call like any failure.
    return {};
  }
}

Text fetch_page_text(std::string_view url) {
  PageRequest request;
  request.url = text_from(url);
  try {
    Text body = fetch<std::string>(request);
    body.resize(static_cast<std::size_t>(text_length(body)));  // up to its first zero byte
    return body;
  } catch (...) {
    return {};
  }
}

Text header_value(std::string_view header) {
  int colon = text_find(header, ":");
  if (colon == -1) return {};
  return text_trim(text_mid(header, colon + 1, text_length(header) - colon));
}

Text normalize_set_cookie(std::string_view raw_headers) {
  return text_replace(raw_headers, "Set-Cookie", "Set-Cookie", 1, std::nullopt, false);
}

Text returned_cookies_from(std::string_view raw_headers) {
  TextArray lines = text_split(raw_headers, "\r\n");
  Text cookies;
  for (const Text& line : lines) {
    if (text_find(line, "Set-Cookie") == -1) continue;
    Text value;
    if (text_find(line, ";") != -1) {
      value = text_trim(text_between(line, "Set-Cookie:", ";"));
    } else {
      value = text_trim(text_replace(line, "Set-Cookie:", "", 1, std::nullopt, false));
    }
    cookies = text_concat(cookies, value, "; ");
  }
  return text_left(cookies, text_length(cookies) - 2);
}

}  // namespace tavrel
