#include "http/cookies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace tavrel {
namespace {

struct MergeCase {
  std::string cookie;
  std::string new_cookies;
  std::string merged;
  std::string new_cookies_after;
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.cookie); }

class MergeCookies : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookies, WritesBothArgumentsBack) {
  const MergeCase& c = GetParam();
  Text cookie = c.cookie;
  Text new_cookies = c.new_cookies;
  const Text returned = merge_cookies(cookie, new_cookies);
  EXPECT_EQ(cookie, c.merged);
  EXPECT_EQ(returned, c.merged);
  EXPECT_EQ(new_cookies, c.new_cookies_after);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, MergeCookies,
    ::testing::Values(MergeCase{"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
                      MergeCase{"a=1; b=2", "a=deleted", "b=2", "a=deleted"},
                      MergeCase{"a=1; a=2", "", "a=1", ""},
                      MergeCase{"", "x=1; x=1", "x=1", "x=1;x=1"},
                      MergeCase{"", "a=1; b=2", "a=1; b=2", "a=1;b=2"},
                      MergeCase{"a=hello world", "b=2", "b=2; a=helloworld", "b=2"},
                      MergeCase{"a=1", "A=2", "A=2; a=1", "A=2"}, MergeCase{"", "", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, MergeCookies,
    ::testing::Values(
        // Only "=deleted" exactly deletes, whether or not the caller held the cookie.
        MergeCase{"a=1", "a=DELETED", "a=DELETED", "a=DELETED"},
        MergeCase{"a=1", "z=deleted; b=2", "b=2; a=1", "z=deleted;b=2"},
        MergeCase{"a=1", "=deleted", "a=1", "=deleted"},
        // An item without "=" is named by its whole text.
        MergeCase{"k; a=1", "k=1", "k=1; a=1", "k=1"},
        // Empty items in the middle survive; a trailing ";" adds none.
        MergeCase{"a=1;;b=2", "", "a=1; ; b=2", ""}, MergeCase{"a=1;", "", "a=1", ""},
        // Full-width spaces go too; tabs are no spaces.
        MergeCase{"a=\xA1\xA1x\ty", "", "a=x\ty", ""},
        // Identical items from both sides collapse into one.
        MergeCase{"a=1", "a=1; a=1", "a=1", "a=1;a=1"},
        MergeCase{"a=1", "a=2; a=3", "a=2; a=3", "a=2;a=3"}));

struct NameCase {
  std::string item;
  std::string name;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.item); }

class CookieName : public ::testing::TestWithParam<NameCase> {};

TEST_P(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
  EXPECT_EQ(cookie_name(GetParam().item), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Cases, CookieName,
                         ::testing::Values(NameCase{"a=1", "a"}, NameCase{" a b =1=2", "a b"},
                                           NameCase{"k", "k"}, NameCase{" k ", "k"},
                                           NameCase{"=1", ""}, NameCase{"", ""},
                                           NameCase{"\xA1\xA1n\xA1\xA1=v", "n"}));

TEST(HasCookieName, ComparesNamesByteForByte) {
  const TextArray items = {"a=1", " B =2", "c"};
  EXPECT_TRUE(has_cookie_name(items, "a"));
  EXPECT_TRUE(has_cookie_name(items, "B"));
  EXPECT_TRUE(has_cookie_name(items, "c"));
  EXPECT_FALSE(has_cookie_name(items, "A"));
  EXPECT_FALSE(has_cookie_name(items, "b"));
  EXPECT_FALSE(has_cookie_name(items, ""));
  EXPECT_FALSE(has_cookie_name({}, "a"));
  EXPECT_TRUE(has_cookie_name({"x", "=v"}, ""));
}

TEST(JoinUnique, LeavesOutRepeatedPieces) {
  EXPECT_EQ(join_unique("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(join_unique("a,A,a", ","), "a,A");
  EXPECT_EQ(join_unique(",a,,b", ","), ",a,b");
  EXPECT_EQ(join_unique("a,", ","), "a");
  EXPECT_EQ(join_unique("", ","), "");
  EXPECT_EQ(join_unique("a,b", ""), "a,b");
}

TEST(IndexOfText, FindsTheFirstEqualElement) {
  const TextArray list = {"a", "", "b", "a"};
  EXPECT_EQ(index_of_text(list, "a"), 1);
  EXPECT_EQ(index_of_text(list, ""), 2);
  EXPECT_EQ(index_of_text(list, "b"), 3);
  EXPECT_EQ(index_of_text(list, "A"), -1);
  EXPECT_EQ(index_of_text({}, ""), -1);
}

TEST(MergeCookiesBytes, AnyBytesGiveAMergedTextWithoutSpaces) {
  std::mt19937 rng(5);
  const char* const pieces[] = {"a", "A", "=", ";", "; ", " ", "=deleted", "\xA1\xA1", "\xB0", "1"};
  for (int round = 0; round < 2000; ++round) {
    Text inputs[2];
    for (Text& t : inputs) {
      const int n = static_cast<int>(rng() % 10);
      for (int i = 0; i < n; ++i) {
        if (rng() % 4 == 0) {
          t += static_cast<char>(rng() % 256);
        } else {
          t += pieces[rng() % std::size(pieces)];
        }
      }
    }
    Text cookie = inputs[0];
    Text new_cookies = inputs[1];
    const Text merged = merge_cookies(cookie, new_cookies);
    EXPECT_EQ(merged, cookie);
    EXPECT_EQ(new_cookies, text_strip_spaces(inputs[1]));
    // A lone lead byte swallows the ";" after it, so the items can only be
    // told apart in plain ASCII.
    if (std::any_of(merged.begin(), merged.end(), [](char c) { return c & 0x80; })) continue;
    for (const Text& item : text_split(merged, "; ")) {
      EXPECT_EQ(text_find(item, " "), -1) << item;
      EXPECT_NE(text_right(item, 8), "=deleted") << item;
    }
  }
}

}  // namespace
}  // namespace tavrel
