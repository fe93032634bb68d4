#include "http/url.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

namespace tavrel {
namespace {

const std::string kQuote(kQuoteMarker);

struct BetweenCase {
  std::string text;
  std::string before;
  std::string after;
  int start;
  bool ignore_case;
  std::string expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class TextBetween : public ::testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetween, GivesTheTextBetweenTheMarkers) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(text_between(c.text, c.before, c.after, c.start, c.ignore_case), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetween,
    ::testing::Values(
        BetweenCase{"a<b>c", "<", ">", 0, false, "b"},
        BetweenCase{"<a><b>", "<", ">", 3, false, "b"}, BetweenCase{"<>", "<", ">", 0, false, ""},
        // The quote marker stands for a double quote in either marker.
        BetweenCase{"<a name=\"v\">", "name=" + kQuote, kQuote, 0, false, "v"},
        BetweenCase{"x" + kQuote + "y\"", kQuote, "\"", 0, false, ""},
        // An empty after gives nothing; an empty before reads from the first byte.
        BetweenCase{"abc;d", "a", "", 0, false, ""}, BetweenCase{"abc;d", "", ";", 0, false, "abc"},
        // A missing before makes the whole result empty.
        BetweenCase{"abc;d", "x", ";", 0, false, ""}, BetweenCase{"b>a<", "<", ">", 0, false, ""},
        BetweenCase{"ab<", "<", ">", 0, false, ""},
        BetweenCase{"User-Agent: X\r\n", "user-agent: ", "\r\n", 0, true, "X"},
        BetweenCase{"User-Agent: X\r\n", "user-agent: ", "\r\n", 0, false, ""},
        // Markers only match on character boundaries.
        BetweenCase{"\xB0<\xB0>x>", "<", ">", 0, false, ""},
        BetweenCase{"a<\xB0>x>", "<", ">", 0, false, "\xB0>x"}));

struct UrlCase {
  std::string url;
  std::string host;
  std::string host_with_port;
  std::string domain;
  int port;
  std::string path;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.url); }

class UrlComponents : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlComponents, TakesTheUrlApart) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(url_host(c.url), c.host);
  EXPECT_EQ(url_host(c.url, false, true), c.host_with_port);
  EXPECT_EQ(url_host(c.url, true), c.domain);
  EXPECT_EQ(url_port(c.url), c.port);
  EXPECT_EQ(url_path(c.url), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, UrlComponents,
    ::testing::Values(UrlCase{"http://p.q.r/s/t?u=1", "p.q.r", "p.q.r", "q.r", 80, "/s/t?u=1"},
                      UrlCase{"HTTPS://P.Q.R:8080/s", "p.q.r", "p.q.r:8080", "q.r", 8080, "/s"},
                      UrlCase{"https://p.q.r", "p.q.r", "p.q.r", "q.r", 443, "/"},
                      UrlCase{"p.q.r", "p.q.r", "p.q.r", "q.r", 80, "/"},
                      UrlCase{"p.q.r:81/x?y=/z", "p.q.r", "p.q.r:81", "q.r", 81, "/x?y=/z"},
                      UrlCase{"http://w.p.q.r:8080/x/y", "w.p.q.r", "w.p.q.r:8080", "q.r", 8080,
                              "/x/y"},
                      UrlCase{"", "", "", "", 80, "/"}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, UrlComponents,
    ::testing::Values(
        // The path keeps the URL's own letter case.
        UrlCase{"HTTP://P.Q.R/Some/Path?Q=A", "p.q.r", "p.q.r", "q.r", 80, "/Some/Path?Q=A"},
        // A query straight after the host stays part of it.
        UrlCase{"http://p.q.r?x=1", "p.q.r?x=1", "p.q.r?x=1", "q.r?x=1", 80, "/"},
        // "http://" anywhere in the text marks where the host begins.
        UrlCase{"w.p.q.r/a?b=http://z.y", "z.y", "z.y", "z.y", 80, "/"},
        // Another scheme is read as a host with an empty port.
        UrlCase{"ftp://p.q.r/x", "ftp", "ftp:", "ftp", 0, "//p.q.r/x"},
        UrlCase{"http://p.q.r:81abc/x", "p.q.r", "p.q.r:81abc", "q.r", 81, "/x"},
        UrlCase{"http://p.q.r:/x", "p.q.r", "p.q.r:", "q.r", 0, "/x"},
        // A host that also occurs inside the scheme is looked for after it.
        UrlCase{"http://t/a", "t", "t", "t", 80, "/a"},
        UrlCase{"HTTPS://T/A", "t", "t", "t", 443, "/A"},
        UrlCase{"http://ttp/x", "ttp", "ttp", "ttp", 80, "/x"},
        UrlCase{"http://p:8/x", "p", "p:8", "p", 8, "/x"},
        // A "://" in the query is no scheme.
        UrlCase{"p.q.r/x?y=a://p.q.r/z", "p.q.r", "p.q.r", "q.r", 80, "/x?y=a://p.q.r/z"},
        // The URL ends at its first zero byte.
        UrlCase{std::string("http://p.q.r/x\0/y", 17), "p.q.r", "p.q.r", "q.r", 80, "/x"}));

struct DotCase {
  std::string url;
  int dot_count;
  bool domain_only;
  bool keep_port;
  std::string expected;
};

void PrintTo(const DotCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.url); }

