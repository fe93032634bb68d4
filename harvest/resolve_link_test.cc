#include "harvest/resolve_link.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/stub/stub_search_engine.h"
#include "tests/support/loopback_server.h"
#include "tests/support/memory_host.h"

namespace tavrel {
namespace {

using testing::LinkAnswer;
using testing::StubResult;
using testing::StubSearchEngine;

// "对象创建失败！自己百度查！" in GBK.
const Text kCreationFailed =
    "\xB6\xD4\xCF\xF3\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC\xA3\xA1\xD7\xD4\xBC\xBA\xB0\xD9\xB6\xC8"
    "\xB2\xE9\xA3\xA1";

struct Case {
  LinkAnswer answer;
  bool replaced;  // by the Location value
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << "answer " << static_cast<int>(c.answer) << (c.replaced ? ", replaced" : ", kept");
}

class ResolveAnswerTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResolveAnswerTest, OnlyA302ReplacesTheLink) {
  StubSearchEngine engine(testing::fixed_pages({}));
  testing::MemoryHost host;
  const StubResult result{"http://www.site.example/path?q=1", GetParam().answer};
  const Text original = engine.link_url(result);
  Text link = original;
  const Text resolved = resolve_result_link(host, link);
  const Text expected = GetParam().replaced ? result.target : original;
  EXPECT_EQ(resolved, expected);
  EXPECT_EQ(link, expected);
  EXPECT_EQ(engine.requests().size(), 1u);  // asked once, nothing followed
  EXPECT_TRUE(host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryAnswer, ResolveAnswerTest,
                         ::testing::Values(Case{LinkAnswer::found, true},
                                           Case{LinkAnswer::slow, true},
                                           Case{LinkAnswer::moved_permanently, false},
                                           Case{LinkAnswer::see_other, false},
                                           Case{LinkAnswer::temporary_redirect, false},
                                           Case{LinkAnswer::ok, false},
                                           Case{LinkAnswer::dropped, false}));

TEST(ResolveResultLinkTest, A302WithoutLocationEmptiesTheLink) {
  StubSearchEngine engine(testing::fixed_pages({}));
  testing::MemoryHost host;
  Text link = engine.link_url({"http://x.example/", LinkAnswer::found_without_location});
  EXPECT_EQ(resolve_result_link(host, link), "");
  EXPECT_EQ(link, "");
}

TEST(ResolveResultLinkTest, LinksThatCannotBeAskedComeBackUnchangedAndSilently) {
  std::string closed_port_link;
  {
    testing::LoopbackServer gone([](const testing::ReceivedRequest&, testing::Reply&) {});
    closed_port_link = gone.url("/link?url=abc");
  }
  testing::MemoryHost host;
  for (const Text& original :
       {Text(closed_port_link), Text(), Text("not a link"), Text("ftp://127.0.0.1/x")}) {
    Text link = original;
    EXPECT_EQ(resolve_result_link(host, link), original);
    EXPECT_EQ(link, original);
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST(ResolveResultLinkTest, CreationFailureShowsTheMessageOnEveryCall) {
  StubSearchEngine engine(testing::fixed_pages({}));
  testing::MemoryHost host;
  const LinkRequestFactory cannot_create = [] { return std::unique_ptr<LinkRequest>(); };
  const Text original = engine.link_url({"http://x.example/"});
  for (int call = 1; call <= 2; ++call) {
    Text link = original;
    EXPECT_EQ(resolve_result_link(host, link, cannot_create), "");
    EXPECT_EQ(link, original);
    EXPECT_EQ(host.messages, std::vector<Text>(call, kCreationFailed));
  }
  EXPECT_TRUE(engine.requests().empty());
}

}  // namespace
}  // namespace tavrel
