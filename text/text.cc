#include "text/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrel {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The bytes of a Text argument: everything before its first zero byte.
std::string_view view(std::string_view s) {
  if (s.empty()) return s;
  const void* zero = std::memchr(s.data(), 0, s.size());
  if (zero == nullptr) return s;
  return s.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - s.data()));
}

const unsigned char* bytes_of(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

bool is_lead(unsigned char c) { return c >= 0x80; }

constexpr unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

constexpr std::array<unsigned char, 256> make_fold_table() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = fold(static_cast<unsigned char>(i));
  return table;
}
constexpr std::array<unsigned char, 256> kFold = make_fold_table();

#if defined(__SSE2__)
// Sixteen bytes with A..Z mapped onto a..z. Bytes >= 0x80 are negative as
// signed bytes, so they never fall in A..Z.
__m128i fold16(__m128i v) {
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)),
                                      _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
  return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

bool equal_folded(const unsigned char* a, const unsigned char* b, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i x = fold16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)));
    const __m128i y = fold16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) != 0xFFFF) return false;
  }
#endif
  for (; i < n; ++i) {
    if (kFold[a[i]] != kFold[b[i]]) return false;
  }
  return true;
}

bool equal_at(const unsigned char* a, const unsigned char* b, std::size_t n, bool ignore_case) {
  return ignore_case ? equal_folded(a, b, n) : std::memcmp(a, b, n) == 0;
}

// Index of the first byte >= 0x80 in [from, to), or `to` when there is none.
std::size_t first_high(const unsigned char* t, std::size_t from, std::size_t to) {
  std::size_t i = from;
#if defined(__SSE2__)
  for (; i + 16 <= to; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    const int mask = _mm_movemask_epi8(v);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  for (; i < to; ++i) {
    if (is_lead(t[i])) return i;
  }
  return to;
}

// Walks character by character from the boundary b towards c and returns the
// first boundary at or after c. Stretches without lead bytes are skipped whole.
std::size_t advance_boundary(const unsigned char* t, std::size_t b, std::size_t c) {
  while (b < c) {
    const std::size_t h = first_high(t, b, c);
    if (h == c) return c;
    b = h + 2;
  }
  return b;
}

// Position of the first occurrence of needle in t[0, len) that starts at or
// after scan on a character boundary, counting characters from scan; npos
// when there is none. needle must not be empty.
std::size_t find_from(const unsigned char* t, std::size_t len, std::size_t scan,
                      std::string_view needle, bool ignore_case) {
  const std::size_t n = needle.size();
  if (n == 0 || n > len || scan > len - n) return npos;
  const unsigned char* nd = bytes_of(needle);
  const std::size_t last = len - n;  // the last position a match can start at
  std::size_t boundary = scan;

  // Checks a candidate whose first and last bytes already match.
  auto accept = [&](std::size_t c) {
    if (n > 2 && !equal_at(t + c + 1, nd + 1, n - 2, ignore_case)) return false;
    boundary = advance_boundary(t, boundary, c);
    return boundary == c;
  };

  const unsigned char first = ignore_case ? kFold[nd[0]] : nd[0];
  const unsigned char final_byte = ignore_case ? kFold[nd[n - 1]] : nd[n - 1];
  std::size_t i = scan;
#if defined(__SSE2__)
  // Sixteen candidate positions at a time: keep those whose first and last
  // bytes match the needle's, then check the rest of them one by one.
  const __m128i want_first = _mm_set1_epi8(static_cast<char>(first));
  const __m128i want_last = _mm_set1_epi8(static_cast<char>(final_byte));
  for (; last >= 15 && i <= last - 15; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + n - 1));
    if (ignore_case) {
      a = fold16(a);
      b = fold16(b);
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(a, want_first), _mm_cmpeq_epi8(b, want_last))));
    while (mask != 0) {
      const std::size_t c = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (accept(c)) return c;
      mask &= mask - 1;
    }
  }
#endif
  if (!ignore_case) {
    while (i <= last) {
      const void* hit = std::memchr(t + i, first, last - i + 1);
      if (hit == nullptr) break;
      const std::size_t c = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - t);
      if (t[c + n - 1] == final_byte && accept(c)) return c;
      i = c + 1;
    }
    return npos;
  }
  for (; i <= last; ++i) {
    if (kFold[t[i]] == first && kFold[t[i + n - 1]] == final_byte && accept(i)) return i;
  }
  return npos;
}

// Width of the character starting at i: 2 for a lead byte, else 1. May step
// past the end when a lead byte is the last byte.
std::size_t char_width(const unsigned char* t, std::size_t i) { return is_lead(t[i]) ? 2 : 1; }

// Width of the space character at i (0x20 or A1 A1), or 0 when there is none.
std::size_t space_width(const unsigned char* t, std::size_t len, std::size_t i) {
  if (t[i] == 0x20) return 1;
  if (t[i] == 0xA1 && i + 1 < len && t[i + 1] == 0xA1) return 2;
  return 0;
}

