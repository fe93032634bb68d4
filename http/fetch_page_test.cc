#include "http/fetch_page.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "http/transport.h"
#include "tests/support/loopback_server.h"

namespace tavrel {
namespace {

using testing::HeaderList;
using testing::LoopbackServer;
using testing::ReceivedRequest;
using testing::Reply;

const std::string kFormType = "application/x-www-form-urlencoded";

// Shortens the transport's limits for one test.
class ScopedLimits {
 public:
  explicit ScopedLimits(transport::Limits limits) : previous_(transport::set_limits(limits)) {}
  ~ScopedLimits() { transport::set_limits(previous_); }

 private:
  transport::Limits previous_;
};

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A loopback port nothing listens on.
int closed_port() {
  int port;
  {
    LoopbackServer server([](const ReceivedRequest&, Reply&) {});
    port = server.port();
  }
  return port;
}

std::string as_string(const ByteSet& bytes) { return std::string(bytes.begin(), bytes.end()); }

ByteSet bytes_of(std::string_view s) { return ByteSet(s.begin(), s.end()); }

// Answers every request with a fixed body and echoes nothing.
void answer_ok(const ReceivedRequest&, Reply& reply) { reply.send(200, "page body"); }

TEST(FetchPage, SendsExactlyTheDefaultHeaderBlock) {
  LoopbackServer server(answer_ok);
  std::string url = server.url("/s?wd=%E4%BD%A0&pn=0");
  PageRequest r{.url = url};
  EXPECT_EQ(as_string(fetch_page(r)), "page body");

  std::string block =
      "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\nContent-Type: " + kFormType;
  EXPECT_EQ(r.extra_headers, block);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].head,
            "GET /s?wd=%E4%BD%A0&pn=0 HTTP/1.1\r\nHost: " + server.host_port() +
                "\r\nUser-Agent: " + std::string(kDefaultUserAgent) + "\r\n" + block + "\r\n\r\n");
  EXPECT_TRUE(r.raw_headers.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_TRUE(r.raw_headers.ends_with("Connection: close\r\n\r\n"));
  EXPECT_EQ(r.returned_cookies, "");
}

TEST(FetchPage, CompletesCallersHeaderBlock) {
  struct Case {
    std::string extra;
    std::string agent_on_wire;
    std::vector<std::string> lines_after_extra;  // default lines appended
  };
  const std::vector<Case> cases = {
      // A lower-case Accept is another name to the case-sensitive test.
      {"accept: text/html",
       std::string(kDefaultUserAgent),
       {"Accept: */*", "Referer: URL", "Accept-Language: zh-cn", "Content-Type: " + kFormType}},
      {"User-Agent: X",
       "X",
       {"Accept: */*", "Referer: URL", "Accept-Language: zh-cn", "Content-Type: " + kFormType}},
      // The agent name is read from the whole block, and cut at its line break.
      {"X-Note: user-agent: a\r\nX-Other: b",
       "user-agent: a",
       {"Accept: */*", "Referer: URL", "Accept-Language: zh-cn", "Content-Type: " + kFormType}},
      {"Accept: text/html\r\nReferer: r\r\nAccept-Language: en\r\nContent-Type: text/plain",
       std::string(kDefaultUserAgent),
       {}},
  };
  LoopbackServer server(answer_ok);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra);
    server.clear_requests();
    std::string url = server.url("/h");
    PageRequest r{.url = url, .extra_headers = c.extra};
    fetch_page(r);
    std::string expected = c.extra;
    for (std::string line : c.lines_after_extra) {
      if (line == "Referer: URL") line = "Referer: " + url;
      expected += "\r\n" + line;
    }
    EXPECT_EQ(r.extra_headers, expected);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const ReceivedRequest& got = requests[0];
    EXPECT_EQ(got.header("User-Agent"), c.agent_on_wire);
    EXPECT_NE(got.head.find("\r\n" + expected + "\r\n\r\n"), std::string::npos) << got.head;
    // Host, the block's lines and the agent line the client adds when the
    // block has none: nothing else, nothing injected.
    std::size_t lines = 1;
    for (std::size_t p = expected.find("\r\n"); p != std::string::npos;
         p = expected.find("\r\n", p + 2)) {
      ++lines;
    }
    bool agent_in_block = c.extra.starts_with("User-Agent:");
    EXPECT_EQ(got.headers.size(), 1 + lines + (agent_in_block ? 0 : 1));
  }
}

