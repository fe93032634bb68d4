#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "regex/reg_exp.h"

namespace tavrel {
namespace {

// GBK bytes of a few characters.
const Text kZhong = "\xD6\xD0";            // 中
const Text kWen = "\xCE\xC4";              // 文
const Text kMarker = "#\xD2\xFD\xBA\xC5";  // #引号

// The pattern that picks result links out of a search page.
const Text kResultPattern = R"re(\{"title":".*?","url":"(.*?)"\}'>)re";

// Every query of re gives the empty text, 0, or the position -1.
void expect_every_query_empty(RegexObject& re) {
  int pos = 7;
  EXPECT_EQ(re.pattern_text(), "");
  EXPECT_EQ(re.replace("x"), "");
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.match_text(1, &pos), "");
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(re.submatch_text(1, 1), "");
  EXPECT_EQ(re.submatch_count(), 0);
}

std::vector<Text> all_matches(const RegexObject& re) {
  std::vector<Text> out;
  for (int k = 1; k <= re.match_count(); ++k) out.push_back(re.match_text(k));
  return out;
}

struct MatchCase {
  const char* name;
  Text pattern;
  Text subject;
  std::optional<bool> case_sensitive;
  std::optional<bool> multiline;
  std::optional<bool> global;
  bool quote_marker;
  std::vector<Text> expected;
};

class MatchTable : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchTable, FindsExactlyTheExpectedMatches) {
  const MatchCase& c = GetParam();
  RegexObject re;
  ASSERT_TRUE(
      re.create(c.pattern, c.subject, c.case_sensitive, c.multiline, c.global, c.quote_marker));
  EXPECT_EQ(all_matches(re), c.expected);
}

