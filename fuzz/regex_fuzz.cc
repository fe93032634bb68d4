// RegexObject over arbitrary subjects: mostly with the harvest's result
// pattern, otherwise with options and a short pattern taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "regex/regex_object.h"

namespace {

using namespace tavrel;

// The pattern the harvest reads result links with.
constexpr char kResultPattern[] = R"re(\{"title":".*?","url":"(.*?)"\}'>)re";

// A text handed back with a position stands at that place in the subject's
// bytes; without one it is not placed at all.
void check_placed(const Text& subject, const Text& text, int position) {
  check(!holds_zero(text));
  if (position == -1) return;
  check(position >= 1 && static_cast<std::size_t>(position) <= subject.size() + 1);
  check(subject.compare(static_cast<std::size_t>(position - 1), text.size(), text) == 0);
}

void read_all(const RegexObject& re, const Text& subject) {
  const int count = re.match_count();
  check(count >= 0);
  const int groups = re.submatch_count();
  check(groups >= 0);
  if (count == 0) check(groups == 0);
  for (int k = 1; k <= count; ++k) {
    int position = 0;
    const Text match = re.match_text(k, &position);
    check_placed(subject, match, position);
    for (int n = 1; n <= groups; ++n) {
      const Text group = re.submatch_text(k, n, &position);
      check_placed(subject, group, position);
    }
  }
  // Out of range: the empty text, no place.
  int position = 0;
  check(re.match_text(count + 1, &position).empty() && position == -1);
  check(re.submatch_text(1, groups + 1).empty());
  check(re.match_text(0).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
  RegexObject re;

  if (mode < 192) {
    // The harvest's use: every option omitted, the link of every match read.
    const Text subject = text_from(in.ConsumeRemainingBytesAsString());
    check(re.create(kResultPattern, subject));
    const int count = re.match_count();
    if (count > 0) check(re.submatch_count() == 1);
    for (int k = 1; k <= count; ++k) {
      const Text link = re.submatch_text(k, 1);
      check(!holds_zero(link));
      const Text match = re.match_text(k);
      check(link.size() < match.size());
    }
    read_all(re, subject);
    return 0;
  }

  const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
  const std::string pattern = in.ConsumeRandomLengthString(48);
  const std::string replacement = in.ConsumeRandomLengthString(16);
  const Text subject = text_from(in.ConsumeRemainingBytesAsString());
  auto option = [flags](int bit) -> std::optional<bool> {
    if (!(flags & (1 << (2 * bit)))) return std::nullopt;
    return (flags & (2 << (2 * bit))) != 0;
  };
  const bool ran = re.create(pattern, subject, option(0), option(1), option(2), (flags & 64) != 0);
  check(!holds_zero(re.pattern_text()));
  read_all(re, subject);
  const Text replaced = re.replace(replacement);
  check(!holds_zero(replaced));
  if (!ran) check(replaced.empty() && re.match_count() == 0);
  return 0;
}