TEST(FetchPage, MethodsAndBodies) {
  struct Case {
    int method;
    std::string post_text;
    std::string post_bytes;
    std::string verb;
    std::string body_on_wire;
    std::string post_bytes_after;
  };
  const std::vector<Case> cases = {
      {0, "a=1", "", "GET", "", ""},
      {1, "a=1&b=2", "", "POST", "a=1&b=2", "a=1&b=2"},
      {1, "ignored", std::string("\x00\x01\xFFz", 4), "POST", std::string("\x00\x01\xFFz", 4),
       std::string("\x00\x01\xFFz", 4)},
      {1, "", "", "POST", "", ""},
      {2, "", "", "HEAD", "", ""},
      // A HEAD sends no body, though the caller's bytes are filled in.
      {2, "h=1", "", "HEAD", "", "h=1"},
      {7, "a=1", "", "GET", "", ""},
      {-1, "a=1", "", "GET", "", ""},
  };
  LoopbackServer server([](const ReceivedRequest& request, Reply& reply) {
    reply.send(200, "answer to " + request.method);
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    server.clear_requests();
    PageRequest r{.url = server.url("/m"),
                  .method = c.method,
                  .post_text = c.post_text,
                  .post_bytes = bytes_of(c.post_bytes)};
    ByteSet body = fetch_page(r);
    EXPECT_EQ(as_string(body), c.verb == "HEAD" ? "" : "answer to " + c.verb);
    EXPECT_TRUE(r.raw_headers.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(as_string(r.post_bytes), c.post_bytes_after);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const ReceivedRequest& got = requests[0];
    EXPECT_EQ(got.method, c.verb);
    EXPECT_EQ(got.body, c.body_on_wire);
    if (c.verb == "POST") {
      EXPECT_EQ(got.header("Content-Length"), std::to_string(c.body_on_wire.size()));
    } else {
      EXPECT_FALSE(got.has_header("Content-Length"));
    }
    EXPECT_FALSE(got.has_header("Expect"));
    EXPECT_EQ(got.header("Content-Type"), kFormType);
  }
}

// Sets two cookies, scoped to /jar so that they stay out of other tests'
// requests through the process-wide store.
void set_two_cookies(const ReceivedRequest&, Reply& reply) {
  reply.send(200, "", {{"Set-Cookie", "a=1; Path=/jar"}, {"set-cookie", "b=2"}});
}

TEST(FetchPage, ReturnsCookiesTheServerSet) {
  LoopbackServer server(set_two_cookies);
  PageRequest omitted{.url = server.url("/jar/x")};
  fetch_page(omitted);
  EXPECT_EQ(omitted.returned_cookies, "a=1; b=2");
  EXPECT_NE(omitted.raw_headers.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos);

  PageRequest empty{.url = server.url("/jar/x"), .cookie = ""};
  fetch_page(empty);
  EXPECT_EQ(empty.returned_cookies, "a=1;b=2");
  EXPECT_EQ(empty.cookie, "a=1; b=2");
  EXPECT_EQ(empty.extra_headers.find("Cookie:"), std::string::npos);
}

TEST(FetchPage, MergesCallersCookieText) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) {
    reply.send(200, "", {{"Set-Cookie", "b=3; Path=/jar"}, {"Set-Cookie", "d=deleted"}});
  });
  PageRequest r{.url = server.url("/jar/m"), .cookie = "a=1; b=2; d=4"};
  fetch_page(r);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].header("Cookie"), "a=1; b=2; d=4");
  EXPECT_TRUE(r.extra_headers.ends_with("\r\nCookie: a=1; b=2; d=4"));
  EXPECT_EQ(r.cookie, "b=3; a=1");
  EXPECT_EQ(r.returned_cookies, "b=3;d=deleted");
}

TEST(FetchPage, KeepsServerCookiesAcrossCallsAndThreads) {
  LoopbackServer server([](const ReceivedRequest& request, Reply& reply) {
    if (request.target == "/kept/login") {
      reply.send(200, "", {{"Set-Cookie", "sid=abc; Path=/kept"}});
    } else if (request.target == "/kept/other") {
      reply.send(200, "", {{"Set-Cookie", "other=1; Path=/kept"}});
    } else {
      reply.send(200, "");
    }
  });
  PageRequest login{.url = server.url("/kept/login")};
  fetch_page(login);

  std::thread worker([&] { fetch_page_text(server.url("/kept/a")); });
  worker.join();
  // A caller who keeps cookies itself neither sees nor changes the store.
  PageRequest own{.url = server.url("/kept/other"), .cookie = ""};
  fetch_page(own);
  EXPECT_EQ(own.cookie, "other=1");
  fetch_page_text(server.url("/kept/b"));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_FALSE(requests[0].has_header("Cookie"));
  EXPECT_EQ(requests[1].header("Cookie"), "sid=abc");
  EXPECT_FALSE(requests[2].has_header("Cookie"));
  EXPECT_EQ(requests[3].header("Cookie"), "sid=abc");
}

