// The text, byte-set and array primitives over arbitrary bytes and numbers.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "text/text.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int start = in.ConsumeIntegral<int>();
  const int count = in.ConsumeIntegral<int>();
  const bool flag = in.ConsumeBool();
  const std::string needle = in.ConsumeRandomLengthString(16);
  const std::string other = in.ConsumeRandomLengthString(16);
  const std::string t = in.ConsumeRemainingBytesAsString();
  const int length = text_length(t);
  check(length == static_cast<int>(text_from(t).size()));

  const int found = text_find(t, needle, start, flag);
  check(found == -1 || (found >= 1 && found <= length));
  const int last = text_find_last(t, needle, start, flag);
  check(last == -1 || (last >= 1 && last <= length));
  if (!flag && found != -1 && text_length(needle) > 0) {
    check(text_mid(t, found, text_length(needle)) == text_from(needle));
  }

  for (const Text& piece : text_split(t, needle, count)) check(!holds_zero(piece));
  (void)text_split(t, needle);
  const Text replaced = text_replace(t, needle, other, start, count, flag);
  check(!holds_zero(replaced));
  check(text_replace(t, needle, other, start, std::nullopt, flag).size() <= 16u * t.size() + 16);

  check(text_lower(t).size() == static_cast<std::size_t>(length));
  check(text_trim(t).size() <= static_cast<std::size_t>(length));
  check(text_strip_spaces(t).size() <= static_cast<std::size_t>(length));
  check(text_left(t, count).size() <= static_cast<std::size_t>(length));
  check(text_right(t, count).size() <= static_cast<std::size_t>(length));
  check(text_mid(t, start, count).size() <= static_cast<std::size_t>(length));
  check(text_compare(t, t) == 0);
  (void)text_compare(t, needle);
  check(text_concat(t, needle, other).size() ==
        static_cast<std::size_t>(length + text_length(needle) + text_length(other)));

  (void)text_to_int(t);
  (void)byte_to_hex(start);
  (void)number_to_text(start);
  double d = 0;
  if (t.size() >= sizeof d) {
    std::memcpy(&d, t.data(), sizeof d);
    (void)number_to_text(d);
  }
  check(char_from_code(static_cast<std::uint8_t>(count)).size() <= 1);
  check(blank_text(count % 4096).size() == static_cast<std::size_t>(std::max(0, count % 4096)));

  const ByteSet bytes(t.begin(), t.end());
  check(bytes_to_text(bytes) == text_from(t));
  check(bytes_length(text_to_bytes(t)) == length);
  check(bytes_equal(bytes_concat(bytes_left(bytes, start), ByteSet{}), bytes_left(bytes, start)));
  check(bytes_length(blank_bytes(count % 4096)) == std::max(0, count % 4096));

  TextArray a;
  array_append(a, t);
  check(array_count(a) == 1 && a[0] == text_from(t));
  (void)bit_or(start, count);
  return 0;
}
