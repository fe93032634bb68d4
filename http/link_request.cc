#include "http/link_request.h"

#include <curl/curl.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "http/curl_share.h"
#include "http/wire_text.h"
#include "text/codepage.h"

namespace tavrel {
namespace {

using Clock = std::chrono::steady_clock;
using wire::equal_ignoring_case;
using wire::is_ascii;
using wire::starts_with_ignoring_case;
using wire::trim_blanks;

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
// An answer whose header block grows beyond this is treated as no answer.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr long kMaxRedirects = 10;
// How often a waiting request checks its time limits, in ms.
constexpr int kTimeoutCheckMs = 100;

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

CurlEasy new_easy_handle() {
  curl_share::ensure_global_init();
  return CurlEasy(curl_easy_init());
}

// The link as libcurl takes it: non-ASCII characters in UTF-8, and every byte
// that may not stand in a URL as written percent-escaped.
std::string wire_url(std::string_view link) {
  if (is_ascii(link)) return wire::percent_escape(link, true);
  return wire::percent_escape(gbk_to_utf8(link), true);
}

}  // namespace

struct LinkRequest::Impl {
  // Settings.
  int resolve_ms = 0;
  int connect_ms = 0;
  int send_ms = 0;
  int receive_ms = 0;
  bool follow_redirects = true;
  bool opened = false;
  std::string url;

  // The answer.
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;

  // Transfer state, valid during send().
  int pending_status = 0;
  bool headers_complete = false;
  std::size_t header_bytes = 0;
  Clock::time_point started;
  Clock::time_point sent_at;       // when the request was seen fully written
  Clock::time_point last_data_at;  // when the last bytes of the answer arrived
  bool seen_connected = false;
  bool seen_sent = false;
  Clock::time_point connected_at;
  CURL* handle = nullptr;

  void reset_answer() {
    status = 0;
    headers.clear();
    pending_status = 0;
    headers_complete = false;
    header_bytes = 0;
    seen_connected = false;
    seen_sent = false;
  }

  static size_t on_header(char* data, size_t size, size_t count, void* user);
  static size_t on_body(char* data, size_t size, size_t count, void* user);
  static int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  bool out_of_time(CURL* handle);
};

size_t LinkRequest::Impl::on_header(char* data, size_t size, size_t count, void* user) {
  auto& self = *static_cast<Impl*>(user);
  const size_t n = size * count;
  self.last_data_at = Clock::now();
  self.header_bytes += n;
  if (self.header_bytes > kMaxHeaderBytes) return 0;  // aborts the transfer
  const std::string_view line(data, n);
  if (line.starts_with("HTTP/")) {
    // A new answer begins (after an interim 1xx one, or a followed redirect).
    self.headers.clear();
    self.headers_complete = false;
    self.pending_status = 0;
    const auto space = line.find(' ');
    if (space != std::string_view::npos) {
      int code = 0;
      std::size_t i = space + 1;
      for (int digits = 0; digits < 3 && i < line.size(); ++digits, ++i) {
        if (line[i] < '0' || line[i] > '9') {
          code = 0;
          break;
        }
        code = code * 10 + (line[i] - '0');
      }
      self.pending_status = code;
    }
    return n;
  }
  if (trim_blanks(line).empty()) {
    if (self.pending_status >= 200) self.headers_complete = true;
    return n;
  }
  const auto colon = line.find(':');
  if (colon != std::string_view::npos) {
    self.headers.emplace_back(std::string(trim_blanks(line.substr(0, colon))),
                              std::string(trim_blanks(line.substr(colon + 1))));
  }
  return n;
}

size_t LinkRequest::Impl::on_body(char*, size_t, size_t, void*) {
  // The body is not wanted: its first bytes end the transfer. (libcurl reads
  // the body of a redirect it follows itself, without passing it here.)
  return 0;
}

bool LinkRequest::Impl::out_of_time(CURL* h) {
  const auto now = Clock::now();
  auto over = [&](Clock::time_point since, int limit_ms) {
    return limit_ms > 0 && now - since > std::chrono::milliseconds(limit_ms);
  };
  // An answer that keeps coming a little at a time must not hold the request
  // for ever: with every limit set, the whole request gets their sum.
  if (resolve_ms > 0 && connect_ms > 0 && send_ms > 0 && receive_ms > 0 &&
      over(started, resolve_ms + connect_ms + send_ms + receive_ms)) {
    return true;
  }
  if (!seen_connected) {
    curl_off_t connect_us = 0;
    curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connect_us);
    if (connect_us > 0) {
      seen_connected = true;
      connected_at = now;
    } else {
      curl_off_t lookup_us = 0;
      curl_easy_getinfo(h, CURLINFO_NAMELOOKUP_TIME_T, &lookup_us);
      if (lookup_us == 0) return over(started, resolve_ms);
      return over(started + std::chrono::microseconds(lookup_us), connect_ms);
    }
  }
  // Connected, the request not yet written (this includes a TLS handshake).
  if (!seen_sent) {
    long request_bytes = 0;
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &request_bytes);
    if (request_bytes > 0) {
      seen_sent = true;
      sent_at = now;
    } else {
      return over(connected_at, send_ms);
    }
  }
  return over(last_data_at > sent_at ? last_data_at : sent_at, receive_ms);
}

