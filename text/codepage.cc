#include "text/codepage.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrel {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr open_converter(const char* name) {
  UErrorCode err = U_ZERO_ERROR;
  // "windows-936" is an alias ICU flags as ambiguous: a warning, not a failure.
  ConverterPtr c(ucnv_open(name, &err));
  if (U_FAILURE(err)) return nullptr;
  return c;
}

// A converter carries state between calls and must not be shared by threads,
// so every thread opens its own on first use. Code page 0 is the ANSI code
// page, GBK on the systems this tool is made for. Other code pages give null.
UConverter* converter(int code_page) {
  if (code_page == kCodePageAnsi || code_page == kCodePageGbk) {
    thread_local const ConverterPtr gbk = open_converter("windows-936");
    return gbk.get();
  }
  if (code_page == kCodePageUtf8) {
    thread_local const ConverterPtr utf8 = open_converter("UTF-8");
    return utf8.get();
  }
  return nullptr;
}

// The bytes before the first zero byte: a Text ends there.
std::string_view up_to_zero(std::string_view bytes) {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  return zero ? bytes.substr(0, static_cast<const char*>(zero) - bytes.data()) : bytes;
}

std::u16string_view up_to_zero(std::u16string_view units) {
  return units.substr(0, units.find(u'\0'));
}

// Both converters' default callbacks substitute: a bad or cut-off sequence
// becomes the replacement character and conversion goes on after it.

// Both code pages map the bytes below 0x80 to the same code points, and such a
// byte always ends a character (in GBK it is either a character of its own or
// the trail byte of a pair), so the converter holds no pending state after
// one. Runs of those bytes are widened here directly; the converter only sees
// the stretches from a byte of 0x80 or above up to and including the next
// byte below 0x80. Pages are mostly ASCII markup, which this makes cheap.

// The end of the stretch for the converter that starts at p, a byte of 0x80
// or above: just after the next byte below 0x80, or end.
const unsigned char* stretch_end(const unsigned char* p, const unsigned char* end) {
  while (p < end && *p >= 0x80) ++p;
  return p < end ? p + 1 : end;
}

// Widens the bytes below 0x80 from p on into out, up to the first byte of
// 0x80 or above or end; returns how many it widened. Sixteen bytes are
// checked and widened together where the processor allows.
std::size_t widen_ascii(const unsigned char* p, const unsigned char* end, char16_t* out) {
  const unsigned char* const start = p;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(bytes) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
    p += 16;
    out += 16;
  }
#endif
  while (p < end && *p < 0x80) *out++ = *p++;
  return static_cast<std::size_t>(p - start);
}

// Reads bytes with cnv and hands the units to sink a buffer at a time, so no
// whole-text scratch copy is made.
template <typename Sink>
void decode(UConverter* cnv, std::string_view bytes, Sink&& sink) {
  if (cnv == nullptr || bytes.empty()) return;
  ucnv_resetToUnicode(cnv);
  char16_t buf[4096];
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    const std::size_t room = std::min(static_cast<std::size_t>(end - p), std::size(buf));
    const std::size_t widened = widen_ascii(p, p + room, buf);
    if (widened > 0) {
      sink(std::u16string_view(buf, widened));
      p += widened;
      continue;
    }
    const char* src = reinterpret_cast<const char*>(p);
    const char* const src_end = reinterpret_cast<const char*>(stretch_end(p, end));
    for (;;) {
      UChar* target = buf;
      UErrorCode err = U_ZERO_ERROR;
      ucnv_toUnicode(cnv, &target, buf + std::size(buf), &src, src_end, nullptr, true, &err);
      sink(std::u16string_view(buf, static_cast<std::size_t>(target - buf)));
      if (err != U_BUFFER_OVERFLOW_ERROR) break;
    }
    ucnv_resetToUnicode(cnv);
    p = reinterpret_cast<const unsigned char*>(src_end);
  }
}

// Writes UTF-16 handed over in pieces with cnv; a piece may end inside a
// surrogate pair, the next one goes on from there.
class Encoder {
 public:
  Encoder(UConverter* cnv, std::size_t units) : cnv_(cnv) {
    if (cnv_ == nullptr) return;
    ucnv_resetFromUnicode(cnv_);
    out_.reserve(units * static_cast<std::size_t>(ucnv_getMaxCharSize(cnv_)));
  }

