// A 1 MB page fetched from a loopback server with fetch_page_text, against a
// bare libcurl GET of the same page in the same run. Both open a fresh
// connection per request. The page fetch should cost at most 1.2 times the
// bare request.
#include <curl/curl.h>

#include <string>

#include <benchmark/benchmark.h>

#include "http/fetch_page.h"
#include "tests/support/loopback_server.h"

namespace {

using tavrel::testing::LoopbackServer;
using tavrel::testing::ReceivedRequest;
using tavrel::testing::Reply;

const std::string& page() {
  static const std::string body = [] {
    std::string b;
    b.reserve(1 << 20);
    while (b.size() < (1u << 20))
      b += "<div class=\"result\"><a href=\"/link?url=abcdef\">x</a></div>\n";
    b.resize(1 << 20);
    return b;
  }();
  return body;
}

LoopbackServer& server() {
  static LoopbackServer s([](const ReceivedRequest&, Reply& reply) { reply.send(200, page()); });
  return s;
}

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void BM_BareCurlGet(benchmark::State& state) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = server().url("/page");
  for (auto _ : state) {
    std::string body;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (body.size() != page().size()) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page().size()));
}
BENCHMARK(BM_BareCurlGet)->UseRealTime();

void BM_FetchPageText(benchmark::State& state) {
  const std::string url = server().url("/page");
  for (auto _ : state) {
    tavrel::Text body = tavrel::fetch_page_text(url);
    if (body.size() != page().size()) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page().size()));
}
BENCHMARK(BM_FetchPageText)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
