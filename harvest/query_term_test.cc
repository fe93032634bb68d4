#include "harvest/query_term.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace tavrel {
namespace {

struct Case {
  std::string keyword;
  bool keep_unreserved;
  bool to_utf8;
  std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(c.keyword); }

class EncodeQueryTerm : public ::testing::TestWithParam<Case> {};

TEST_P(EncodeQueryTerm, GivesTheExpectedTerm) {
  const Case& c = GetParam();
  EXPECT_EQ(encode_query_term(c.keyword, c.keep_unreserved, c.to_utf8), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeQueryTerm,
    ::testing::Values(
        // A space is %20, never "+"; "/" is escaped.
        Case{"a b/c", true, true, "a%20b%2Fc"}, Case{"a b/c", false, true, "%61%20%62%2F%63"},
        Case{"\xB0\xA1", true, true, "%E5%95%8A"}, Case{"\xB0\xA1", true, false, "%B0%A1"},
        Case{"\xB0\xA1", false, false, "%B0%A1"},
        // Three escapes per Chinese character in UTF-8.
        Case{"\xD6\xD0\xCE\xC4", true, true, "%E4%B8%AD%E6%96%87"}, Case{"", true, true, ""},
        Case{"", false, false, ""}, Case{"", true, false, ""},
        // Single hex digits are padded.
        Case{"\t", true, true, "%09"}, Case{"\x01", true, false, "%01"},
        Case{"~_*+%:", true, true, "%7E%5F%2A%2B%25%3A"},
        // Upper-case escape digits.
        Case{"\xAB\xCD", true, false, "%AB%CD"}, Case{"Az09-.", true, true, "Az09-."},
        Case{"Az09-.", false, false, "%41%7A%30%39%2D%2E"},
        // The keyword ends at its first zero byte.
        Case{std::string("a\0b", 3), true, true, "a"}));

TEST(EncodeQueryTermBytes, KeepsExactlyTheSixtyFourUnreservedBytes) {
  int kept = 0;
  for (int b = 1; b < 0x80; ++b) {
    const std::string keyword(1, static_cast<char>(b));
    const Text term = encode_query_term(keyword, true, false);
    const bool letter_or_digit =
        (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    if (term == keyword) {
      ++kept;
      EXPECT_TRUE(letter_or_digit || b == '-' || b == '.') << b;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", b);
      EXPECT_EQ(term, escape);
    }
  }
  EXPECT_EQ(kept, 64);
  // A byte of 0x80 or above is escaped whatever the flag says.
  for (int b = 0x80; b < 0x100; ++b) {
    const Text term = encode_query_term(std::string(1, static_cast<char>(b)), true, false);
    EXPECT_EQ(term.size(), 3u);
    EXPECT_EQ(term[0], '%');
  }
}

TEST(EncodeQueryTermBytes, EncodesALongKeywordWhole) {
  std::string keyword;
  for (int i = 0; i < 100 * 1024 / 4; ++i) keyword += "a \xB0\xA1";
  const Text utf8 = encode_query_term(keyword, true, true);
  EXPECT_EQ(utf8.size(), 100u * 1024 / 4 * (1 + 3 + 9));
  EXPECT_EQ(utf8.substr(0, 13), "a%20%E5%95%8A");
  const Text gbk = encode_query_term(keyword, false, false);
  EXPECT_EQ(gbk.size(), 3u * keyword.size());
}

// Undoes the escapes of a term.
std::string decode(const std::string& term) {
  std::string bytes;
  for (std::size_t i = 0; i < term.size(); ++i) {
    if (term[i] == '%' && i + 2 < term.size()) {
      bytes += static_cast<char>(std::stoi(term.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += term[i];
    }
  }
  return bytes;
}

TEST(EncodeQueryTermBytes, AnyBytesGiveAnAsciiTermOfTheKeyword) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    std::string keyword(rng() % 40, '\0');
    for (char& c : keyword) c = static_cast<char>(rng() % 256);
    for (const bool keep : {false, true}) {
      for (const bool utf8 : {false, true}) {
        for (const char c : encode_query_term(keyword, keep, utf8)) {
          const auto u = static_cast<unsigned char>(c);
          ASSERT_TRUE(u > 0x20 && u < 0x7F) << u;
        }
      }
      EXPECT_EQ(decode(encode_query_term(keyword, true, false)), text_from(keyword));
    }
  }
}

}  // namespace
}  // namespace tavrel
