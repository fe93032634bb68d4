// The text model every part of Tavrel shares.
//
// Text     GBK bytes (code page 936) that end at their first zero byte. A Text
//          never holds a zero byte; absent and zero-length are the same value.
//          Every primitive reads its Text arguments only up to their first
//          zero byte, so a std::string that happens to hold one is safe to pass.
// ByteSet  a counted run of bytes of any value, zero bytes included.
// TextArray a list of Text. The primitives speak of 1-based subscripts
//          (element i is a[i - 1] in C++).
//
// Character model: a byte of 0x80 or above is the lead byte of a two-byte
// character and the byte after it is its trail byte, whatever its value.
// Operations marked "by character" take the byte where their scan starts as a
// character boundary and step over two-byte characters as units. Lengths,
// counts and positions are in bytes; positions are 1-based, -1 means not found.
//
// Case folding (ignore_case, and case_sensitive == false) maps only the bytes
// 0x41..0x5A onto 0x61..0x7A, on every byte of the compared span, trail bytes
// included. No locale is consulted.
//
// All primitives are pure: they never change their arguments, keep no state
// and are safe to call from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

using Text = std::string;
using ByteSet = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>;

// A Text made from arbitrary bytes: everything before the first zero byte.
Text text_from(std::string_view bytes);

// --- Text primitives -------------------------------------------------------

int text_length(std::string_view t);
Text text_left(std::string_view t, int n);
Text text_right(std::string_view t, int n);
Text text_mid(std::string_view t, int start, int n);

// First occurrence at or after start (omitted or <= 1: from byte 1). By
// character. An empty needle gives 1 when the searched range is not empty.
int text_find(std::string_view t, std::string_view needle, std::optional<int> start = std::nullopt,
              bool ignore_case = false);
// Last occurrence lying wholly before start (omitted: the whole text). By
// character; overlapping occurrences count.
int text_find_last(std::string_view t, std::string_view needle,
                   std::optional<int> start = std::nullopt, bool ignore_case = false);

// Pieces between separators, by character. Empty pieces at the front and in
// the middle are kept; a trailing separator adds no piece; an empty t gives
// no pieces; an empty separator gives t as the only piece. max_count <= 0
// gives no pieces; reaching max_count drops the rest of t.
TextArray text_split(std::string_view t, std::string_view separator = ",",
                     std::optional<int> max_count = std::nullopt);

// t with occurrences of old replaced by new_text from position start on, left
// to right, without overlap; count omitted replaces all. Note the flag's sense:
// case_sensitive, not ignore_case.
Text text_replace(std::string_view t, std::string_view old, std::string_view new_text = {},
                  int start = 1, std::optional<int> count = std::nullopt,
                  bool case_sensitive = false);

// Spaces are 0x20 and the full-width space A1 A1; tabs, CR and LF are not.
Text text_trim(std::string_view t);
Text text_strip_spaces(std::string_view t);
Text text_lower(std::string_view t);

Text text_concat(std::initializer_list<std::string_view> parts);
template <typename... Parts>
Text text_concat(const Parts&... parts) {
  return text_concat({std::string_view(parts)...});
}

// Negative, 0 or positive, comparing bytes as unsigned; a prefix sorts first.
int text_compare(std::string_view x, std::string_view y);

Text char_from_code(std::uint8_t code);
// "%X": 5 -> "5", 228 -> "E4"; a negative value prints its 32-bit two's complement.
Text byte_to_hex(int v);
// "%d" for an int, "%.13g" for a double.
Text number_to_text(int x);
Text number_to_text(double x);
// Leading decimal value after folding full-width forms; wraps modulo 2^32.
int text_to_int(std::string_view t);
Text blank_text(int n);

// --- Byte-set primitives ---------------------------------------------------

ByteSet text_to_bytes(std::string_view t);
Text bytes_to_text(const ByteSet& b);
int bytes_length(const ByteSet& b);
ByteSet bytes_left(const ByteSet& b, int n);
ByteSet bytes_concat(std::initializer_list<const ByteSet*> parts);
template <typename... Parts>
ByteSet bytes_concat(const Parts&... parts) {
  return bytes_concat({&parts...});
}
bool bytes_equal(const ByteSet& a, const ByteSet& b);
ByteSet blank_bytes(int n);

// --- Array and integer primitives ------------------------------------------

int array_count(const TextArray& a);
int array_count(const ByteSet& b);
void array_append(TextArray& a, std::string_view t);

int bit_or(std::initializer_list<int> values);
template <typename... Ints>
int bit_or(Ints... values) {
  return bit_or({static_cast<int>(values)...});
}

}  // namespace tavrel