  void add(std::u16string_view piece) { run(piece, false); }

  // Ends the text (a pending lone surrogate becomes the substitute) and
  // returns it. No character encodes to a zero byte, but a Text must never
  // hold one.
  Text finish() {
    run({}, true);
    out_.resize(up_to_zero(out_).size());
    return std::move(out_);
  }

 private:
  void run(std::u16string_view piece, bool flush) {
    if (cnv_ == nullptr) return;
    char buf[8192];
    const UChar* src = piece.data();
    const UChar* const src_end = src + piece.size();
    for (;;) {
      char* target = buf;
      UErrorCode err = U_ZERO_ERROR;
      ucnv_fromUnicode(cnv_, &target, buf + sizeof buf, &src, src_end, nullptr, flush, &err);
      out_.append(buf, static_cast<std::size_t>(target - buf));
      if (err != U_BUFFER_OVERFLOW_ERROR) break;
    }
  }

  UConverter* cnv_;
  Text out_;
};

Text encode(UConverter* cnv, std::u16string_view units) {
  Encoder enc(cnv, units.size());
  enc.add(units);
  return enc.finish();
}

// Hands s, up to its first zero unit, to emit in pieces with its combining
// sequences precomposed: a base character followed by combining marks becomes
// the precomposed character where Unicode has one, so that GBK can write such
// characters as the pinyin vowels. Only the sequences that hold a mark are
// normalised. Normalising everything would also replace the CJK compatibility
// ideographs that GBK carries with their unified twins, which would change the
// bytes of a GBK text on its way back.
template <typename Emit>
void compose_marks(std::u16string_view s, Emit&& emit) {
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
  if (U_FAILURE(err)) {
    emit(up_to_zero(s));
    return;
  }

  // Whether composition can reach across the start of the character at i.
  // Everything below U+0300 and the main CJK blocks start afresh.
  const auto starts_afresh = [&](std::size_t i, UChar32& c, std::size_t& next) {
    const char16_t u = s[i];
    if (u < 0x300 || (u >= 0x3400 && u < 0xA000)) {
      c = u;
      next = i + 1;
      return true;
    }
    std::size_t j = i;
    U16_NEXT(s.data(), j, s.size(), c);
    next = j;
    return static_cast<bool>(nfc->hasBoundaryBefore(c));
  };

  // Units that start afresh and need no lookup: most of any real text.
  const auto plain = [](char16_t u) {
    return (u >= 1 && u < 0x300) || (u >= 0x3400 && u < 0xA000);
  };

  std::size_t n = s.size();
  std::size_t emitted = 0;  // s[0, emitted) has been handed on
  std::size_t starter = 0;  // start of the last character that starts afresh
  UChar32 starter_cp = 0;
  std::size_t i = 0;
  while (i < n) {
    if (plain(s[i])) {
      std::size_t j = i + 1;
      while (j < n && plain(s[j])) ++j;
      starter = j - 1;
      starter_cp = s[j - 1];
      i = j;
      continue;
    }
    if (s[i] == u'\0') {
      n = i;
      break;
    }
    UChar32 c;
    std::size_t next;
    if (starts_afresh(i, c, next)) {
      starter = i;
      starter_cp = c;
      i = next;
      continue;
    }
    // A combining sequence runs from the starter to the next fresh start.
    std::size_t end = next;
    while (end < n) {
      UChar32 d;
      std::size_t after;
      if (starts_afresh(end, d, after)) break;
      end = after;
    }
    std::size_t from = starter;
    if (starter < i && u_getIntPropertyValue(starter_cp, UCHAR_NFC_QUICK_CHECK) == UNORM_NO) {
      // A starter that normalisation would replace even on its own is kept.
      from = starter + U16_LENGTH(starter_cp);
    }
    emit(s.substr(emitted, from - emitted));
    const icu::UnicodeString sequence(false, reinterpret_cast<const UChar*>(s.data() + from),
                                      static_cast<int32_t>(end - from));
    err = U_ZERO_ERROR;
    const icu::UnicodeString composed = nfc->normalize(sequence, err);
    if (U_SUCCESS(err)) {
      emit(std::u16string_view(reinterpret_cast<const char16_t*>(composed.getBuffer()),
                               static_cast<std::size_t>(composed.length())));
    } else {
      emit(s.substr(from, end - from));
    }
    emitted = end;
    starter = end;
    i = end;
  }
  emit(s.substr(emitted, n - emitted));
}

