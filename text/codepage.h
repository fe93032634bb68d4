// Conversions between GBK (code page 936), UTF-8 (65001) and UTF-16LE.
//
// On the systems Tavrel is made for the ANSI code page is GBK, so code page 0
// means 936 here. Every conversion is lenient: an invalid or truncated sequence
// becomes the target's replacement character and conversion goes on with the
// bytes after it; nothing is ever cut short or failed as a whole.
//
// UTF-16 data travels in a ByteSet of little-endian code units, two bytes a
// unit. The conversions into UTF-16 end their result with a zero unit, which is
// part of the ByteSet and counted in its length.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace tavrel {

inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// The text read in code_page, as UTF-16LE units ending in a zero unit; empty
// text gives the empty ByteSet.
ByteSet ansi_to_utf16(std::string_view text, int code_page = kCodePageUtf8);
// The units up to the first zero unit, written in code_page.
Text utf16_to_ansi(const ByteSet& units, int code_page = kCodePageAnsi);
// The UTF-8 bytes of a GBK text.
Text gbk_to_utf8(std::string_view text);
// A GBK text as UTF-16LE units ending in a zero unit; empty gives empty.
ByteSet gbk_to_utf16(std::string_view text);
// Whole UTF-16LE units (an odd last byte is ignored) to GBK, precomposing
// combining marks where GBK has the composed character; the text ends at the
// first zero unit.
Text utf16_to_gbk(const ByteSet& units);

// The same conversions over native UTF-16 strings, without the ByteSet
// framing or terminating unit; the regex layer uses these.
std::u16string gbk_to_u16(std::string_view text);
// The same into units, whose storage is reused when it is large enough.
void gbk_to_u16(std::string_view text, std::u16string& units);
Text u16_to_gbk(std::u16string_view units);

}  // namespace tavrel
