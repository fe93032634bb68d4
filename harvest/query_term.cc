#include "harvest/query_term.h"

#include <cstddef>

#include "text/codepage.h"

namespace tavrel {

namespace {

// "-", "." and 0-9 (0x2D..0x39 without "/"), A-Z and a-z: 64 values.
bool is_kept(std::uint8_t b) {
  return (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 0x41 && b <= 0x5A) ||
         (b >= 0x61 && b <= 0x7A);
}

}  // namespace

Text encode_query_term(std::string_view keyword, bool keep_unreserved, bool to_utf8) {
  if (text_length(keyword) == 0) return {};

  const ByteSet bytes = to_utf8 ? text_to_bytes(gbk_to_utf8(keyword)) : text_to_bytes(keyword);
  const int count = bytes_length(bytes);

  Text result;
  result.reserve(static_cast<std::size_t>(count) * 3);
  for (int i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[static_cast<std::size_t>(i)];
    if (keep_unreserved && is_kept(b)) {
      result.append(char_from_code(b));
      continue;
    }
    const Text hex = byte_to_hex(b);
    result.push_back('%');
    if (text_length(hex) == 1) result.push_back('0');
    result.append(hex);
  }
  return result;
}

}  // namespace tavrel