// Clamps an int count to [0, limit].
std::size_t clamp_count(int n, std::size_t limit) {
  if (n <= 0) return 0;
  return std::min(static_cast<std::size_t>(n), limit);
}

template <typename T>
Text format_number(T x, auto... format) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, x, format...);
  return Text(buf, result.ptr);
}

}  // namespace

Text text_from(std::string_view bytes) { return Text(view(bytes)); }

// --- Text primitives -------------------------------------------------------

int text_length(std::string_view t) { return static_cast<int>(view(t).size()); }

Text text_left(std::string_view t, int n) {
  t = view(t);
  return Text(t.substr(0, clamp_count(n, t.size())));
}

Text text_right(std::string_view t, int n) {
  t = view(t);
  const std::size_t k = clamp_count(n, t.size());
  return Text(t.substr(t.size() - k));
}

Text text_mid(std::string_view t, int start, int n) {
  t = view(t);
  if (start < 1 || static_cast<std::size_t>(start) > t.size() || n <= 0) return {};
  const std::size_t from = static_cast<std::size_t>(start) - 1;
  return Text(t.substr(from, clamp_count(n, t.size() - from)));
}

int text_find(std::string_view t, std::string_view needle, std::optional<int> start,
              bool ignore_case) {
  t = view(t);
  needle = view(needle);
  std::size_t from = 0;
  if (start && *start > 1) {
    if (static_cast<std::size_t>(*start) > t.size()) return -1;
    from = static_cast<std::size_t>(*start) - 1;
  }
  if (from >= t.size()) return -1;
  if (needle.empty()) return 1;
  const std::size_t pos = find_from(bytes_of(t), t.size(), from, needle, ignore_case);
  return pos == npos ? -1 : static_cast<int>(pos) + 1;
}

int text_find_last(std::string_view t, std::string_view needle, std::optional<int> start,
                   bool ignore_case) {
  t = view(t);
  needle = view(needle);
  std::size_t end = t.size();
  if (start) {
    if (*start <= 1) return -1;
    end = std::min(end, static_cast<std::size_t>(*start) - 1);
  }
  if (end == 0) return -1;
  if (needle.empty()) return 1;
  const unsigned char* p = bytes_of(t);
  std::size_t found = npos;
  std::size_t scan = 0;
  for (;;) {
    const std::size_t pos = find_from(p, end, scan, needle, ignore_case);
    if (pos == npos) break;
    found = pos;
    scan = pos + char_width(p, pos);  // overlapping occurrences count
  }
  return found == npos ? -1 : static_cast<int>(found) + 1;
}

TextArray text_split(std::string_view t, std::string_view separator, std::optional<int> max_count) {
  t = view(t);
  separator = view(separator);
  TextArray pieces;
  if (t.empty() || (max_count && *max_count <= 0)) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(t);
    return pieces;
  }
  const unsigned char* p = bytes_of(t);
  std::size_t piece = 0;
  for (;;) {
    const std::size_t pos = find_from(p, t.size(), piece, separator, false);
    if (pos == npos) break;
    pieces.emplace_back(t.substr(piece, pos - piece));
    piece = pos + separator.size();
    if (max_count && pieces.size() == static_cast<std::size_t>(*max_count)) return pieces;
  }
  if (piece < t.size()) pieces.emplace_back(t.substr(piece));
  return pieces;
}

Text text_replace(std::string_view t, std::string_view old, std::string_view new_text, int start,
                  std::optional<int> count, bool case_sensitive) {
  t = view(t);
  old = view(old);
  new_text = view(new_text);
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (t.empty() || old.empty() || from >= t.size() || (count && *count == 0)) return Text(t);

  const unsigned char* p = bytes_of(t);
  Text out;
  out.reserve(t.size());
  out.append(t.substr(0, from));
  std::size_t scan = from;
  long long done = 0;
  for (;;) {
    const std::size_t pos = find_from(p, t.size(), scan, old, !case_sensitive);
    if (pos == npos) break;
    out.append(t.substr(scan, pos - scan));
    out.append(new_text);
    scan = pos + old.size();
    if (count && ++done == *count) break;
  }
  out.append(t.substr(scan));
  return out;
}

Text text_trim(std::string_view t) {
  t = view(t);
  const unsigned char* p = bytes_of(t);
  const std::size_t len = t.size();
  std::size_t begin = 0;
  while (begin < len) {
    const std::size_t w = space_width(p, len, begin);
    if (w == 0) break;
    begin += w;
  }
  // The end is where the last run of spaces begins, if that run reaches the
  // end of the text. Only a forward walk knows which bytes are trail bytes.
  std::size_t end = len;
  std::size_t run = npos;
  for (std::size_t i = begin; i < len;) {
    const std::size_t w = space_width(p, len, i);
    if (w != 0) {
      if (run == npos) run = i;
      i += w;
    } else {
      run = npos;
      i += char_width(p, i);
    }
  }
  if (run != npos) end = run;
  return Text(t.substr(begin, end - begin));
}

