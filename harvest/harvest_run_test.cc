#include "harvest/harvest_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/stub/stub_search_engine.h"
#include "tests/support/memory_host.h"

namespace tavrel {
namespace {

using testing::LinkAnswer;
using testing::MemoryHost;
using testing::StubPage;
using testing::StubResult;
using testing::StubSearchEngine;

HarvestSettings settings_for(const StubSearchEngine& engine) {
  HarvestSettings settings;
  settings.search_host = engine.host_port();
  return settings;
}

std::vector<std::string> targets_with_path(const StubSearchEngine& engine, std::string_view path) {
  std::vector<std::string> targets;
  for (const auto& request : engine.requests()) {
    if (request.target.starts_with(path)) targets.push_back(request.target);
  }
  return targets;
}

TEST(HarvestRunTest, AsksSeventySixPagesForEveryKeywordInOrder) {
  StubSearchEngine engine(testing::fixed_pages({}));
  MemoryHost host;
  // A blank line gives an empty keyword; the final CR LF gives none. 中文 is GBK.
  host.boxes[EditBox::keywords] = "abc\r\n\r\n\xD6\xD0\xCE\xC4\r\na b\r\n";
  harvest_run_with(host, settings_for(engine));

  std::vector<std::string> expected;
  for (const char* term : {"abc", "", "%E4%B8%AD%E6%96%87", "a%20b"}) {
    for (int page = 1; page <= 76; ++page) {
      expected.push_back(std::string("/s?wd=") + term + "&pn=" + std::to_string(page - 1) +
                         "0&ie=utf-8&usm=1");
    }
  }
  EXPECT_THAT(targets_with_path(engine, "/"), ::testing::ElementsAreArray(expected));
  EXPECT_EQ(expected.front(), "/s?wd=abc&pn=00&ie=utf-8&usm=1");
  EXPECT_EQ(expected.back(), "/s?wd=a%20b&pn=750&ie=utf-8&usm=1");
  EXPECT_EQ(host.reads[EditBox::keywords], 1);
  EXPECT_EQ(host.appends, 0);
}

TEST(HarvestRunTest, EmptyKeywordsBoxAsksNothing) {
  StubSearchEngine engine(testing::fixed_pages({}));
  MemoryHost host;
  harvest_run_with(host, settings_for(engine));
  EXPECT_TRUE(engine.requests().empty());
}

TEST(HarvestRunTest, AppendsEachNewAddressOnceAndDropsExcludedOnes) {
  const StubResult a{"http://www.a.example/"};
  const StubResult a_upper{"http://WWW.A.example/"};
  const StubResult b{"https://b.example/shop?id=7"};
  const StubResult already_inside{"http://old.example/x"};
  const StubResult host_excluded{"http://news.QQ.Com/"};
  const StubResult path_excluded{"http://c.example/go/Baidu.COM/"};
  const StubResult query_excluded{"http://d.example/?from=WWW.SINA.com.cn"};
  const StubResult moved{"http://moved.example/", LinkAnswer::moved_permanently};
  const StubResult plain_page{"http://plain.example/", LinkAnswer::ok};
  const StubResult no_location{"http://gone.example/", LinkAnswer::found_without_location};
  const StubResult unanswered{"http://dropped.example/", LinkAnswer::dropped};
  const StubResult e{"http://e.example/"};
  const StubResult f{"http://f.example/"};

  StubSearchEngine engine(testing::fixed_pages({
      {{"k1", 0}, {false, {a, b, a, already_inside, host_excluded}}},
      {{"k1", 1}, {false, {path_excluded, query_excluded, moved, plain_page}}},
      {{"k1", 2}, {true, {e}}},  // the page fails to load
      {{"k1", 3}, {false, {no_location, unanswered, a_upper, b}}},
      {{"k1", 75}, {false, {e}}},
      {{"k2", 0}, {false, {a, e, f}}},
  }));

  MemoryHost host;
  host.boxes[EditBox::keywords] = "k1\r\nk2";
  host.boxes[EditBox::results] = "before http://old.example/x/index.html\r\n";
  host.boxes[EditBox::exclusions] = "baidu.com\r\nqq.com\r\nsina.com.cn\r\n";
  harvest_run_with(host, settings_for(engine));

  const std::string crlf = "\r\n";
  EXPECT_EQ(host.boxes[EditBox::results], "before http://old.example/x/index.html\r\n" + a.target +
                                              crlf + b.target + crlf + engine.link_url(moved) +
                                              crlf + engine.link_url(plain_page) + crlf +
                                              engine.link_url(unanswered) + crlf + a_upper.target +
                                              crlf + e.target + crlf + f.target + crlf);
  EXPECT_EQ(targets_with_path(engine, "/s?").size(), 2u * 76);
  // Every result of every page that loaded is asked once, duplicates too.
  EXPECT_EQ(targets_with_path(engine, "/link?").size(), 5u + 4 + 4 + 1 + 3);
  EXPECT_TRUE(host.messages.empty());
}

TEST(HarvestRunTest, ExclusionEntries) {
  struct Case {
    Text exclusions;
    bool kept;
  };
  const Case cases[] = {
      {"", true},
      {"other.example\r\n", true},
      {"SITE.example\r\n", false},       // letter case ignored
      {"other.example\r\n\r\n", false},  // an empty entry excludes everything
      {"\r\nother.example", false},
      {"other.example\n", true},  // a lone LF stays inside the entry
  };
  const StubResult site{"http://www.site.example/"};
  StubSearchEngine engine(testing::fixed_pages({{{"k", 0}, {false, {site}}}}));
  for (const Case& c : cases) {
    MemoryHost host;
    host.boxes[EditBox::keywords] = "k";
    host.boxes[EditBox::exclusions] = c.exclusions;
    harvest_run_with(host, settings_for(engine));
    EXPECT_EQ(host.boxes[EditBox::results], c.kept ? site.target + "\r\n" : "") << c.exclusions;
  }
}

TEST(HarvestRunTest, BoxEditsDuringARunCountFromTheNextMatch) {
  const StubResult a{"http://a.example/"}, b{"http://b.example/"}, c{"http://c.example/"},
      d{"http://d.example/"};
  StubSearchEngine engine(testing::fixed_pages({{{"k", 0}, {false, {a, b, c, d}}}}));
  MemoryHost host;
  host.boxes[EditBox::keywords] = "k";
  host.before_read = [&](EditBox box, int count) {
    // Before b's duplicate test the user types b into the results box.
    if (box == EditBox::results && count == 2) host.boxes[box] += b.target + "\r\n";
    // Before c's exclusion test the user excludes it; before d's, clears the box.
    if (box == EditBox::exclusions && count == 2) host.boxes[box] = "C.EXAMPLE";
    if (box == EditBox::exclusions && count == 3) host.boxes[box] = "";
  };
  host.boxes[EditBox::exclusions] = "d.example";
  harvest_run_with(host, settings_for(engine));
  EXPECT_EQ(host.boxes[EditBox::results],
            a.target + "\r\n" + b.target + "\r\n" + d.target + "\r\n");
}

TEST(HarvestRunTest, PassesTheGateBeforeEveryRequestAndEveryAppend) {
  const StubResult a{"http://a.example/"}, b{"http://b.example/"};
  StubSearchEngine engine(
      testing::fixed_pages({{{"k", 0}, {false, {a, b, a}}}, {{"k", 5}, {true, {}}}}));
  MemoryHost host;
  host.boxes[EditBox::keywords] = "k";
  std::vector<std::size_t> done_at_gate;  // requests served and lines appended so far
  host.on_gate = [&] {
    done_at_gate.push_back(engine.requests().size() + static_cast<std::size_t>(host.appends));
  };
  harvest_run_with(host, settings_for(engine));
  ASSERT_EQ(engine.requests().size(), 76u + 3);
  ASSERT_EQ(host.appends, 2);
  // One gate passage right before each of the 81 steps.
  std::vector<std::size_t> expected(76 + 3 + 2);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
  EXPECT_EQ(done_at_gate, expected);
}

TEST(HarvestRunTest, ShowsTheMessageForEveryLinkWhenRequestsCannotBeMade) {
  StubSearchEngine engine(
      testing::fixed_pages({{{"k", 0}, {false, {{"http://a.example/"}, {"http://b.example/"}}}},
                            {{"k", 9}, {false, {{"http://c.example/"}}}}}));
  MemoryHost host;
  host.boxes[EditBox::keywords] = "k";
  HarvestSettings settings = settings_for(engine);
  settings.make_link_request = [] { return std::unique_ptr<LinkRequest>(); };
  harvest_run_with(host, settings);
  EXPECT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.boxes[EditBox::results], "");
  EXPECT_TRUE(targets_with_path(engine, "/link").empty());
}

TEST(HarvestRunTest, SearchHostComesFromTheEnvironment) {
  ::unsetenv("TAVREL_SEARCH_HOST");
  EXPECT_EQ(search_host(), "www.baidu.com");
  ::setenv("TAVREL_SEARCH_HOST", "127.0.0.1:8080", 1);
  EXPECT_EQ(search_host(), "127.0.0.1:8080");
  ::setenv("TAVREL_SEARCH_HOST", "", 1);
  EXPECT_EQ(search_host(), "www.baidu.com");
  ::unsetenv("TAVREL_SEARCH_HOST");
}

}  // namespace
}  // namespace tavrel
