#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace tavrel {
namespace {

using namespace std::string_literals;  // "a\0b"s keeps its zero byte

const std::optional<int> kNone;

// --- Byte cuts ----------------------------------------------------------------

TEST(TextCut, LeftRightMidCountBytes) {
  struct Case {
    std::string t;
    int start, n;
    Text left, right, mid;
  };
  const Case cases[] = {
      {"abc", 1, 5, "abc", "abc", "abc"},
      {"abc", 3, 5, "abc", "abc", "c"},
      {"abc", 4, 1, "a", "c", ""},
      {"abc", 2, 0, "", "", ""},
      {"abc", 0, 2, "ab", "bc", ""},
      {"abc", -1, 2, "ab", "bc", ""},
      {"abc", INT_MIN, INT_MAX, "abc", "abc", ""},
      {"abc", INT_MAX, INT_MAX, "abc", "abc", ""},
      {"abc", 2, INT_MAX, "abc", "abc", "bc"},
      {"abc", 1, INT_MIN, "", "", ""},
      {"", 1, 1, "", "", ""},
      // By bytes: a two-byte character may be cut in two.
      {"\xB0\xA1z", 2, 1, "\xB0", "z", "\xA1"},
      // The text ends at its first zero byte.
      {"ab\0cd"s, 2, 9, "ab", "ab", "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.t) + " start " + std::to_string(c.start) + " n " +
                 std::to_string(c.n));
    EXPECT_EQ(text_left(c.t, c.n), c.left);
    EXPECT_EQ(text_right(c.t, c.n), c.right);
    EXPECT_EQ(text_mid(c.t, c.start, c.n), c.mid);
  }
}

TEST(TextCut, LengthAndTextFromStopAtZeroByte) {
  EXPECT_EQ(text_length(""), 0);
  EXPECT_EQ(text_length("\xFF\x80\r\n"), 4);
  EXPECT_EQ(text_length("ab\0cd"s), 2);
  EXPECT_EQ(text_from("ab\0cd"s), "ab");
  EXPECT_EQ(text_from("\0ab"s), "");
}

// --- Search -------------------------------------------------------------------

struct FindCase {
  std::string t, needle;
  std::optional<int> start;
  bool ignore_case;
  int expected;
};

void PrintTo(const FindCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.t) << " needle " << testing::PrintToString(c.needle) << " start "
      << (c.start ? std::to_string(*c.start) : "none") << " ignore_case " << c.ignore_case;
}

