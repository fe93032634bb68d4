// Small byte-level helpers for what the HTTP clients put on and read off the
// wire: header names compared without regard to ASCII case, blanks trimmed,
// and bytes that may not stand in a request escaped.
#pragma once

#include <string>
#include <string_view>

namespace tavrel::wire {

inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

inline bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

// s without leading and trailing spaces, tabs, CRs and LFs.
inline std::string_view trim_blanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

inline bool is_ascii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// s with control bytes, spaces and DEL written as %XX; with escape_high, the
// bytes of 0x80 and above too.
inline std::string percent_escape(std::string_view s, bool escape_high) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || (escape_high && b > 0x7F)) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tavrel::wire
