// The cookie merge over arbitrary pairs of cookie texts.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "http/cookies.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string separator = in.ConsumeRandomLengthString(4);
  const std::string first = in.ConsumeRandomLengthString(size);
  const std::string second = in.ConsumeRemainingBytesAsString();

  Text cookie = first;
  Text new_cookies = second;
  const Text merged = merge_cookies(cookie, new_cookies);
  check(merged == cookie);
  check(new_cookies == text_strip_spaces(second));
  check(merged.find('\0') == Text::npos);

  const TextArray items = text_split(first, ";");
  for (const Text& item : items) check(has_cookie_name(items, cookie_name(item)));
  const Text joined = join_unique(second, separator);
  check(joined.size() <= text_from(second).size());
  if (!items.empty()) check(index_of_text(items, items.back()) >= 1);
  return 0;
}