TEST(TextFind, FirstOccurrence) {
  const FindCase cases[] = {
      {"abcabc", "bc", kNone, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", 7, false, -1},
      {"abcabc", "bc", 0, false, 2},
      {"abcabc", "bc", INT_MIN, false, 2},
      {"abcabc", "bc", INT_MAX, false, -1},
      {"abcabc", "abcabcd", kNone, false, -1},
      {"abcabc", "abcabc", kNone, false, 1},
      // An empty needle gives 1 whenever the range is not empty.
      {"abc", "", 2, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"", "", kNone, false, -1},
      {"", "a", kNone, false, -1},
      // ASCII-only case folding, on trail bytes too, never on other bytes.
      {"ABC", "b", kNone, true, 2},
      {"ABC", "b", kNone, false, -1},
      {"\xB0\x41", "\xB0\x61", kNone, true, 1},
      {"\xB0\x41", "\xB0\x61", kNone, false, -1},
      {"\xA3\xC1", "\xA3\xE1", kNone, true, -1},
      {"x[Z]", "[z]", kNone, true, 2},
      {"@`", "`", kNone, true, 2},
      // A match may only begin on a character boundary counted from the start
      // of the scan.
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", kNone, false, -1},
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", 2, false, 2},
      {"\xB0\x61z\x61", "a", kNone, false, 4},
      {"\xB0\x61z\x61", "a", 2, false, 2},
      {"\xB0\x41z\x41", "a", kNone, true, 4},
      {"\x81\x81\x81\x81\x81", "\x81\x81", kNone, false, 1},
      {"\x81\x81\x81\x81\x81", "\x81\x81", 2, false, 2},
      {"\x81\x81\x81\x81\x81", "\x81", 2, false, 2},
      // A lead byte as the last byte: it is still compared, then the scan ends.
      {"ab\xB0", "\xB0", kNone, false, 3},
      {"a\xB0", "b", kNone, false, -1},
      {"\x80\xFF\x80", "\xFF", kNone, false, -1},
      {"\xFF\x80\x80", "\x80", kNone, false, 3},
      // Line breaks are ordinary bytes.
      {"a\r\nb\r\n", "\r\nb", kNone, false, 2},
      {"a\r\nb\r\n", "\n", 4, false, 6},
      // Arguments end at their first zero byte.
      {"ab\0cd"s, "cd", kNone, false, -1},
      {"abcd", "bc\0x"s, kNone, false, 2},
      {"abcd", "\0x"s, 2, false, 1},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(text_find(c.t, c.needle, c.start, c.ignore_case), c.expected)
        << testing::PrintToString(c);
  }
}

TEST(TextFind, LastOccurrenceEndingBeforeStart) {
  const FindCase cases[] = {
      {"abcabc", "bc", kNone, false, 5},
      {"abcabc", "bc", 6, false, 2},
      {"abcabc", "bc", 7, false, 5},
      {"abcabc", "bc", 1, false, -1},
      {"abcabc", "bc", 0, false, -1},
      {"abcabc", "bc", INT_MIN, false, -1},
      {"abcabc", "bc", INT_MAX, false, 5},
      {"aaa", "aa", kNone, false, 2},
      {"abc", "", 2, false, 1},
      {"abc", "", 1, false, -1},
      {"", "", kNone, false, -1},
      {"xAbab", "AB", kNone, true, 4},
      {"xAbab", "AB", kNone, false, -1},
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", kNone, false, -1},
      {"\xB0\x61\x61", "a", kNone, false, 3},
      {"\xB0\x61\x61", "a", 3, false, -1},
      {"a\xB0", "a", kNone, false, 1},
      {"a\xB0", "\xB0", kNone, false, 2},
      {"ab\0ab"s, "ab", kNone, false, 1},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(text_find_last(c.t, c.needle, c.start, c.ignore_case), c.expected)
        << testing::PrintToString(c);
  }
}

// The search as its rules state it, one scan point at a time.
int plain_find(const std::string& t, const std::string& needle, int from, bool ignore_case,
               bool last) {
  auto fold = [&](char c) { return ignore_case && c >= 'A' && c <= 'Z' ? c + 32 : +c; };
  int found = -1;
  const int n = static_cast<int>(needle.size());
  const int len = static_cast<int>(t.size());
  for (int i = from; i + n <= len;) {
    bool match = true;
    for (int k = 0; k < n && match; ++k) match = fold(t[i + k]) == fold(needle[k]);
    if (match) {
      found = i + 1;
      if (!last) return found;
    }
    if (static_cast<unsigned char>(t[i]) >= 0x80) {
      if (i + 1 >= len) break;
      i += 2;
    } else {
      i += 1;
    }
  }
  return found;
}

// Random texts from a small alphabet: letters and their neighbours around the
// folded range, lead bytes, bytes that serve as both, and a line break; long
// enough to cross the search's 16-byte blocks.
TEST(TextFind, AgreesWithPlainScanOnRandomTexts) {
  std::mt19937 rng(12345);
  const std::string alphabet = "aAzZ@[`{\x81\xB0\xA1\xFF\n";
  auto random_text = [&](int max_len) {
    std::string s(std::uniform_int_distribution<int>(0, max_len)(rng), 'a');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string t = random_text(70);
    std::string needle = random_text(4);
    if (needle.empty()) needle = "a";
    if (!t.empty() && rng() % 2 == 0) {  // often a piece of t itself
      const int at = static_cast<int>(rng() % t.size());
      needle = t.substr(at, 1 + rng() % (round % 4 == 0 ? 40 : 5));
    }
    const bool ignore_case = rng() % 2 == 0;
    const int start = static_cast<int>(rng() % (t.size() + 2));
    SCOPED_TRACE(testing::PrintToString(t) + " needle " + testing::PrintToString(needle) +
                 " start " + std::to_string(start) + " ignore_case " + std::to_string(ignore_case));
    ASSERT_EQ(text_find(t, needle, start, ignore_case),
              plain_find(t, needle, std::max(start, 1) - 1, ignore_case, false));
    const std::string range = t.substr(0, std::max(0, std::min<int>(start - 1, t.size())));
    ASSERT_EQ(text_find_last(t, needle, start, ignore_case),
              plain_find(range, needle, 0, ignore_case, true));
  }
}

// --- Split and replace ----------------------------------------------------------

TEST(TextSplit, Pieces) {
  struct Case {
    std::string t, separator;
    std::optional<int> max_count;
    TextArray expected;
  };
  const Case cases[] = {
      {"a,,b", ",", kNone, {"a", "", "b"}},
      {",a", ",", kNone, {"", "a"}},
      {"a,", ",", kNone, {"a"}},
      {",", ",", kNone, {""}},
      {",,", ",", kNone, {"", ""}},
      {"", ",", kNone, {}},
      {"ab", "", kNone, {"ab"}},
      {"line1\r\n\r\nline3", "\r\n", kNone, {"line1", "", "line3"}},
      {"line1\r\nline2\r\n", "\r\n", kNone, {"line1", "line2"}},
      {"a\rb\nc", "\r\n", kNone, {"a\rb\nc"}},
      {"a,b,c", ",", 2, {"a", "b"}},
      {"a,b,c", ",", 3, {"a", "b", "c"}},
      {"a,b,c", ",", INT_MAX, {"a", "b", "c"}},
      {"a,b,c", ",", 0, {}},
      {"a,b,c", ",", INT_MIN, {}},
      {"aXbxc", "x", kNone, {"aXb", "c"}},  // case counts
      {"a--b", "-", kNone, {"a", "", "b"}},
      {"a---b", "--", kNone, {"a", "-b"}},
      // Separators only start on character boundaries.
      {"\xB0,\xB0,", ",", kNone, {"\xB0,\xB0,"}},
      {"\xD6\xD0,\xCE\xC4", ",", kNone, {"\xD6\xD0", "\xCE\xC4"}},
      {"a,\xB0", ",", kNone, {"a", "\xB0"}},
      {"a,b\0,c"s, ",", kNone, {"a", "b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_split(c.t, c.separator, c.max_count), c.expected)
        << testing::PrintToString(c.t) << " at " << testing::PrintToString(c.separator);
  }
  EXPECT_EQ(text_split("a,b"), (TextArray{"a", "b"}));  // "," by default
}

TEST(TextReplace, Occurrences) {
  struct Case {
    std::string t, old, new_text;
    int start;
    std::optional<int> count;
    bool case_sensitive;
    Text expected;
  };
  const Case cases[] = {
      {"aAa", "a", "b", 1, kNone, false, "bbb"},
      {"aAa", "a", "b", 1, kNone, true, "bAb"},
      {"aAa", "a", "b", 1, 1, false, "bAa"},
      {"aAa", "a", "b", 2, kNone, true, "aAb"},
      {"aAa", "a", "", 1, kNone, true, "A"},
      {"aAa", "a", "b", 3, kNone, true, "aAb"},
      {"aAa", "a", "b", 4, kNone, true, "aAa"},
      {"aAa", "a", "b", INT_MAX, kNone, true, "aAa"},
      {"aAa", "a", "b", INT_MIN, kNone, true, "bAb"},
      {"aAa", "a", "b", 1, 0, true, "aAa"},
      {"aAa", "a", "b", 1, -1, false, "bbb"},
      {"aAa", "a", "b", 1, INT_MAX, false, "bbb"},
      {"aAa", "", "b", 1, kNone, true, "aAa"},
      {"", "a", "b", 1, kNone, true, ""},
      // Left to right, without overlap; the inserted text is not searched.
      {"aaaa", "aa", "b", 1, kNone, true, "bb"},
      {"aaa", "aa", "b", 1, kNone, true, "ba"},
      {"abab", "ab", "abab", 1, kNone, true, "abababab"},
      {"a.b.c", ".", "\r\n", 1, kNone, true, "a\r\nb\r\nc"},
      // By character, with folding on trail bytes when case does not count.
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", "x", 1, kNone, true, "\xB0\xA1\xB0\xA1"},
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", "x", 2, kNone, true, "\xB0x\xA1"},
      {"\xB0\x41\xB0\x61", "\xB0\x61", "!", 1, kNone, false, "!!"},
      {"\xB0\x41\xB0\x61", "\xB0\x61", "!", 1, kNone, true, "\xB0\x41!"},
      {"a\xB0", "\xB0", "!", 1, kNone, true, "a!"},
      {"ab\0ab"s, "b", "c\0d"s, 1, kNone, true, "ac"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_replace(c.t, c.old, c.new_text, c.start, c.count, c.case_sensitive), c.expected)
        << testing::PrintToString(c.t) << " " << testing::PrintToString(c.old) << " -> "
        << testing::PrintToString(c.new_text) << " start " << c.start << " count "
        << (c.count ? std::to_string(*c.count) : "none") << " case_sensitive " << c.case_sensitive;
  }
  EXPECT_EQ(text_replace("a-b-c", "-"), "abc");  // new omitted removes
}

// --- Spaces and letter case -----------------------------------------------------

TEST(TextSpaces, TrimStripAndLower) {
  struct Case {
    std::string t;
    Text trimmed, stripped, lowered;
  };
  const Case cases[] = {
      {"\xA1\xA1x y \xA1\xA1 \xA1\xA1", "x y", "xy", "\xA1\xA1x y \xA1\xA1 \xA1\xA1"},
      {"\tAb\r\n", "\tAb\r\n", "\tAb\r\n", "\tab\r\n"},
      {"a b\xA1\xA1"
       "c",
       "a b\xA1\xA1"
       "c",
       "abc",
       "a b\xA1\xA1"
       "c"},
      {"   ", "", "", "   "},
      {"", "", "", ""},
      // A1 A1 spanning two characters is no space, and a 0x20 that is a trail
      // byte is no space either.
      {"\xB0\xA1\xA1 ", "\xB0\xA1\xA1 ", "\xB0\xA1\xA1 ", "\xB0\xA1\xA1 "},
      {" \xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1", " \xB0\xA1\xA1\xA1"},
      // Trail bytes keep their case; a lone lead byte at the end survives.
      {"ABC\xB0\x41Z\xB0", "ABC\xB0\x41Z\xB0", "ABC\xB0\x41Z\xB0", "abc\xB0\x41z\xB0"},
      {" \xFF", "\xFF", "\xFF", " \xFF"},
      {"@[`{", "@[`{", "@[`{", "@[`{"},
      {" A\0 B"s, "A", "A", " a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.t));
    EXPECT_EQ(text_trim(c.t), c.trimmed);
    EXPECT_EQ(text_strip_spaces(c.t), c.stripped);
    EXPECT_EQ(text_lower(c.t), c.lowered);
  }
}

// --- Joining and comparing ------------------------------------------------------

TEST(TextJoin, ConcatCompareAndAppend) {
  EXPECT_EQ(text_concat(Text(), Text()), "");
  EXPECT_EQ(text_compare(text_concat(Text(), ""), Text()), 0);
  EXPECT_EQ(text_concat("a", "", "\xB0", Text("b\0c", 3)),
            "a\xB0"
            "b");

  struct Case {
    std::string x, y;
    int sign;
  };
  const Case cases[] = {
      {"", "", 0},     {"abc", "abc", 0},       {"ab", "abc", -1},
      {"b", "abc", 1}, {"\xFF", "a", 1},        {"\x80", "\x7F", 1},
      {"a", "A", 1},   {"ab\0x"s, "ab\0y"s, 0}, {"", "\x01", -1},
  };
  for (const Case& c : cases) {
    const int r = text_compare(c.x, c.y);
    EXPECT_EQ((r > 0) - (r < 0), c.sign)
        << testing::PrintToString(c.x) << " vs " << testing::PrintToString(c.y);
  }

  TextArray a;
  EXPECT_EQ(array_count(a), 0);
  array_append(a, "x\0y"s);
  array_append(a, "");
  EXPECT_EQ(a, (TextArray{"x", ""}));
  EXPECT_EQ(array_count(a), 2);
}

// --- Numbers ----------------------------------------------------------------------

TEST(TextNumbers, Formatting) {
  const std::pair<int, Text> hex[] = {{0, "0"},
                                      {5, "5"},
                                      {10, "A"},
                                      {228, "E4"},
                                      {255, "FF"},
                                      {4096, "1000"},
                                      {-1, "FFFFFFFF"},
                                      {INT_MIN, "80000000"},
                                      {INT_MAX, "7FFFFFFF"}};
  for (const auto& [v, expected] : hex) EXPECT_EQ(byte_to_hex(v), expected) << v;

  const std::pair<int, Text> ints[] = {
      {0, "0"}, {-7, "-7"}, {740, "740"}, {INT_MIN, "-2147483648"}, {INT_MAX, "2147483647"}};
  for (const auto& [v, expected] : ints) EXPECT_EQ(number_to_text(v), expected) << v;

  const std::pair<double, Text> doubles[] = {
      {0.0, "0"},
      {3.0, "3"},
      {740.0, "740"},
      {0.5, "0.5"},
      {-2.25, "-2.25"},
      {1.0 / 3, "0.3333333333333"},
      {1234567890123.0, "1234567890123"},
      {12345678901234.0, "1.234567890123e+13"},
      {1e-5, "1e-05"},
      {0.0001, "0.0001"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& [v, expected] : doubles) EXPECT_EQ(number_to_text(v), expected) << v;

  EXPECT_EQ(char_from_code(0), "");
  EXPECT_EQ(char_from_code('A'), "A");
  EXPECT_EQ(char_from_code(0xFF), "\xFF");
  EXPECT_EQ(blank_text(3), "   ");
  EXPECT_EQ(blank_text(0), "");
  EXPECT_EQ(blank_text(INT_MIN), "");
}

TEST(TextNumbers, ParseLeadingInteger) {
  const std::pair<std::string, int> cases[] = {
      {" 42x", 42},
      {"-7", -7},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-1", 0},
      {"\t\n\v\f\r 9", 9},
      {"\x01"
       "9",
       0},
      {"1 2", 1},
      {"007", 7},
      // Full-width digits, sign and space fold to ASCII.
      {"\xA3\xB8\xA3\xB0", 80},
      {"\xA1\xA1\xA3\xAD\xA3\xB1"
       "2",
       -12},
      {"\xA3\xB1\xA1\xAB", 1},
      {"\xA1\xEE"
       "5",
       0},
      // A digit that is a trail byte is not a digit.
      {"\x81\x35", 0},
      {"1\x81\x35", 1},
      {"\xA3", 0},
      {"3\xA3", 3},
      // Wrap-around modulo 2^32.
      {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},
      {"-2147483648", INT_MIN},
      {"4294967295", -1},
      {"4294967297", 1},
      {"99999999999999999999", 1661992959},
      {"12\0"
       "3"s,
       12},
  };
  for (const auto& [t, expected] : cases) {
    EXPECT_EQ(text_to_int(t), expected) << testing::PrintToString(t);
  }
}

// --- Byte sets and integers -------------------------------------------------------

TEST(ByteSets, Primitives) {
  const ByteSet empty;
  const ByteSet abc{'a', 'b', 'c'};
  EXPECT_EQ(bytes_to_text({0x61, 0x00, 0x62}), "a");
  EXPECT_EQ(bytes_to_text({0xB0, 0xA1}), "\xB0\xA1");
  EXPECT_EQ(bytes_to_text(empty), "");
  EXPECT_EQ(text_to_bytes(""), empty);
  EXPECT_EQ(text_to_bytes("a\0b"s), ByteSet{'a'});
  EXPECT_EQ(text_to_bytes("\xFF\r"), (ByteSet{0xFF, '\r'}));

  EXPECT_EQ(bytes_length(abc), 3);
  EXPECT_EQ(array_count(abc), 3);
  EXPECT_EQ(bytes_length(empty), 0);

  const std::pair<int, ByteSet> lefts[] = {{-1, {}}, {0, {}},        {2, {'a', 'b'}},
                                           {3, abc}, {INT_MAX, abc}, {INT_MIN, {}}};
  for (const auto& [n, expected] : lefts) EXPECT_EQ(bytes_left(abc, n), expected) << n;

  const ByteSet zeros{0, 0};
  EXPECT_EQ(bytes_concat(empty, empty), empty);
  EXPECT_EQ(bytes_concat(abc, empty, zeros), (ByteSet{'a', 'b', 'c', 0, 0}));
  EXPECT_TRUE(bytes_equal(empty, ByteSet(0)));
  EXPECT_TRUE(bytes_equal(zeros, blank_bytes(2)));
  EXPECT_FALSE(bytes_equal(zeros, blank_bytes(3)));
  EXPECT_FALSE(bytes_equal(abc, ByteSet{'a', 'b', 'd'}));
  EXPECT_EQ(blank_bytes(-5), empty);
  EXPECT_EQ(blank_bytes(INT_MIN), empty);

  EXPECT_EQ(bit_or(1, 2), 3);
  EXPECT_EQ(bit_or(0x100, 0x80000000u, 4, 4), static_cast<int>(0x80000104u));
}

}  // namespace
}  // namespace tavrel
