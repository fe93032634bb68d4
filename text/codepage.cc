#include "text/codepage.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <bit>
#include <cstring>
#include <memory>

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

// Both converters' default callbacks substitute: a bad or truncated sequence
// becomes the replacement character and conversion goes on after it. The loops
// only grow the output when the first estimate was short.
std::u16string decode(UConverter* cnv, std::string_view bytes) {
  std::u16string out;
  if (cnv == nullptr || bytes.empty()) return out;
  ucnv_resetToUnicode(cnv);
  // GBK and UTF-8 never give more units than bytes.
  out.resize(bytes.size() + 1);
  const char* src = bytes.data();
  const char* const src_end = src + bytes.size();
  std::size_t written = 0;
  for (;;) {
    UChar* target = out.data() + written;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, out.data() + out.size(), &src, src_end, nullptr, true, &err);
    written = static_cast<std::size_t>(target - out.data());
    if (err != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return out;
}

std::string encode(UConverter* cnv, std::u16string_view units) {
  std::string out;
  if (cnv == nullptr || units.empty()) return out;
  ucnv_resetFromUnicode(cnv);
  out.resize(units.size() * static_cast<std::size_t>(ucnv_getMaxCharSize(cnv)) + 1);
  const UChar* src = units.data();
  const UChar* const src_end = src + units.size();
  std::size_t written = 0;
  for (;;) {
    char* target = out.data() + written;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUnicode(cnv, &target, out.data() + out.size(), &src, src_end, nullptr, true, &err);
    written = static_cast<std::size_t>(target - out.data());
    if (err != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  // No character encodes to a zero byte, but a Text must never hold one.
  out.resize(up_to_zero(out).size());
  return out;
}

// Precomposes combining sequences: a base character followed by combining
// marks becomes the precomposed character where Unicode has one, so GBK can
// then write characters such as the pinyin vowels. Only the sequences that
// hold a mark are normalised. Normalising everything would also replace the
// CJK compatibility ideographs that GBK carries with their unified twins,
// which changes the bytes of a GBK text on its way back.
std::u16string compose_marks(std::u16string_view s) {
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
  if (U_FAILURE(err)) return std::u16string(s);

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
  const auto append = [](std::u16string& out, const icu::UnicodeString& u) {
    out.append(reinterpret_cast<const char16_t*>(u.getBuffer()),
               static_cast<std::size_t>(u.length()));
  };

  std::u16string out;
  std::size_t copied = 0;   // s[0, copied) is in out
  std::size_t starter = 0;  // start of the last character that starts afresh
  UChar32 starter_cp = 0;
  std::size_t i = 0;
  while (i < s.size()) {
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
    while (end < s.size()) {
      UChar32 d;
      std::size_t after;
      if (starts_afresh(end, d, after)) break;
      end = after;
    }
    if (out.empty()) out.reserve(s.size());
    out.append(s.substr(copied, starter - copied));
    std::size_t from = starter;
    if (starter < i && u_getIntPropertyValue(starter_cp, UCHAR_NFC_QUICK_CHECK) == UNORM_NO) {
      // A starter that normalisation would replace even on its own is kept.
      from = starter + U16_LENGTH(starter_cp);
      out.append(s.substr(starter, from - starter));
    }
    const icu::UnicodeString sequence(false, reinterpret_cast<const UChar*>(s.data() + from),
                                      static_cast<int32_t>(end - from));
    err = U_ZERO_ERROR;
    const icu::UnicodeString composed = nfc->normalize(sequence, err);
    if (U_SUCCESS(err)) {
      append(out, composed);
    } else {
      out.append(s.substr(from, end - from));
    }
    copied = end;
    starter = end;
    i = end;
  }
  if (copied == 0) return std::u16string(s);
  out.append(s.substr(copied));
  return out;
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

// The units as UTF-16LE bytes followed by a zero unit; no units give nothing.
ByteSet bytes_with_terminator(std::u16string_view units) {
  if (units.empty()) return {};
  ByteSet bytes((units.size() + 1) * 2, 0);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(bytes.data(), units.data(), units.size() * 2);
  } else {
    for (std::size_t k = 0; k < units.size(); ++k) {
      bytes[2 * k] = static_cast<std::uint8_t>(units[k] & 0xFF);
      bytes[2 * k + 1] = static_cast<std::uint8_t>(units[k] >> 8);
    }
  }
  return bytes;
}

}  // namespace

ByteSet ansi_to_utf16(std::string_view text, int code_page) {
  return bytes_with_terminator(decode(converter(code_page), up_to_zero(text)));
}

Text utf16_to_ansi(const ByteSet& units, int code_page) {
  const std::u16string u = units_from_bytes(units);
  return encode(converter(code_page), up_to_zero(u));
}

Text gbk_to_utf8(std::string_view text) {
  return encode(converter(kCodePageUtf8), gbk_to_u16(text));
}

ByteSet gbk_to_utf16(std::string_view text) { return bytes_with_terminator(gbk_to_u16(text)); }

Text utf16_to_gbk(const ByteSet& units) { return u16_to_gbk(units_from_bytes(units)); }

std::u16string gbk_to_u16(std::string_view text) {
  return decode(converter(kCodePageGbk), up_to_zero(text));
}

Text u16_to_gbk(std::u16string_view units) {
  return encode(converter(kCodePageGbk), compose_marks(up_to_zero(units)));
}

}  // namespace tavrel