int LinkRequest::Impl::on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& self = *static_cast<Impl*>(user);
  // Once the final answer's headers are in, nothing more is needed from it.
  if (self.headers_complete && !self.follow_redirects) return 1;
  return self.out_of_time(self.handle) ? 1 : 0;
}

LinkRequest::LinkRequest() : impl_(std::make_unique<Impl>()) {}
LinkRequest::~LinkRequest() = default;

void LinkRequest::SetTimeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  impl_->resolve_ms = resolve_ms;
  impl_->connect_ms = connect_ms;
  impl_->send_ms = send_ms;
  impl_->receive_ms = receive_ms;
}

void LinkRequest::Option(int index, int value) {
  if (index == kOptionEnableRedirects) impl_->follow_redirects = value != 0;
}

void LinkRequest::open(std::string_view verb, std::string_view url, bool async) {
  impl_->reset_answer();
  const std::string_view link = std::string_view(url).substr(0, url.find('\0'));
  impl_->opened =
      verb == "GET" && !async &&
      (starts_with_ignoring_case(link, "http://") || starts_with_ignoring_case(link, "https://"));
  impl_->url = impl_->opened ? wire_url(link) : std::string();
}

void LinkRequest::send() {
  Impl& s = *impl_;
  s.reset_answer();
  if (!s.opened) return;
  CurlEasy easy = new_easy_handle();
  if (!easy) return;
  CURL* h = easy.get();
  s.handle = h;
  curl_easy_setopt(h, CURLOPT_URL, s.url.c_str());
  // Resolved names are shared with other requests; cookies are not.
  if (void* share = curl_share::handle(false)) curl_easy_setopt(h, CURLOPT_SHARE, share);
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(h, CURLOPT_PROXY, "");  // ignore proxies named in the environment
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, s.follow_redirects ? 1L : 0L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  if (s.resolve_ms > 0 && s.connect_ms > 0) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s.resolve_ms + s.connect_ms));
  }
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::on_header);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &s);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::on_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Impl::on_progress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &s);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

  s.started = Clock::now();
  s.last_data_at = s.started;
  // The outcome shows in what the header callback saw.
  curl_share::perform(h, kTimeoutCheckMs);
  s.handle = nullptr;
  if (s.headers_complete) {
    s.status = s.pending_status;
  } else {
    s.headers.clear();
  }
}

int LinkRequest::status() const { return impl_->status; }

Text LinkRequest::GetResponseHeader(std::string_view name) const {
  if (impl_->status == 0) return {};
  for (const auto& [header, value] : impl_->headers) {
    if (!equal_ignoring_case(header, name)) continue;
    if (is_ascii(value)) return text_from(value);
    return utf16_to_gbk(ansi_to_utf16(value, kCodePageUtf8));
  }
  return {};
}

}  // namespace tavrel