TEST(FetchPage, RedirectsFollowedOrReturned) {
  LoopbackServer server([](const ReceivedRequest& request, Reply& reply) {
    if (request.target == "/old") {
      reply.send(302, "moved", {{"Location", "/new"}});
    } else if (request.target == "/loop") {
      reply.send(302, "again", {{"Location", "/loop"}});
    } else if (request.target == "/file") {
      reply.send(302, "elsewhere", {{"Location", "file:///etc/hostname"}});
    } else {
      reply.send(200, "new page", {{"Set-Cookie", "n=1; Path=/new"}});
    }
  });
  struct Case {
    std::string path;
    bool no_redirect;
    std::string body;
    std::string status_line;
  };
  const std::vector<Case> cases = {
      {"/old", false, "new page", "HTTP/1.1 200 OK"},
      {"/old", true, "moved", "HTTP/1.1 302 Found"},
      {"/loop", false, "", "HTTP/1.1 302 Found"},
      {"/file", false, "", "HTTP/1.1 302 Found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + (c.no_redirect ? " not followed" : " followed"));
    PageRequest r{.url = server.url(c.path), .cookie = "", .no_redirect = c.no_redirect};
    EXPECT_EQ(as_string(fetch_page(r)), c.body);
    EXPECT_TRUE(r.raw_headers.starts_with(c.status_line + "\r\n")) << r.raw_headers;
    EXPECT_EQ(r.returned_cookies, c.body == "new page" ? "n=1" : "");
  }
  // The loop is cut off after a bounded number of hops.
  int loops = 0;
  for (const ReceivedRequest& request : server.requests()) loops += request.target == "/loop";
  EXPECT_EQ(loops, transport::kMaxRedirects + 1);
}

TEST(FetchPage, GoesThroughTheGivenProxy) {
  LoopbackServer proxy([](const ReceivedRequest& request, Reply& reply) {
    if (request.method == "CONNECT") {
      reply.close();  // no tunnel: the https request fails quietly
    } else {
      reply.send(200, "proxied");
    }
  });
  // The target is a closed loopback port: only the proxy can answer.
  std::string target = "127.0.0.1:" + std::to_string(closed_port());
  std::string url = "http://" + target + "/via?q=1";
  PageRequest r{.url = url, .proxy = proxy.host_port()};
  EXPECT_EQ(as_string(fetch_page(r)), "proxied");
  PageRequest secure{.url = "https://" + target + "/s", .proxy = proxy.host_port()};
  EXPECT_TRUE(fetch_page(secure).empty());

  auto requests = proxy.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, url);
  EXPECT_FALSE(requests[0].has_header("Proxy-Connection"));
  EXPECT_EQ(requests[0].header("Referer"), url);
  EXPECT_EQ(requests[1].method, "CONNECT");
  EXPECT_EQ(requests[1].target, target);
}

TEST(FetchPage, DirectConnectionIgnoresProxyEnvironment) {
  LoopbackServer env_proxy([](const ReceivedRequest&, Reply& reply) { reply.send(200, "wrong"); });
  LoopbackServer server(answer_ok);
  std::string proxy_url = "http://" + env_proxy.host_port();
  ScopedEnv a("http_proxy", proxy_url), b("HTTPS_PROXY", proxy_url), c("ALL_PROXY", proxy_url),
      d("no_proxy", "");
  EXPECT_EQ(fetch_page_text(server.url("/direct")), "page body");
  EXPECT_TRUE(env_proxy.requests().empty());
}

TEST(FetchPage, BodyWithZeroByte) {
  const std::string body("ab\0cd", 5);
  LoopbackServer server([&](const ReceivedRequest&, Reply& reply) { reply.send(200, body); });
  PageRequest r{.url = server.url("/z")};
  EXPECT_EQ(as_string(fetch_page(r)), body);
  EXPECT_EQ(fetch_page_text(server.url("/z")), "ab");
}

TEST(FetchPage, LargeBodyArrivesWhole) {
  std::string body;
  for (int i = 0; body.size() < 300000; ++i) body += std::to_string(i) + ",";
  LoopbackServer server([&](const ReceivedRequest&, Reply& reply) { reply.send(200, body); });
  EXPECT_EQ(fetch_page_text(server.url("/big")), body);
}

