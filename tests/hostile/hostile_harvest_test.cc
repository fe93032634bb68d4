// A whole harvest against a search host whose second result page misbehaves:
// the run must get past it within the fetch limits, ask every other page,
// keep what it appended before and go on appending after.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "harvest/harvest_run.h"
#include "tests/hostile/hostile_answers.h"
#include "tests/stub/stub_search_engine.h"
#include "tests/support/memory_host.h"

namespace tavrel {
namespace {

using testing::LoopbackServer;
using testing::MemoryHost;
using testing::ReceivedRequest;
using testing::Reply;

// The markup of one result whose redirect link is link.
std::string result_html(const std::string& link) {
  return "<div class=\"result\" data-tools='{\"title\":\"t\",\"url\":\"" + link + "\"}'></div>";
}

// A search host: page 1 holds a result for a.example, page 3 one for
// b.example, page 2 is answered by the case's handler, every other page is
// empty. /link?to=NAME answers 302 with Location http://NAME.example/.
class HostileEngine {
 public:
  using PageHandler = std::function<void(HostileEngine&, const ReceivedRequest&, Reply&)>;

  explicit HostileEngine(PageHandler hostile)
      : hostile_(std::move(hostile)),
        server_([this](const ReceivedRequest& request, Reply& reply) { serve(request, reply); }) {}

  std::string host_port() const { return server_.host_port(); }
  std::string link(const std::string& name) const { return server_.url("/link?to=" + name); }

  // A whole run for the one keyword "k" against this engine.
  MemoryHost harvest() const {
    MemoryHost host;
    host.boxes[EditBox::keywords] = "k";
    HarvestSettings settings;
    settings.search_host = host_port();
    harvest_run_with(host, settings);
    return host;
  }

  // The page offsets asked for, in order (redirects and links left out).
  std::vector<std::string> offsets() const {
    std::vector<std::string> seen;
    for (const auto& request : server_.requests()) {
      if (request.target.starts_with("/s?"))
        seen.push_back(testing::query_value(request.target, "pn"));
    }
    return seen;
  }

 private:
  void serve(const ReceivedRequest& request, Reply& reply) {
    if (request.target.starts_with("/link?to=")) {
      reply.send(302, "", {{"Location", "http://" + request.target.substr(9) + ".example/"}});
      return;
    }
    const std::string pn = testing::query_value(request.target, "pn");
    if (!request.target.starts_with("/s?")) {
      hostile_(*this, request, reply);  // a redirect the hostile page made
    } else if (pn == "00") {
      reply.send(200, "<html>" + result_html(link("a")) + "</html>");
    } else if (pn == "10") {
      hostile_(*this, request, reply);
    } else if (pn == "20") {
      reply.send(200, "<html>" + result_html(link("b")) + "</html>");
    } else {
      reply.send(200, "<html></html>");
    }
  }

