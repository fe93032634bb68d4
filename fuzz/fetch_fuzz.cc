// The page request's handling of a received header block: the Set-Cookie
// spelling, the returned cookies, the merge into the caller's cookie text and
// header_value, over arbitrary header blocks.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "http/cookies.h"
#include "http/fetch_page.h"

namespace {

using namespace tavrel;

constexpr std::string_view kSetCookie = "Set-Cookie";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Text prior = text_from(in.ConsumeRandomLengthString(256));
  // The block as the request keeps it: cut at its first zero byte.
  const Text raw = text_from(in.ConsumeRemainingBytesAsString());

  const Text headers = normalize_set_cookie(raw);
  check(headers.size() == raw.size());
  check(text_lower(headers) == text_lower(raw));
  check(normalize_set_cookie(headers) == headers);
  // Every spelling of the name now reads the same.
  for (int at = text_find(headers, kSetCookie, 1, true); at != -1;
       at = text_find(headers, kSetCookie, at + 1, true)) {
    check(text_mid(headers, at, text_length(kSetCookie)) == kSetCookie);
  }

  const Text returned = returned_cookies_from(headers);
  check(!holds_zero(returned));
  check(returned.size() <= headers.size());

  for (const Text& line : text_split(headers, "\r\n")) {
    const Text value = header_value(line);
    check(value.size() <= line.size());
    check(text_trim(value) == value);
  }

  Text cookie = prior;
  Text new_cookies = returned;
  const Text merged = merge_cookies(cookie, new_cookies);
  check(merged == cookie);
  check(new_cookies == text_strip_spaces(returned));
  check(!holds_zero(merged));
  check(merged.size() <= 3 * (prior.size() + returned.size()) + 4);
  TextArray seen;
  for (const Text& item : text_split(merged, "; ")) {
    check(index_of_text(seen, item) == -1);
    array_append(seen, item);
  }
  return 0;
}