TEST(FetchPage, OversizedBodyIsCut) {
  ScopedLimits limits({.max_body_bytes = 100000});
  LoopbackServer server(
      [](const ReceivedRequest&, Reply& reply) { reply.send(200, std::string(250000, 'x')); });
  PageRequest r{.url = server.url("/huge")};
  EXPECT_EQ(as_string(fetch_page(r)), std::string(100000, 'x'));
  EXPECT_TRUE(r.raw_headers.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST(FetchPage, HeaderBlockTooLongForTheBuffer) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) {
    reply.send(200, "body", {{"Set-Cookie", "c=1; Path=/jar"}, {"X-Long", std::string(5000, 'y')}});
  });
  PageRequest r{.url = server.url("/jar/long"), .cookie = "k=1"};
  EXPECT_EQ(as_string(fetch_page(r)), "body");
  EXPECT_EQ(r.raw_headers, std::string(5000, ' '));
  EXPECT_EQ(r.returned_cookies, "");
  EXPECT_EQ(r.cookie, "k=1");
}

TEST(FetchPage, SilentServerTimesOut) {
  ScopedLimits limits({.stall_timeout = std::chrono::milliseconds(300)});
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) { reply.idle(60000); });
  PageRequest r{.url = server.url("/silent")};
  EXPECT_TRUE(fetch_page(r).empty());
  EXPECT_EQ(r.raw_headers, std::string(5000, ' '));
}

TEST(FetchPage, StalledBodyTimesOutWithWhatArrived) {
  ScopedLimits limits({.stall_timeout = std::chrono::milliseconds(300)});
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) {
    reply.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
    reply.idle(60000);
  });
  PageRequest r{.url = server.url("/stall")};
  EXPECT_EQ(as_string(fetch_page(r)), "part");
  EXPECT_TRUE(r.raw_headers.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST(FetchPage, RefusedConnectionGivesEmptyBody) {
  std::string url = "http://127.0.0.1:" + std::to_string(closed_port()) + "/";
  PageRequest r{.url = url, .cookie = "k=1"};
  EXPECT_TRUE(fetch_page(r).empty());
  EXPECT_EQ(r.raw_headers, std::string(5000, ' '));
  EXPECT_EQ(r.cookie, "k=1");
  EXPECT_TRUE(r.extra_headers.starts_with("Accept: */*"));
}

TEST(FetchPage, UnusableRequestsSendNothingAndTouchNothing) {
  LoopbackServer server(answer_ok);
  const std::string port = std::to_string(server.port());
  const std::vector<std::string> urls = {
      "file:///etc/hostname",
      "ftp://127.0.0.1:" + port + "/",
      "gopher://127.0.0.1:" + port + "/",
      "dict://127.0.0.1:" + port + "/",
      "http://127.0.0.1:" + port + "/a\r\nX-Injected: 1",
      "http://127.0.0.1:0/",
      "http://127.0.0.1:70000/",
      "http:///nohost",
  };
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    PageRequest r{.url = url,
                  .method = 1,
                  .cookie = "c=1",
                  .returned_cookies = "rc",
                  .extra_headers = "X: 1",
                  .raw_headers = "raw",
                  .proxy = ""};
    EXPECT_TRUE(fetch_page(r).empty());
    EXPECT_EQ(r.cookie, "c=1");
    EXPECT_EQ(r.returned_cookies, "rc");
    EXPECT_EQ(r.extra_headers, "X: 1");
    EXPECT_EQ(r.raw_headers, "raw");
    EXPECT_TRUE(r.post_bytes.empty());
  }
  EXPECT_FALSE(server.wait_for_requests(1, 100));
}

TEST(FetchPage, HttpsToAPlainServerFailsQuietly) {
  // The handshake never completes: the server waits for a request head.
  ScopedLimits limits({.connect_timeout = std::chrono::milliseconds(300)});
  LoopbackServer server(answer_ok);
  PageRequest r{.url = "https://" + server.host_port() + "/"};
  EXPECT_TRUE(fetch_page(r).empty());
  EXPECT_EQ(r.raw_headers, std::string(5000, ' '));
}

TEST(HeaderValue, TakesTheTextAfterTheFirstColon) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Location:  http://a/b?c=d ", "http://a/b?c=d"},
      {"Name:", ""},
      {"no colon", ""},
      {"", ""},
      {"a: b: c", "b: c"},
      {"X:\xA1\xA1v\xA1\xA1", "v"},
  };
  for (const auto& [header, value] : cases) EXPECT_EQ(header_value(header), value) << header;
}

}  // namespace
}  // namespace tavrel
