// The harvest against the stub search engine on loopback, next to the same
// requests made by a bare libcurl loop: one keyword, 76 result pages of about
// 1 MB with ten results each, so 76 page requests and 760 link requests.
//
// Figures: wall time of each (real time), the harvest's time relative to the
// bare loop measured in the same iteration (harvest_vs_bare_curl), the
// process's peak resident memory before and after the harvest runs, and the
// time of the harvest's steps taken apart.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harvest/harvest_run.h"
#include "harvest/resolve_link.h"
#include "http/fetch_page.h"
#include "regex/regex_object.h"
#include "tests/stub/stub_search_engine.h"
#include "tests/support/memory_host.h"

namespace {

using tavrel::EditBox;
using tavrel::Text;
using tavrel::testing::MemoryHost;
using tavrel::testing::StubPage;
using tavrel::testing::StubResult;
using tavrel::testing::StubSearchEngine;

constexpr int kPages = 76;
constexpr int kResultsPerPage = 10;
constexpr std::size_t kPageBytes = std::size_t{1} << 20;

StubPage bench_page(std::string_view, int page) {
  StubPage stub_page;
  for (int i = 0; i < kResultsPerPage; ++i) {
    stub_page.results.push_back(
        {"http://www.site" + std::to_string(page * kResultsPerPage + i) + ".example/"});
  }
  return stub_page;
}

StubSearchEngine& engine() {
  static StubSearchEngine stub(bench_page, {.page_bytes = kPageBytes});
  return stub;
}

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// One GET on a fresh handle, as each request of the harvest is.
long bare_get(const std::string& url, std::string& body) {
  CURL* h = curl_easy_init();
  body.clear();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &keep_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(h);
  return status;
}

// The 836 requests of the harvest in the harvest's order, the links known in
// advance rather than picked out of the pages.
struct BareTimes {
  double pages_seconds = 0;
  double links_seconds = 0;
  double total() const { return pages_seconds + links_seconds; }
};

BareTimes bare_curl_loop() {
  using Clock = std::chrono::steady_clock;
  auto seconds_since = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  BareTimes times;
  std::string body;
  for (int page = 0; page < kPages; ++page) {
    auto start = Clock::now();
    bare_get("http://" + engine().host_port() + "/s?wd=bench&pn=" + std::to_string(page) +
                 "0&ie=utf-8&usm=1",
             body);
    benchmark::DoNotOptimize(body.data());
    times.pages_seconds += seconds_since(start);
    start = Clock::now();
    for (const StubResult& result : bench_page("bench", page).results) {
      bare_get(engine().link_url(result), body);
    }
    times.links_seconds += seconds_since(start);
  }
  return times;
}

void BM_BareCurlLoop(benchmark::State& state) {
  double pages_seconds = 0, links_seconds = 0;
  for (auto _ : state) {
    const BareTimes times = bare_curl_loop();
    pages_seconds += times.pages_seconds;
    links_seconds += times.links_seconds;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["requests"] = kPages * (kResultsPerPage + 1);
  state.counters["pages_ms"] = pages_seconds * 1000 / n;
  state.counters["links_ms"] = links_seconds * 1000 / n;
}

void BM_HarvestRun(benchmark::State& state) {
  tavrel::HarvestSettings settings;
  settings.search_host = engine().host_port();
  const long rss_before = peak_rss_kib();
  // One untimed round of each first, so that neither side pays alone for
  // what the first requests of the process set up.
  {
    MemoryHost host;
    host.boxes[EditBox::keywords] = "bench";
    tavrel::harvest_run_with(host, settings);
    bare_curl_loop();
  }
  double harvest_seconds = 0;
  double bare_seconds = 0;
  std::size_t results_bytes = 0;
  for (auto _ : state) {
    MemoryHost host;
    host.boxes[EditBox::keywords] = "bench";
    const auto start = std::chrono::steady_clock::now();
    tavrel::harvest_run_with(host, settings);
    harvest_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    results_bytes = host.boxes[EditBox::results].size();
    state.PauseTiming();
    bare_seconds += bare_curl_loop().total();
    state.ResumeTiming();
  }
  const long rss_after = peak_rss_kib();
  state.counters["harvest_vs_bare_curl"] = harvest_seconds / bare_seconds;
  state.counters["bare_curl_ms"] = bare_seconds * 1000 / static_cast<double>(state.iterations());
  state.counters["peak_rss_before_MiB"] = rss_before / 1024.0;
  state.counters["peak_rss_after_MiB"] = rss_after / 1024.0;
  state.counters["results_bytes"] = static_cast<double>(results_bytes);
}

// The harvest's steps one by one, each timed on its own, to show where the
// time of a run goes: page fetches, the result pattern, link requests.
void BM_HarvestSteps(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  auto ms_since = [](Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  double fetch_ms = 0, pattern_ms = 0, links_ms = 0;
  for (auto _ : state) {
    MemoryHost host;
    tavrel::RegexObject regex;
    for (int page = 0; page < kPages; ++page) {
      auto start = Clock::now();
      Text text = tavrel::fetch_page_text("http://" + engine().host_port() + "/s?wd=bench&pn=" +
                                          std::to_string(page) + "0&ie=utf-8&usm=1");
      fetch_ms += ms_since(start);
      start = Clock::now();
      regex.create(R"re(\{"title":".*?","url":"(.*?)"\}'>)re", std::move(text));
      const int matches = regex.match_count();
      std::vector<Text> links;
      for (int k = 1; k <= matches; ++k) links.push_back(regex.submatch_text(k, 1));
      pattern_ms += ms_since(start);
      start = Clock::now();
      for (Text& link : links) tavrel::resolve_result_link(host, link);
      links_ms += ms_since(start);
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["fetch_ms"] = fetch_ms / n;
  state.counters["pattern_ms"] = pattern_ms / n;
  state.counters["links_ms"] = links_ms / n;
}

BENCHMARK(BM_BareCurlLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HarvestRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_HarvestSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