const auto kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Options, MatchTable,
    testing::Values(
        MatchCase{"IgnoresCaseByDefault", "abc", "xABC", kNone, kNone, kNone, false, {"ABC"}},
        MatchCase{"CaseSensitive", "abc", "xABC", true, kNone, kNone, false, {}},
        MatchCase{"GlobalByDefault", "a", "aaa", kNone, kNone, kNone, false, {"a", "a", "a"}},
        MatchCase{"GlobalFalseGivesFirst", "a", "aaa", kNone, kNone, false, false, {"a"}},
        MatchCase{"MultilineByDefault", "^b", "a\nb", kNone, kNone, kNone, false, {"b"}},
        MatchCase{"MultilineFalse", "^b", "a\nb", kNone, false, kNone, false, {}},
        MatchCase{"CaretAfterEveryLineFeed", "^", "a\n", kNone, kNone, kNone, false, {"", ""}},
        MatchCase{"DollarBeforeLineFeed", "a$", "a\nb", kNone, kNone, kNone, false, {"a"}},
        MatchCase{"DollarOnlyAtEndWithoutMultiline", "a$", "a\n", kNone, false, kNone, false, {}},
        MatchCase{"DotSkipsLineFeed", "a.b", "a\nb", kNone, kNone, kNone, false, {}},
        MatchCase{"DotTakesCarriageReturn", "a.b", "a\rb", kNone, kNone, kNone, false, {"a\rb"}},
        MatchCase{"QuoteMarkerStandsForQuote",
                  "x" + kMarker + "y",
                  "x\"y x" + kMarker + "y",
                  kNone,
                  kNone,
                  kNone,
                  true,
                  {"x\"y"}},
        MatchCase{"QuoteMarkerLiteralWhenOmitted",
                  "x" + kMarker + "y",
                  "x\"y x" + kMarker + "y",
                  kNone,
                  kNone,
                  kNone,
                  false,
                  {"x" + kMarker + "y"}},
        MatchCase{"GbkPassesThrough", kWen, kZhong + kWen, kNone, kNone, kNone, false, {kWen}},
        MatchCase{"EmptySubject", "a", "", kNone, kNone, kNone, false, {}},
        MatchCase{"EmptyMatchesStepForward", "x*", "ab", kNone, kNone, kNone, false, {"", "", ""}},
        MatchCase{
            "EmptyAndNonEmptyMatches", "a*", "baa", kNone, kNone, kNone, false, {"", "aa", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Syntax, MatchTable,
    testing::Values(
        MatchCase{"Digits", R"(\d+)", "ab123c45", kNone, kNone, kNone, false, {"123", "45"}},
        MatchCase{"WordAndSpace", R"(\w+\s\w)", "ab cd", kNone, kNone, kNone, false, {"ab c"}},
        MatchCase{"WordBoundary", R"(\bfoo\b)", "foo food", kNone, kNone, kNone, false, {"foo"}},
        MatchCase{"Class", "[b-d]+", "abcde", kNone, kNone, kNone, false, {"bcd"}},
        MatchCase{"NegatedClass", "[^a]+", "aaxya", kNone, kNone, kNone, false, {"xy"}},
        MatchCase{
            "BoundedQuantifier", "x{2,3}", "xxxxx", kNone, kNone, kNone, false, {"xxx", "xx"}},
        MatchCase{"EscapedBraces", R"(\{x\})", "{x}", kNone, kNone, kNone, false, {"{x}"}},
        MatchCase{"LazyRun", "a.*?b", "aXbYb", kNone, kNone, kNone, false, {"aXb"}},
        MatchCase{"GreedyRun", "a.*b", "aXbYb", kNone, kNone, kNone, false, {"aXbYb"}},
        MatchCase{"NonCapturingGroup", "(?:ab)+", "ababx", kNone, kNone, kNone, false, {"abab"}},
        MatchCase{"Lookahead", "a(?=b)", "ac ab", kNone, kNone, kNone, false, {"a"}},
        MatchCase{"NegativeLookahead", "a(?!b)", "ab ac", kNone, kNone, kNone, false, {"a"}},
        MatchCase{
            "BackReference", R"((\w)\1)", "abbc dd", kNone, kNone, kNone, false, {"bb", "dd"}},
        MatchCase{"BackReferenceToUnsetGroupIsEmpty",
                  R"((a)?b\1)",
                  "b",
                  kNone,
                  kNone,
                  kNone,
                  false,
                  {"b"}},
        MatchCase{
            "UnicodeEscape", R"(\u4E2D)", kZhong + kWen, kNone, kNone, kNone, false, {kZhong}},
        MatchCase{"HexEscape", R"(\x41)", "bA", kNone, kNone, kNone, false, {"A"}},
        MatchCase{"Alternation", "cat|dog", "dog cat", kNone, kNone, kNone, false, {"dog", "cat"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegexObject, ResultPatternPicksLinksOutOfAPage) {
  const Text page =
      "<html><head><style>.c-title{color:#333}</style>\r\n<script>var s={\"a\":1};"
      "</script></head><body>"
      "<div class=\"result\" data-tools='{\"title\":\"" +
      kZhong + kWen +
      " - home\",\"url\":\"http://www.example.invalid/link?url=AbC1\"}'>"
      "<a href=\"#\">x</a></div><script>for(var i=0;i<3;i++){}</script>"
      "<div class=\"result\" data-tools='{\"Title\":\"" +
      kWen +
      "\",\"URL\":\"http://www.example.invalid/link?url=dEf2\"}'>"
      "</div><div data-tools='{\"title\":\"empty\",\"url\":\"\"}'></div></body></html>";
  RegexObject re;
  ASSERT_TRUE(re.create(kResultPattern, page));
  ASSERT_EQ(re.match_count(), 3);
  EXPECT_EQ(re.submatch_count(), 1);
  EXPECT_EQ(re.submatch_text(1, 1), "http://www.example.invalid/link?url=AbC1");
  EXPECT_EQ(re.submatch_text(2, 1), "http://www.example.invalid/link?url=dEf2");
  EXPECT_EQ(re.submatch_text(3, 1), "");
  EXPECT_EQ(re.match_text(3), "{\"title\":\"empty\",\"url\":\"\"}'>");
}

// One object serves a whole run, page after page: each create answers from
// its own subject only, whether the page before was longer or shorter.
TEST(RegexObject, EachCreateAnswersFromItsOwnSubject) {
  auto page = [](const Text& link, std::size_t padding) {
    return Text(padding, 'x') + "{\"title\":\"" + kWen + "\",\"url\":\"" + link + "\"}'>";
  };
  RegexObject re;
  // A subject handed over rather than copied, too; either way it ends at its
  // first zero byte.
  const struct {
    Text link;
    std::size_t padding;
    bool handed_over;
  } pages[] = {{"http://a.invalid/", 300'000, false},
               {"http://b.invalid/", 10, true},
               {"", 0, false},
               {"http://c.invalid/", 200'000, true},
               {"http://d.invalid/", 5, false}};
  for (const auto& p : pages) {
    SCOPED_TRACE(p.link);
    Text subject = page(p.link, p.padding);
    subject += '\0';
    subject += page("http://after-zero.invalid/", 0);
    ASSERT_TRUE(p.handed_over ? re.create(kResultPattern, std::move(subject))
                              : re.create(kResultPattern, subject));
    ASSERT_EQ(re.match_count(), 1);
    EXPECT_EQ(re.submatch_text(1, 1), p.link);
    int position = 0;
    re.match_text(1, &position);
    EXPECT_EQ(position, static_cast<int>(p.padding) + 1);
  }
  EXPECT_TRUE(re.create("x", ""));
  EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexObject, OutOfRangeAndNonParticipatingGroupsAreEmpty) {
  RegexObject re;
  ASSERT_TRUE(re.create("(a)|(b)", "b"));
  ASSERT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.submatch_count(), 2);  // counts the group that took no part
  EXPECT_EQ(re.match_text(0), "");
  EXPECT_EQ(re.match_text(2), "");
  EXPECT_EQ(re.match_text(-1), "");
  EXPECT_EQ(re.match_text(std::numeric_limits<int>::min()), "");
  EXPECT_EQ(re.submatch_text(1, std::numeric_limits<int>::min()), "");
  EXPECT_EQ(re.submatch_text(1, 1), "");  // took no part
  EXPECT_EQ(re.submatch_text(1, 2), "b");
  EXPECT_EQ(re.submatch_text(1, 0), "");
  EXPECT_EQ(re.submatch_text(1, 3), "");
  EXPECT_EQ(re.submatch_text(2, 1), "");

  ASSERT_TRUE(re.create("(a)(b)", "xyz"));
  EXPECT_EQ(re.submatch_count(), 0);  // no match to ask
}

TEST(RegexObject, PositionsAreGbkBytePositions) {
  // 中 文 a b c 文: bytes 1-2, 3-4, 5, 6, 7, 8-9.
  const Text subject = kZhong + kWen + "abc" + kWen;
  RegexObject re;
  ASSERT_TRUE(re.create("b(c)(" + kWen + ")|(z)", subject));
  int pos = 0;
  EXPECT_EQ(re.match_text(1, &pos), "bc" + kWen);
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(re.submatch_text(1, 1, &pos), "c");
  EXPECT_EQ(pos, 7);
  EXPECT_EQ(re.submatch_text(1, 2, &pos), kWen);
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(re.submatch_text(1, 3, &pos), "");  // took no part
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(re.submatch_text(1, 4, &pos), "");
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(re.match_text(2, &pos), "");
  EXPECT_EQ(pos, -1);

  ASSERT_TRUE(re.create("$", kZhong, std::nullopt, false));
  EXPECT_EQ(re.match_text(1, &pos), "");  // an empty match still has a place
  EXPECT_EQ(pos, 3);
}

TEST(RegexObject, QueriesBeforeCreateAreEmpty) {
  RegexObject re;
  expect_every_query_empty(re);
}

TEST(RegexObject, PatternTextShowsQuotesWhereTheMarkerStood) {
  RegexObject re;
  re.create("a" + kMarker + "b" + kWen, "", std::nullopt, std::nullopt, std::nullopt, true);
  EXPECT_EQ(re.pattern_text(), "a\"b" + kWen);
  re.create("a" + kMarker, "");
  EXPECT_EQ(re.pattern_text(), "a" + kMarker);
}

TEST(RegexObject, OmittedOptionsTakeTheirDefaultsOnEveryCreate) {
  RegexObject re;
  ASSERT_TRUE(re.create("^A", "a\na", true, false, false));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.create("^A", "a\na"));
  EXPECT_EQ(re.match_count(), 2);
}

class InvalidPattern : public testing::TestWithParam<Text> {};

TEST_P(InvalidPattern, FailsSilently) {
  RegexObject re;
  ASSERT_TRUE(re.create("a", "a"));
  EXPECT_FALSE(re.create(GetParam(), "a(b)c[d]{e}"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.match_text(1), "");
  EXPECT_EQ(re.submatch_text(1, 1), "");
  EXPECT_EQ(re.submatch_count(), 0);
  EXPECT_EQ(re.replace("x"), "");
  EXPECT_EQ(re.pattern_text(), GetParam());
  EXPECT_TRUE(re.create("b", "abc"));  // the object recovers on the next create
  EXPECT_EQ(re.match_count(), 1);
}

INSTANTIATE_TEST_SUITE_P(RegexObject, InvalidPattern,
                         testing::Values("(a", "a)", "[a", "a{2,1}", "*a", "a\\", "(?<x", "a**"));

struct ReplaceCase {
  Text pattern;
  Text subject;
  Text replacement;
  std::optional<bool> global;
  Text expected;
};

class ReplaceTable : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTable, Replaces) {
  const ReplaceCase& c = GetParam();
  RegexObject re;
  re.create(c.pattern, c.subject, std::nullopt, std::nullopt, c.global);
  EXPECT_EQ(re.replace(c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    RegexObject, ReplaceTable,
    testing::Values(
        ReplaceCase{"a", "banana", "o", std::nullopt, "bonono"},
        ReplaceCase{"a", "banana", "o", false, "bonana"},
        ReplaceCase{"x", "banana", "o", std::nullopt, "banana"},
        ReplaceCase{R"((\w+)@(\w+))", "joe@host!", "$2 at $1", std::nullopt, "host at joe!"},
        ReplaceCase{"b", "abc", "[$&|$`|$'|$$]", std::nullopt, "a[b|a|c|$]c"},
        ReplaceCase{"(b)", "abc", "$0$2$1$", std::nullopt, "a$0$2b$c"},
        ReplaceCase{"(b)", "abc", "$10$01", std::nullopt, "ab0bc"},
        ReplaceCase{"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "abcdefghijkl", "$12$11$9",
                    std::nullopt, "lki"},
        ReplaceCase{"(x)?y", "y", "[$1]", std::nullopt, "[]"},
        ReplaceCase{"x*", "ab", "-", std::nullopt, "-a-b-"},
        ReplaceCase{kWen, kZhong + kWen + kWen, kZhong, std::nullopt, kZhong + kZhong + kZhong}));

TEST(RegexObject, FailedComponentCreationLeavesEveryQueryEmpty) {
  int made = 0;
  RegexObject re(
      [&made]() -> std::unique_ptr<RegExp> { return made++ == 0 ? RegExp::make() : nullptr; });
  ASSERT_TRUE(re.create("(a)", "a"));
  ASSERT_EQ(re.match_count(), 1);
  EXPECT_FALSE(re.create("(a)", "a"));
  expect_every_query_empty(re);
}

// 10 MB on one line: 100,000 openings of a result, none closed. Each opening
// would scan lazily to the end of the line; the search must give up instead.
Text hostile_page(const Text& head) {
  Text page = head;
  const Text opening = "{\"title\":\"" + kZhong + "\",\"url\":\"http://x.invalid/";
  while (page.size() < 10'000'000) {
    page += opening;
    page.append(100 - opening.size(), 'q');
  }
  return page;
}

TEST(RegexObject, HostilePageEndsWithTheMatchesFoundBeforeTheLimit) {
  const Text closed = "{\"title\":\"t\",\"url\":\"http://ok.invalid/\"}'>";
  RegexObject re;
  EXPECT_TRUE(re.create(kResultPattern, hostile_page("")));
  EXPECT_EQ(re.match_count(), 0);

  EXPECT_TRUE(re.create(kResultPattern, hostile_page(closed + closed)));
  ASSERT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.submatch_text(2, 1), "http://ok.invalid/");
}

TEST(RegexObject, InvalidGbkSubjectsAreConvertedLeniently) {
  const std::vector<Text> subjects = {
      Text("\x81 abc"),              // lead byte with an invalid trail byte
      Text("\x81\x7F") + "abc",      // the same, trail byte DEL
      Text("abc\x81"),               // lone lead byte at the end
      Text("\xFF") + "abc\xFF\xFF",  // bytes that are never GBK
  };
  for (const Text& subject : subjects) {
    RegexObject re;
    ASSERT_TRUE(re.create("a(b)c", subject)) << subject;
    ASSERT_EQ(re.match_count(), 1) << subject;
    EXPECT_EQ(re.submatch_text(1, 1), "b");
    int pos = 0;
    EXPECT_EQ(re.match_text(1, &pos), "abc");
    EXPECT_EQ(subject.substr(pos - 1, 3), "abc") << subject;
    EXPECT_TRUE(re.create(".", subject));  // every unit, replacement characters included
    EXPECT_GE(re.match_count(), 3);
  }

  // A replaced byte comes back as another character and cannot be placed.
  RegexObject re;
  ASSERT_TRUE(re.create("^.", "\x81 "));
  int pos = 0;
  EXPECT_NE(re.match_text(1, &pos), "\x81");
  EXPECT_EQ(pos, -1);
}

// The component itself, where UTF-16 units show.

TEST(RegExp, FirstIndexCountsUtf16UnitsAndEmptyMatchesSkipSurrogatePairs) {
  auto re = RegExp::make();
  ASSERT_TRUE(re);
  re->Global(true);
  re->Pattern(u"x*");
  const std::u16string subject = u"a\U0001F600b";  // a, a surrogate pair, b
  std::optional<MatchCollection> matches = re->Execute(subject);
  ASSERT_TRUE(matches);
  std::vector<int> starts;
  for (int i = 0; i < matches->Count(); ++i) starts.push_back(matches->Item(i)->FirstIndex());
  EXPECT_EQ(starts, (std::vector<int>{0, 1, 3, 4}));

  re->Pattern(u"b");
  matches = re->Execute(subject);
  ASSERT_TRUE(matches);
  ASSERT_EQ(matches->Count(), 1);
  EXPECT_EQ(matches->Item(0)->FirstIndex(), 3);
  EXPECT_FALSE(matches->Item(1));
}

TEST(RegExp, IgnoreCaseFoldsNonAsciiLetters) {
  auto re = RegExp::make();
  ASSERT_TRUE(re);
  re->Pattern(u"\u03B1\u0436");  // small alpha, small zhe
  re->IgnoreCase(true);
  EXPECT_EQ(re->Execute(u"\u0391\u0416")->Count(), 1);
  re->IgnoreCase(false);
  EXPECT_EQ(re->Execute(u"\u0391\u0416")->Count(), 0);
}

TEST(RegExp, LoneSurrogatesInTheSubjectAreNotAnError) {
  auto re = RegExp::make();
  ASSERT_TRUE(re);
  re->Global(true);
  re->Pattern(u"a");
  const std::u16string subject = {u'a', char16_t(0xD800), u'a', char16_t(0xDC00), u'a'};
  std::optional<MatchCollection> matches = re->Execute(subject);
  ASSERT_TRUE(matches);
  EXPECT_EQ(matches->Count(), 3);
  EXPECT_EQ(re->Replace(subject, u"b"),
            (std::u16string{u'b', char16_t(0xD800), u'b', char16_t(0xDC00), u'b'}));
}

}  // namespace
}  // namespace tavrel
