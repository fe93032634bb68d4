// Keyword encoding over arbitrary bytes: the term is plain ASCII, and without
// the UTF-8 step it decodes back to the keyword.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "harvest/query_term.h"

namespace {

using namespace tavrel;

int hex_value(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool keep_unreserved = in.ConsumeBool();
  const bool to_utf8 = in.ConsumeBool();
  const std::string keyword = in.ConsumeRemainingBytesAsString();

  const Text term = encode_query_term(keyword, keep_unreserved, to_utf8);
  for (const char c : term) {
    const bool escape_char = c == '%' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    check(keep_unreserved ? c > 0x20 && c < 0x7F && c != '+' : escape_char);
  }
  if (to_utf8) return 0;

  std::string decoded;
  for (std::size_t i = 0; i < term.size(); ++i) {
    if (term[i] != '%') {
      check(keep_unreserved);
      decoded += term[i];
      continue;
    }
    check(i + 2 < term.size());
    decoded += static_cast<char>(hex_value(term[i + 1]) * 16 + hex_value(term[i + 2]));
    i += 2;
  }
  check(decoded == text_from(keyword));
  return 0;
}