  PageHandler hostile_;
  LoopbackServer server_;
};

std::vector<std::string> all_offsets() {
  std::vector<std::string> offsets;
  for (int page = 0; page < 76; ++page) offsets.push_back(std::to_string(page) + "0");
  return offsets;
}

struct PageCase {
  const char* name;
  HostileEngine::PageHandler page;
  // What the hostile page itself adds between a.example and b.example.
  std::string added = "";
};

// Keeps test names short: the case's name stands for it.
void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

// A 10 MB single line that sends the lazy runs of the result pattern across
// the whole page from every one of its starts, after one sound result.
void send_backtracking_page(Reply& reply, const std::string& link) {
  if (!reply.write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<html>" + result_html(link))) {
    return;
  }
  std::string chunk;
  while (chunk.size() < 64 * 1024) chunk += R"({"title":"x","url":"y)";
  for (std::size_t sent = 0; sent < (std::size_t{10} << 20) && reply.write(chunk);
       sent += chunk.size()) {
  }
}

std::vector<PageCase> page_cases() {
  using namespace hostile;
  return {
      {"never answers", [](auto&, auto&, Reply& r) { never_answer(r); }},
      {"headers a byte at a time", [](auto&, auto&, Reply& r) { drip_headers(r); }},
      {"header block never ends", [](auto&, auto&, Reply& r) { flood_headers(r); }},
      {"body trickles for ever", [](auto&, auto&, Reply& r) { drip_body(r); }},
      {"body floods for ever", [](auto&, auto&, Reply& r) { flood_body(r); }},
      {"Content-Length longer, then closed",
       [](auto&, auto&, Reply& r) { raw(r, "HTTP/1.1 200 OK\r\nContent-Length: 100000", "<ht"); }},
      {"Content-Length longer, then silent",
       [](auto&, auto&, Reply& r) {
         raw(r, "HTTP/1.1 200 OK\r\nContent-Length: 100000", "<ht");
         never_answer(r);
       }},
      {"Content-Length shorter than the body",
       [](HostileEngine& e, auto&, Reply& r) {
         raw(r, "HTTP/1.1 200 OK\r\nContent-Length: 6", "<html>" + result_html(e.link("c")));
       }},
      {"broken chunked encoding",
       [](HostileEngine& e, auto&, Reply& r) {
         raw(r, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked",
             "zz\r\n" + result_html(e.link("c")) + "\r\n0\r\n\r\n");
       }},
      {"chunk longer than announced",
       [](HostileEngine& e, auto&, Reply& r) {
         raw(r, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close",
             "3\r\n" + result_html(e.link("c")) + "\r\n");
       }},
      {"header block over 5000 bytes",
       [](HostileEngine& e, auto&, Reply& r) {
         r.send(200, result_html(e.link("c")), {{"X-Filler", std::string(6000, 'f')}});
       },
       "http://c.example/\r\n"},
      {"Location of 100 KB",
       [](auto&, auto&, Reply& r) {
         r.send(302, "", {{"Location", "/" + std::string(100 * 1024, 'l')}});
       }},
      {"Location with control characters",
       [](auto&, auto&, Reply& r) {
         raw(r, std::string("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: /x\x01\x7F\ty"),
             "");
       }},
      {"Location with a zero byte",
       [](auto&, auto&, Reply& r) {
         raw(r,
             std::string("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: /x") +
                 std::string("\0y", 2),
             "");
       }},
      {"redirect loop",
       [](auto&, auto&, Reply& r) {
         r.send(302, "", {{"Location", "/loop"}});
       }},
      {"invalid UTF-8 around a result",
       [](HostileEngine& e, auto&, Reply& r) {
         r.send(200, "\xC0\xAF\xED\xA0\x80\xF8\x88\x80\x80\x80 " + result_html(e.link("c")) +
                         " \xE4\xB8");
       },
       "http://c.example/\r\n"},
      {"invalid GBK around a result",
       [](HostileEngine& e, auto&, Reply& r) {
         r.send(200, "\x81\x7F\xFF\xFE\x80 " + result_html(e.link("c")) + " \x81");
       },
       "http://c.example/\r\n"},
      {"10 MB line that makes the result pattern backtrack",
       [](HostileEngine& e, auto&, Reply& r) { send_backtracking_page(r, e.link("c")); },
       "http://c.example/\r\n"},
  };
}

class HostilePageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(HostilePageTest, HarvestGetsPastThePage) {
  hostile::ShortLimits limits;
  HostileEngine engine(GetParam().page);
  MemoryHost host = engine.harvest();
  EXPECT_EQ(engine.offsets(), all_offsets());
  EXPECT_EQ(host.boxes[EditBox::results],
            "http://a.example/\r\n" + GetParam().added + "http://b.example/\r\n");
  EXPECT_TRUE(host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, HostilePageTest, ::testing::ValuesIn(page_cases()),
                         [](const ::testing::TestParamInfo<PageCase>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(HostileHarvestTest, RedirectsToOtherSchemesAreNotFollowed) {
  hostile::ShortLimits limits;
  hostile::SilentListener listener;
  ASSERT_NE(listener.port(), 0);
  // Were the file read as the page, its result would be appended.
  const std::string marker = result_html("file-was-read");
  const std::string file = ::testing::TempDir() + "hostile_redirect_target.html";
  {
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "w"), &std::fclose);
    ASSERT_TRUE(out);
    std::fputs(marker.c_str(), out.get());
  }
  const std::string at = "127.0.0.1:" + std::to_string(listener.port());
  for (const std::string& target :
       {"file://" + file, "ftp://" + at + "/", "gopher://" + at + "/", "dict://" + at + "/d:x"}) {
    SCOPED_TRACE(target);
    HostileEngine engine([&](auto&, auto&, Reply& r) { r.send(302, "", {{"Location", target}}); });
    MemoryHost host = engine.harvest();
    EXPECT_EQ(engine.offsets(), all_offsets());
    EXPECT_EQ(host.boxes[EditBox::results], "http://a.example/\r\nhttp://b.example/\r\n");
    EXPECT_FALSE(listener.connected());
  }
  std::remove(file.c_str());
}

TEST(HostileHarvestTest, ResolvesALinkOnTheIpv6Loopback) {
  LoopbackServer v6(
      [](const ReceivedRequest&, Reply& r) {
        r.send(302, "", {{"Location", "http://v6.example/"}});
      },
      true);
  const std::string v6_link = v6.url("/link");
  ASSERT_TRUE(v6_link.starts_with("http://[::1]:"));
  HostileEngine engine([&](auto&, auto&, Reply& r) { r.send(200, result_html(v6_link)); });
  MemoryHost host = engine.harvest();
  EXPECT_EQ(host.boxes[EditBox::results],
            "http://a.example/\r\nhttp://v6.example/\r\nhttp://b.example/\r\n");
  EXPECT_EQ(v6.requests().size(), 1u);
}

}  // namespace
}  // namespace tavrel
