#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace tavrel::testing {
namespace {

// Connects to the server, writes raw bytes, reads until the server closes.
std::string exchange(const LoopbackServer& server, bool ipv6, std::string_view request) {
  int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  int rc;
  if (ipv6) {
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    addr.sin6_port = htons(static_cast<uint16_t>(server.port()));
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } else {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(server.port()));
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }
  EXPECT_EQ(rc, 0);
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string response;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) response.append(buffer, n);
  ::close(fd);
  return response;
}

class LoopbackServerFamilies : public ::testing::TestWithParam<bool> {};

TEST_P(LoopbackServerFamilies, ParsesRequestAndSendsResponse) {
  bool ipv6 = GetParam();
  LoopbackServer server(
      [](const ReceivedRequest& r, Reply& reply) {
        reply.send(200, "got " + r.body, {{"X-Echo", r.header("x-name")}});
      },
      ipv6);
  EXPECT_EQ(server.url("/a"),
            (ipv6 ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(server.port()) + "/a");

  std::string head =
      "POST /p?q=1 HTTP/1.1\r\nHost: h\r\nX-Name:  v w \r\nContent-Length: 5\r\n\r\n";
  std::string response = exchange(server, ipv6, head + "hello");
  EXPECT_EQ(response,
            "HTTP/1.1 200 OK\r\nX-Echo: v w\r\nContent-Length: 9\r\nConnection: close\r\n\r\n"
            "got hello");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/p?q=1");
  EXPECT_EQ(r.version, "HTTP/1.1");
  EXPECT_EQ(r.head, head);
  EXPECT_EQ(r.body, "hello");
  ASSERT_EQ(r.headers.size(), 3u);
  EXPECT_EQ(r.headers[1].first, "X-Name");
  EXPECT_TRUE(r.has_header("content-length"));
  EXPECT_FALSE(r.has_header("Cookie"));

  server.clear_requests();
  EXPECT_TRUE(server.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Ipv4AndIpv6, LoopbackServerFamilies, ::testing::Values(false, true));

TEST(LoopbackServer, HeadResponseCarriesLengthButNoBody) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) { reply.send(200, "abc"); });
  EXPECT_EQ(exchange(server, false, "HEAD / HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n");
}

TEST(LoopbackServer, ThrowingHandlerLosesOnlyItsConnection) {
  std::atomic<int> calls{0};
  LoopbackServer server([&](const ReceivedRequest&, Reply& reply) {
    if (calls++ == 0) throw std::runtime_error("boom");
    reply.send(204, "");
  });
  EXPECT_EQ(exchange(server, false, "GET / HTTP/1.1\r\n\r\n"), "");
  EXPECT_NE(exchange(server, false, "GET / HTTP/1.1\r\n\r\n").find("204"), std::string::npos);
}

TEST(LoopbackServer, DestructorWakesIdleHandlersAndSilentClients) {
  std::atomic<bool> idle_returned_false{false};
  std::promise<void> written;
  auto server = std::make_unique<LoopbackServer>([&](const ReceivedRequest&, Reply& reply) {
    reply.write("HTTP/1.1 200 OK\r\n");
    written.set_value();
    idle_returned_false = !reply.idle(600000);
  });
  // One client that is answered slowly, and one that never sends a request.
  int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(server->port()));
  ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

  std::string partial;
  std::thread client([&] { partial = exchange(*server, false, "GET / HTTP/1.1\r\n\r\n"); });
  ASSERT_EQ(written.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

  server.reset();  // would hang for ten minutes if idle() were not woken
  client.join();
  ::close(silent);
  EXPECT_TRUE(idle_returned_false);
  EXPECT_EQ(partial, "HTTP/1.1 200 OK\r\n");
}

TEST(LoopbackServer, WaitForRequestsTimesOut) {
  LoopbackServer server([](const ReceivedRequest&, Reply& reply) { reply.close(); });
  EXPECT_FALSE(server.wait_for_requests(1, 50));
}

}  // namespace
}  // namespace tavrel::testing
