// Misbehaving answers to a single request: the link request that resolves a
// result link, and the page fetch where a bound on memory is at stake.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "harvest/resolve_link.h"
#include "http/fetch_page.h"
#include "http/link_request.h"
#include "tests/hostile/hostile_answers.h"
#include "tests/support/memory_host.h"

namespace tavrel {
namespace {

using testing::LoopbackServer;
using testing::MemoryHost;
using testing::ReceivedRequest;
using testing::Reply;

// A link request with every time-out at 200 ms, redirects off.
int status_with_short_timeouts(const std::string& url) {
  LinkRequest request;
  request.SetTimeouts(200, 200, 200, 200);
  request.Option(LinkRequest::kOptionEnableRedirects, 0);
  request.open("GET", url, false);
  request.send();
  return request.status();
}

TEST(HostileLinkTest, GivesUpOnAnAnswerThatNeverCompletes) {
  struct Case {
    const char* name;
    void (*answer)(Reply&);
  };
  const Case cases[] = {
      {"never answers", hostile::never_answer},
      {"headers a byte at a time", hostile::drip_headers},
      {"header block never ends", hostile::flood_headers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackServer server([&](const ReceivedRequest&, Reply& reply) { c.answer(reply); });
    EXPECT_EQ(status_with_short_timeouts(server.url("/link")), 0);
  }
}

// What resolve_result_link makes of a link whose 302 answer carries an odd
// Location; the server's own link comes back unchanged when the answer is
// refused as a whole.
TEST(HostileLinkTest, OddLocationsGiveATextAndNoFurtherRequest) {
  hostile::SilentListener listener;
  ASSERT_NE(listener.port(), 0);
  const std::string at = "127.0.0.1:" + std::to_string(listener.port());
  struct Case {
    std::string location;  // as written on the wire
    std::string expected;  // empty: the link itself
  };
  const std::vector<Case> cases = {
      {"http://" + std::string(100 * 1024, 'l') + ".example/", ""},
      {"http://a.example/x\x01\x7F\ty", "http://a.example/x\x01\x7F\ty"},
      {std::string("http://a.example/x\0y", 20), ""},
      {"file:///etc/passwd", "file:///etc/passwd"},
      {"ftp://" + at + "/", "ftp://" + at + "/"},
      {"gopher://" + at + "/", "gopher://" + at + "/"},
      {"dict://" + at + "/d:x", "dict://" + at + "/d:x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location.substr(0, 40));
    LoopbackServer server([&](const ReceivedRequest&, Reply& reply) {
      reply.write("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: " + c.location +
                  "\r\n\r\n");
    });
    MemoryHost host;
    const Text raw_link = server.url("/link");
    Text link = raw_link;
    const Text result = resolve_result_link(host, link);
    EXPECT_EQ(result, c.expected.empty() ? raw_link : Text(c.expected));
    EXPECT_EQ(link, result);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(host.messages.empty());
  }
  EXPECT_FALSE(listener.connected());
}

TEST(HostileLinkTest, LinksToOtherSchemesAreNeverRequested) {
  hostile::SilentListener listener;
  ASSERT_NE(listener.port(), 0);
  const std::string at = "127.0.0.1:" + std::to_string(listener.port());
  for (const std::string& url :
       {"ftp://" + at + "/", "gopher://" + at + "/", "dict://" + at + "/d:x",
        std::string("file:///etc/passwd"), "telnet://" + at + "/"}) {
    SCOPED_TRACE(url);
    MemoryHost host;
    Text link = url;
    EXPECT_EQ(resolve_result_link(host, link), url);
    PageRequest page{.url = url};
    EXPECT_TRUE(fetch_page(page).empty());
  }
  EXPECT_FALSE(listener.connected());
}

TEST(HostileLinkTest, AnEndlessBodyIsCutAtTheLimit) {
  const auto previous = transport::set_limits({.max_body_bytes = 1 << 20});
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) { hostile::flood_body(reply); });
  PageRequest page{.url = server.url("/")};
  EXPECT_EQ(fetch_page(page).size(), std::size_t{1} << 20);
  transport::set_limits(previous);
}

}  // namespace
}  // namespace tavrel
