// One complete HTTP or HTTPS page request.
//
// fetch_page takes its ten parameters as the members of a PageRequest that
// the caller owns and passes by reference: the caller sets the inputs it
// wants (the rest keep their defaults, which stand for "omitted") and reads
// the outputs back from the same object afterwards.
//
//   PageRequest r{.url = "http://example.invalid/", .method = 1, .post_text = "a=1"};
//   ByteSet body = fetch_page(r);   // r.raw_headers, r.returned_cookies, ...
//
// When the request cannot be set up at all (a URL of another scheme than
// http or https, a host or port that cannot be used), the result is empty and
// no member is changed. Otherwise failures show only as an empty or partial
// body and missing headers; error pages are returned like any page. Nothing
// throws.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace tavrel {

inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

struct PageRequest {
  // in: the page; an "https" start (any letter case) makes it HTTPS.
  Text url;
  // in: 0 GET, 1 POST, 2 HEAD; any other value is GET.
  int method = 0;
  // in: the body as text, used when post_bytes is empty and the method is POST.
  Text post_text;
  // in and out. Absent: the process-wide cookie store sends and keeps cookies.
  // Present (even empty): the store is neither used nor changed, the text is
  // sent as the Cookie header when not empty, and afterwards holds it merged
  // with the cookies the response set (merge_cookies).
  std::optional<Text> cookie;
  // out: the cookies the final response set, "a=1; b=2" (without spaces when
  // cookie is present).
  Text returned_cookies;
  // in and out: extra header lines separated by CR LF; afterwards the whole
  // header block that was sent (the default lines added).
  Text extra_headers;
  // out: the final response's status line and header lines, each ended by
  // CR LF, and the empty line; 5000 spaces when the block does not fit in
  // 5000 bytes (with its terminating zero) or no response came.
  Text raw_headers;
  // in: true returns a redirect answer itself instead of following it.
  bool no_redirect = false;
  // in and out: the body as bytes; when empty and the method is not GET it
  // receives the bytes of post_text. POST sends it; HEAD never sends a body.
  ByteSet post_bytes;
  // in: "host[:port]" of an HTTP proxy; empty for a direct connection (the
  // environment's proxy settings are never used).
  Text proxy;
};

ByteSet fetch_page(PageRequest& request);

// The body of a GET of url with every option omitted, up to its first zero
// byte, in whatever encoding the server sent.
Text fetch_page_text(std::string_view url);

// raw_headers with every "Set-Cookie", in any letter case, written
// "Set-Cookie".
Text normalize_set_cookie(std::string_view raw_headers);

// The cookies the Set-Cookie lines of a raw header block set, "a=1; b=2": of
// each line the text after "Set-Cookie:" up to its first ";", trimmed.
Text returned_cookies_from(std::string_view raw_headers);

// Everything after the first ":" of a header text, trimmed of spaces; empty
// when there is no ":".
Text header_value(std::string_view header);

}  // namespace tavrel