Text composed_to_gbk(std::u16string_view units) {
  Encoder enc(converter(kCodePageGbk), units.size());
  compose_marks(units, [&enc](std::u16string_view piece) { enc.add(piece); });
  return enc.finish();
}

std::u16string units_from_bytes(const ByteSet& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  if constexpr (std::endian::native == std::endian::little) {
    if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
  } else {
    for (std::size_t k = 0; k < units.size(); ++k) {
      units[k] = static_cast<char16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
    }
  }
  return units;
}

// The text read with cnv as UTF-16LE bytes followed by a zero unit; an empty
// text gives nothing.
ByteSet decode_to_bytes(UConverter* cnv, std::string_view text) {
  ByteSet bytes;
  if (cnv == nullptr || text.empty()) return bytes;
  // GBK and UTF-8 never give more units than bytes.
  bytes.reserve((text.size() + 1) * 2);
  decode(cnv, text, [&bytes](std::u16string_view piece) {
    if constexpr (std::endian::native == std::endian::little) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(piece.data());
      bytes.insert(bytes.end(), p, p + piece.size() * 2);
    } else {
      for (char16_t u : piece) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
      }
    }
  });
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

}  // namespace

ByteSet ansi_to_utf16(std::string_view text, int code_page) {
  return decode_to_bytes(converter(code_page), up_to_zero(text));
}

Text utf16_to_ansi(const ByteSet& units, int code_page) {
  const std::u16string u = units_from_bytes(units);
  return encode(converter(code_page), up_to_zero(u));
}

Text gbk_to_utf8(std::string_view text) {
  text = up_to_zero(text);
  Encoder enc(converter(kCodePageUtf8), text.size());
  decode(converter(kCodePageGbk), text, [&enc](std::u16string_view piece) { enc.add(piece); });
  return enc.finish();
}

ByteSet gbk_to_utf16(std::string_view text) {
  return decode_to_bytes(converter(kCodePageGbk), up_to_zero(text));
}

Text utf16_to_gbk(const ByteSet& units) { return composed_to_gbk(units_from_bytes(units)); }

std::u16string gbk_to_u16(std::string_view text) {
  std::u16string units;
  gbk_to_u16(text, units);
  return units;
}

void gbk_to_u16(std::string_view text, std::u16string& units) {
  text = up_to_zero(text);
  UConverter* cnv = converter(kCodePageGbk);
  if (cnv == nullptr || text.empty()) {
    units.clear();
    return;
  }
  // No byte gives more than one unit, so the text's length is room enough.
  // The units are written in place over what the buffer held before, so a
  // buffer reused from page to page is neither cleared nor filled first.
  if (units.size() < text.size()) units.resize(text.size());
  std::size_t used = 0;
  ucnv_resetToUnicode(cnv);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const std::size_t widened = widen_ascii(p, end, units.data() + used);
    p += widened;
    used += widened;
    if (p == end) break;
    const auto* stop = stretch_end(p, end);
    const char* src = reinterpret_cast<const char*>(p);
    const char* const src_end = reinterpret_cast<const char*>(stop);
    for (;;) {
      UChar* target = units.data() + used;
      UErrorCode err = U_ZERO_ERROR;
      ucnv_toUnicode(cnv, &target, units.data() + units.size(), &src, src_end, nullptr, true, &err);
      used = static_cast<std::size_t>(target - units.data());
      if (err != U_BUFFER_OVERFLOW_ERROR) break;
      units.resize(units.size() + static_cast<std::size_t>(src_end - src) + 16);
    }
    ucnv_resetToUnicode(cnv);
    p = stop;
  }
  units.resize(used);
}

Text u16_to_gbk(std::u16string_view units) { return composed_to_gbk(units); }

}  // namespace tavrel