Text text_strip_spaces(std::string_view t) {
  t = view(t);
  const unsigned char* p = bytes_of(t);
  const std::size_t len = t.size();
  Text out;
  out.reserve(len);
  for (std::size_t i = 0; i < len;) {
    const std::size_t w = space_width(p, len, i);
    if (w != 0) {
      i += w;
      continue;
    }
    const std::size_t cw = std::min(char_width(p, i), len - i);
    out.append(t.substr(i, cw));
    i += cw;
  }
  return out;
}

Text text_lower(std::string_view t) {
  t = view(t);
  Text out(t);
  for (std::size_t i = 0; i < out.size();) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (is_lead(c)) {
      i += 2;  // the trail byte stays as it is
    } else {
      out[i] = static_cast<char>(fold(c));
      ++i;
    }
  }
  return out;
}

Text text_concat(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (std::string_view part : parts) total += view(part).size();
  Text out;
  out.reserve(total);
  for (std::string_view part : parts) out.append(view(part));
  return out;
}

int text_compare(std::string_view x, std::string_view y) {
  x = view(x);
  y = view(y);
  const std::size_t common = std::min(x.size(), y.size());
  const int c = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

Text char_from_code(std::uint8_t code) {
  if (code == 0) return {};
  return Text(1, static_cast<char>(code));
}

Text byte_to_hex(int v) {
  Text hex = format_number(static_cast<std::uint32_t>(v), 16);
  for (char& c : hex) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return hex;
}

Text number_to_text(int x) { return format_number(x); }

Text number_to_text(double x) { return format_number(x, std::chars_format::general, 13); }

int text_to_int(std::string_view t) {
  t = view(t);
  const unsigned char* p = bytes_of(t);
  const std::size_t len = t.size();
  std::size_t i = 0;
  // The next character with full-width forms folded to ASCII; 0 marks a
  // character that folds to nothing the parser accepts.
  auto next = [&](std::size_t& width) -> unsigned char {
    const unsigned char c = p[i];
    if (!is_lead(c)) {
      width = 1;
      return c;
    }
    width = 2;
    if (i + 1 >= len) return 0;
    const unsigned char d = p[i + 1];
    if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) return static_cast<unsigned char>(d - 0x80);
    if (c == 0xA1) {
      if (d == 0xA1) return ' ';
      if (d == 0xAB) return '~';
      if (d == 0xEE || d == 0xEF) return '*';
    }
    return 0;
  };
  std::size_t w = 0;
  unsigned char c = 0;
  while (i < len) {
    c = next(w);
    if (c != ' ' && (c < 0x09 || c > 0x0D)) break;
    i += w;
  }
  bool negative = false;
  if (i < len && (c == '+' || c == '-')) {
    negative = c == '-';
    i += w;
  }
  std::uint32_t value = 0;
  while (i < len) {
    c = next(w);
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    i += w;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

Text blank_text(int n) {
  if (n <= 0) return {};
  return Text(static_cast<std::size_t>(n), ' ');
}

// --- Byte-set primitives ---------------------------------------------------

ByteSet text_to_bytes(std::string_view t) {
  t = view(t);
  return ByteSet(t.begin(), t.end());
}

Text bytes_to_text(const ByteSet& b) {
  if (b.empty()) return {};
  const void* zero = std::memchr(b.data(), 0, b.size());
  const std::size_t n =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - b.data()) : b.size();
  return Text(reinterpret_cast<const char*>(b.data()), n);
}

int bytes_length(const ByteSet& b) { return static_cast<int>(b.size()); }

ByteSet bytes_left(const ByteSet& b, int n) {
  return ByteSet(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(clamp_count(n, b.size())));
}

ByteSet bytes_concat(std::initializer_list<const ByteSet*> parts) {
  std::size_t total = 0;
  for (const ByteSet* part : parts) total += part->size();
  ByteSet out;
  out.reserve(total);
  for (const ByteSet* part : parts) out.insert(out.end(), part->begin(), part->end());
  return out;
}

bool bytes_equal(const ByteSet& a, const ByteSet& b) { return a == b; }

ByteSet blank_bytes(int n) {
  if (n <= 0) return {};
  return ByteSet(static_cast<std::size_t>(n), 0);
}

// --- Array and integer primitives ------------------------------------------

int array_count(const TextArray& a) { return static_cast<int>(a.size()); }

int array_count(const ByteSet& b) { return static_cast<int>(b.size()); }

void array_append(TextArray& a, std::string_view t) { a.emplace_back(view(t)); }

int bit_or(std::initializer_list<int> values) {
  int result = 0;
  for (int v : values) result |= v;
  return result;
}

}  // namespace tavrel
