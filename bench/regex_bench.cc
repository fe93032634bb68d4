// The result pattern over search pages: a realistic 1 MB page, from create
// through reading every link, and a hostile 10 MB page that the match limit
// has to cut short.
#include <benchmark/benchmark.h>

#include <string>

#include "regex/regex_object.h"
#include "text/codepage.h"

namespace tavrel {
namespace {

const Text kResultPattern = R"re(\{"title":".*?","url":"(.*?)"\}'>)re";

// GBK bytes of a few common characters: 中 文 网 站 新 闻.
const Text kChinese = "\xD6\xD0\xCE\xC4\xCD\xF8\xD5\xBE\xD0\xC2\xCE\xC5";

Text filler_script(std::size_t bytes, int seed) {
  Text s = "<script>";
  int i = seed;
  while (s.size() < bytes) {
    s += "var o" + std::to_string(i) + "={\"k\":\"" + kChinese + "\",\"n\":" + std::to_string(i) +
         "};if(o" + std::to_string(i) + ".n>3){f('" + kChinese + "',\"a\\\"b\");}";
    ++i;
  }
  return s + "</script>";
}

Text filler_style(std::size_t bytes) {
  Text s = "<style>";
  int i = 0;
  while (s.size() < bytes) {
    s += ".c-r" + std::to_string(i++) + "{margin:0 0 8px;font:13px/1.5 arial;color:#333}";
  }
  return s + "</style>";
}

// About 1 MB on one line with ten results between long scripts and styles.
Text result_page() {
  Text page = "<!DOCTYPE html><html><head><meta charset=\"gbk\">" + filler_style(60'000) +
              filler_script(60'000, 0) + "</head><body>";
  for (int r = 0; r < 10; ++r) {
    page += "<div class=\"result c-container\" id=\"" + std::to_string(r + 1) +
            "\" data-tools='{\"title\":\"" + kChinese + " " + kChinese + "_" + std::to_string(r) +
            "\",\"url\":\"http://www.example.invalid/link?url=Xq" + std::to_string(r) +
            "aZ9bC0dE1fG2hI3jK4lM5nO6pQ7rS8tU9vW\"}'><h3 class=\"t\">" + kChinese + "</h3></div>";
    page += filler_script(45'000, r * 1000) + filler_style(45'000);
  }
  return page + "</body></html>";
}

// 10 MB on one line: 100,000 openings of a result, none of them closed.
Text hostile_page() {
  const Text opening = "{\"title\":\"" + kChinese + "\",\"url\":\"http://x.invalid/";
  Text page;
  while (page.size() < 10'000'000) {
    page += opening;
    page.append(100 - opening.size(), 'q');
  }
  return page;
}

void BM_ResultPage(benchmark::State& state) {
  const Text page = result_page();
  std::size_t links = 0;
  for (auto _ : state) {
    RegexObject re;
    re.create(kResultPattern, page);
    const int count = re.match_count();
    for (int k = 1; k <= count; ++k) links += re.submatch_text(k, 1).size();
    benchmark::DoNotOptimize(links);
    state.counters["matches"] = count;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_ResultPage)->Unit(benchmark::kMillisecond);

// The conversion alone, to see its share of the page figure.
void BM_ResultPageConversion(benchmark::State& state) {
  const Text page = result_page();
  for (auto _ : state) benchmark::DoNotOptimize(gbk_to_u16(page));
}
BENCHMARK(BM_ResultPageConversion)->Unit(benchmark::kMillisecond);

void BM_HostilePage(benchmark::State& state) {
  const Text page = hostile_page();
  for (auto _ : state) {
    RegexObject re;
    re.create(kResultPattern, page);
    state.counters["matches"] = re.match_count();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_HostilePage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrel

BENCHMARK_MAIN();