class UrlHostByDots : public ::testing::TestWithParam<DotCase> {};

TEST_P(UrlHostByDots, KeepsTheLastLabels) {
  const DotCase& c = GetParam();
  EXPECT_EQ(url_host(c.url, c.domain_only, c.keep_port, c.dot_count), c.expected);
}

const std::string kDeep = "http://v.w.p.q.r:8080/x";

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlHostByDots,
    ::testing::Values(
        DotCase{kDeep, 0, false, false, "q.r"}, DotCase{kDeep, 0, true, false, "r"},
        DotCase{kDeep, 1, false, false, "p.q.r"}, DotCase{kDeep, 1, true, false, "q.r"},
        DotCase{kDeep, 2, false, false, "w.p.q.r"}, DotCase{kDeep, 2, true, false, "p.q.r"},
        DotCase{kDeep, 0, false, true, "q.r:8080"}, DotCase{kDeep, 0, true, true, "r:8080"},
        // More labels asked for than the host has: the whole host.
        DotCase{kDeep, 9, false, false, "v.w.p.q.r"}, DotCase{kDeep, 9, true, false, "v.w.p.q.r"},
        DotCase{kDeep, INT_MAX, true, true, "v.w.p.q.r:8080"},
        DotCase{kDeep, -3, false, false, "q.r"},
        // A final "." is not counted and stays.
        DotCase{"p.q.r.", 0, false, false, "q.r."}, DotCase{"p.q.r.", 0, true, false, "r."},
        DotCase{"HTTPS://A.P.Q.R", 0, false, false, "q.r"},
        DotCase{"x.http://p.q.r", 0, false, false, "q.r"}, DotCase{"", 0, true, false, ""},
        DotCase{"", 2, false, false, ""}));

TEST(UrlHost, DotCountOfZeroDiffersFromNoDotCount) {
  EXPECT_EQ(url_host(kDeep, false, false, 0), "q.r");
  EXPECT_EQ(url_host(kDeep, false, false), "v.w.p.q.r");
}

TEST(UrlRoutines, AnyBytesGiveAResult) {
  std::mt19937 rng(11);
  const char* const pieces[] = {
      "http://", "https://", "HTTP://",          "/", ":", ".", "?", "8", "a", "\xB0",
      "\xA1",    "\0",       kQuoteMarker.data()};
  for (int round = 0; round < 2000; ++round) {
    std::string url;
    const int n = static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      if (rng() % 3 == 0) {
        url += static_cast<char>(rng() % 256);
      } else {
        const std::string piece = pieces[rng() % std::size(pieces)];
        url += piece.empty() ? std::string(1, '\0') : piece;
      }
    }
    const std::string other = url.substr(rng() % (url.size() + 1));

    const Text path = url_path(url);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    (void)url_port(url);
    for (const bool domain_only : {false, true}) {
      for (const bool keep_port : {false, true}) {
        const Text host = url_host(url, domain_only, keep_port);
        const Text by_dots = url_host(url, domain_only, keep_port, static_cast<int>(rng() % 7) - 2);
        for (const Text& h : {host, by_dots}) {
          EXPECT_EQ(h, text_lower(h));
          if (!keep_port) {
            EXPECT_EQ(text_find(h, ":"), -1);
          }
        }
      }
    }
    const Text between = text_between(url, other, url.substr(0, rng() % 3),
                                      static_cast<int>(rng() % 20) - 5, rng() % 2 == 0);
    EXPECT_LE(between.size(), url.size());
  }
}

}  // namespace
}  // namespace tavrel
