#include "http/link_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/stub/stub_search_engine.h"
#include "tests/support/loopback_server.h"

namespace tavrel {
namespace {

using testing::LinkAnswer;
using testing::LoopbackServer;
using testing::ReceivedRequest;
using testing::Reply;
using testing::StubResult;
using testing::StubSearchEngine;

// A GET as the harvest makes it: redirects not followed.
struct Answer {
  int status;
  Text location;
};
Answer get_without_redirects(const std::string& url, int receive_ms = 5000) {
  LinkRequest request;
  request.SetTimeouts(5000, 5000, 30000, receive_ms);
  request.Option(LinkRequest::kOptionEnableRedirects, 0);
  request.open("GET", url, false);
  request.send();
  return {request.status(), request.GetResponseHeader("Location")};
}

struct AnswerCase {
  LinkAnswer answer;
  int status;
  bool has_location;
};

class LinkRequestAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(LinkRequestAnswerTest, ReportsStatusAndLocationWithoutFollowing) {
  StubSearchEngine engine(testing::fixed_pages({}));
  const StubResult result{"http://www.target.example/a?b=1", GetParam().answer};
  const Answer answer = get_without_redirects(engine.link_url(result));
  EXPECT_EQ(answer.status, GetParam().status);
  EXPECT_EQ(answer.location, GetParam().has_location ? result.target : "");
  // Only the link itself was asked: nothing was followed.
  EXPECT_EQ(engine.requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryAnswer, LinkRequestAnswerTest,
                         ::testing::Values(AnswerCase{LinkAnswer::found, 302, true},
                                           AnswerCase{LinkAnswer::moved_permanently, 301, true},
                                           AnswerCase{LinkAnswer::see_other, 303, true},
                                           AnswerCase{LinkAnswer::temporary_redirect, 307, true},
                                           AnswerCase{LinkAnswer::ok, 200, false},
                                           AnswerCase{LinkAnswer::found_without_location, 302,
                                                      false},
                                           AnswerCase{LinkAnswer::slow, 302, true},
                                           AnswerCase{LinkAnswer::dropped, 0, false}));

TEST(LinkRequestTest, SendsAPlainGetWithTheComponentsUserAgent) {
  StubSearchEngine engine(testing::fixed_pages({}));
  get_without_redirects(engine.link_url({"http://x.example/"}));
  const auto requests = engine.requests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& request = requests[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.header("User-Agent"),
            "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)");
  EXPECT_FALSE(request.has_header("Cookie"));
  EXPECT_TRUE(request.body.empty());
}

TEST(LinkRequestTest, FollowsRedirectsUnlessSwitchedOff) {
  LoopbackServer server([](const ReceivedRequest& request, Reply& reply) {
    if (request.target == "/first") {
      reply.send(302, "<html>moved</html>", {{"Location", "/second"}});
    } else {
      reply.send(200, "<html>here</html>");
    }
  });

  LinkRequest following;
  following.open("GET", server.url("/first"), false);
  following.send();
  EXPECT_EQ(following.status(), 200);
  EXPECT_EQ(server.requests().size(), 2u);

  server.clear_requests();
  EXPECT_EQ(get_without_redirects(server.url("/first")).status, 302);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(LinkRequestTest, FailsSilentlyWhenNothingListens) {
  std::string url;
  {
    LoopbackServer gone([](const ReceivedRequest&, Reply& reply) { reply.send(302, ""); });
    url = gone.url("/link?url=x");
  }
  const Answer answer = get_without_redirects(url);
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.location, "");
}

TEST(LinkRequestTest, RequestsNothingButSynchronousHttpGets) {
  StubSearchEngine engine(testing::fixed_pages({}));
  const std::string http_link = engine.link_url({"http://x.example/"});
  struct Case {
    const char* verb;
    std::string url;
    bool async;
  };
  const Case cases[] = {
      {"GET", "", false},
      {"GET", "ftp://" + engine.host_port() + "/", false},
      {"GET", "file:///etc/hostname", false},
      {"GET", "127.0.0.1/link", false},
      {"POST", http_link, false},
      {"GET", http_link, true},
  };
  for (const Case& c : cases) {
    LinkRequest request;
    request.Option(LinkRequest::kOptionEnableRedirects, 0);
    request.open(c.verb, c.url, c.async);
    request.send();
    EXPECT_EQ(request.status(), 0) << c.verb << " " << c.url;
    EXPECT_EQ(request.GetResponseHeader("Location"), "") << c.url;
  }
  EXPECT_TRUE(engine.requests().empty());
}

// A handler that holds its answer back until the server stops, and notes
// whether it ever got to finish.
struct StallingServer {
  explicit StallingServer(std::string head_first)
      : server([this, head = std::move(head_first)](const ReceivedRequest&, Reply& reply) {
          if (!head.empty()) reply.write(head);
          if (reply.idle(60000)) finished = true;
        }) {}
  std::atomic<bool> finished{false};
  LoopbackServer server;
};

TEST(LinkRequestTest, GivesUpWhenTheAnswerDoesNotCome) {
  StallingServer stalling("");
  EXPECT_EQ(get_without_redirects(stalling.server.url("/link"), 300).status, 0);
  EXPECT_FALSE(stalling.finished);
}

TEST(LinkRequestTest, StopsOnceTheHeadersAreIn) {
  StallingServer stalling(
      "HTTP/1.1 302 Found\r\nLocation: http://quick.example/\r\nContent-Length: 100000\r\n\r\n"
      "<html>");
  const Answer answer = get_without_redirects(stalling.server.url("/link"));
  EXPECT_EQ(answer.status, 302);
  EXPECT_EQ(answer.location, "http://quick.example/");
  EXPECT_FALSE(stalling.finished);
}

TEST(LinkRequestTest, ReceiveTimeoutAppliesToEachWaitNotTheWholeAnswer) {
  // Three pauses of 700 ms, each shorter than the 1500 ms allowed, together
  // longer than it.
  LoopbackServer dripping([](const ReceivedRequest&, Reply& reply) {
    for (const char* piece : {"HTTP/1.1 302 Found\r\n", "Location: http://slow.example/\r\n",
                              "Content-Length: 0\r\n", "\r\n"}) {
      reply.write(piece);
      if (*piece != '\r' && !reply.idle(700)) return;
    }
  });
  const Answer answer = get_without_redirects(dripping.url("/link"), 1500);
  EXPECT_EQ(answer.status, 302);
  EXPECT_EQ(answer.location, "http://slow.example/");
}

TEST(LinkRequestTest, CarriesNonAsciiLinksAsUtf8AndReadsLocationsIntoGbk) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) {
    reply.send(302, "", {{"Location", "http://\xE4\xBE\x8B\xE5\xAD\x90.example/"}});  // 例子
  });
  const Answer answer = get_without_redirects(server.url("/link?q=\xD6\xD0 x"));  // 中 in GBK
  EXPECT_EQ(answer.status, 302);
  EXPECT_EQ(answer.location, "http://\xC0\xFD\xD7\xD3.example/");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target, "/link?q=%E4%B8%AD%20x");
}

TEST(LinkRequestTest, TreatsAnOversizedHeaderBlockAsNoAnswer) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) {
    reply.send(302, "",
               {{"Location", "http://big.example/"}, {"X-Filler", std::string(80000, 'a')}});
  });
  const Answer answer = get_without_redirects(server.url("/link"));
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.location, "");
}

}  // namespace
}  // namespace tavrel
