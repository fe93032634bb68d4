#include "http/url.h"

#include <cstdint>
#include <utility>

namespace tavrel {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

bool is_scheme_char(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

// The position just after the "://" that ends the URL's scheme, or 1 when the
// URL does not begin with a scheme.
int after_scheme(std::string_view url) {
  const int sep = text_find(url, "://");
  if (sep <= 1) return 1;
  const Text scheme = text_left(url, sep - 1);
  for (const char c : scheme) {
    if (!is_scheme_char(static_cast<std::uint8_t>(c))) return 1;
  }
  return sep + 3;
}

Text drop_port(Text s, bool keep_port) {
  if (keep_port) return s;
  const int colon = text_find(s, ":");
  if (colon == -1) return s;
  return text_left(s, colon - 1);
}

Text host_by_scheme(Text s, bool domain_only) {
  if (text_right(s, 1) != "/") s = text_concat(s, "/");
  if (text_left(s, 8) == kHttps) {
    s = text_between(s, kHttps, "/");
  } else {
    if (text_find(s, kHttp) == -1) s = text_concat(kHttp, s);
    s = text_between(s, kHttp, "/");
  }
  if (domain_only) {
    const TextArray labels = text_split(s, ".");
    const int n = array_count(labels);
    if (n > 1) s = text_concat(labels[n - 2], ".", labels[n - 1]);
  }
  return s;
}

Text host_by_dots(Text s, bool domain_only, int dot_count) {
  s = text_replace(s, kHttp, "", 1, std::nullopt, true);
  s = text_replace(s, kHttps, "", 1, std::nullopt, true);
  const int slash = text_find(s, "/");
  if (slash != -1) s = text_left(s, slash - 1);

  const int length = text_length(s);
  int pos = length;
  // Every search moves pos left or makes it -1, where it stays; stopping
  // there gives the same result as going on dot_count times.
  for (int i = 0; i < dot_count && pos != -1; ++i) pos = text_find_last(s, ".", pos);
  const int q = text_find_last(s, ".", pos);

  if (domain_only) return text_right(s, length - q);
  if (q != -1) {
    const int r = text_find_last(s, ".", q);
    if (r != -1) s = text_right(s, length - r);
  }
  return s;
}

}  // namespace

Text text_between(std::string_view text, std::string_view before, std::string_view after, int start,
                  bool ignore_case) {
  const Text open = text_replace(before, kQuoteMarker, "\"", 1, std::nullopt, true);
  const Text close = text_replace(after, kQuoteMarker, "\"", 1, std::nullopt, true);

  int p = text_find(text, open, start, ignore_case);
  if (p != -1) p += text_length(open);
  const int q = text_find(text, close, p, ignore_case);
  if (p == -1 || q == -1) return {};
  return text_mid(text, p, q - p);
}

Text url_host(std::string_view url, bool domain_only, bool keep_port,
              std::optional<int> dot_count) {
  Text s = text_lower(url);
  s = dot_count ? host_by_dots(std::move(s), domain_only, *dot_count)
                : host_by_scheme(std::move(s), domain_only);
  return drop_port(std::move(s), keep_port);
}

int url_port(std::string_view url) {
  const Text host = url_host(url, false, true);
  const int colon = text_find_last(host, ":");
  if (colon != -1) return text_to_int(text_right(host, text_length(host) - colon));
  return text_left(text_lower(url), 5) == "https" ? 443 : 80;
}

Text url_path(std::string_view url) {
  const Text host = url_host(url);
  // Looking from after the scheme keeps a host that also occurs inside the
  // scheme ("t" in "http://t/a") from being found there.
  const int at = text_find(url, host, after_scheme(url), true);
  const int slash = text_find(url, "/", at, true);
  if (slash <= 0) return "/";
  return text_right(url, text_length(url) - slash + 1);
}

}  // namespace tavrel
