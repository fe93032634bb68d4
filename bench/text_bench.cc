// Speed of the text primitives on results-box sized inputs.
#include "text/text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace tavrel {
namespace {

constexpr std::size_t kResultsBoxBytes = 5 * 1024 * 1024;

// A results box as a long harvest leaves it: one address per line, CR LF
// after each. With chinese set, every other line carries a path of GBK
// characters, so about a third of the bytes are lead or trail bytes.
Text results_box(std::size_t bytes, bool chinese) {
  const char* const kHanzi[] = {"\xD6\xD0", "\xCE\xC4", "\xCD\xF8", "\xD5\xBE",
                                "\xB5\xD8", "\xCD\xBC", "\xD0\xC2", "\xCE\xC5"};
  Text box;
  box.reserve(bytes + 128);
  for (unsigned i = 0; box.size() < bytes; ++i) {
    box += "http://www.site";
    box += std::to_string(i * 7919u % 1000003u);
    box += ".com/";
    if (chinese && i % 2 == 0) {
      for (unsigned k = 0; k < 12; ++k) box += kHanzi[(i + k * 3) % 8];
      box += '/';
    } else {
      box += "index.html";
    }
    box += "\r\n";
  }
  return box;
}

const Text& box_of(bool chinese) {
  static const Text ascii = results_box(kResultsBoxBytes, false);
  static const Text mixed = results_box(kResultsBoxBytes, true);
  return chinese ? mixed : ascii;
}

// text_find over the whole box for an address it does not hold: the cost the
// harvest pays once per result to drop duplicates. The needle has the shape
// of most lines (same length, same first and last byte), so nearly every line
// is a candidate that must be compared and checked for a character boundary.
void BM_TextFindAbsent(benchmark::State& state) {
  const bool chinese = state.range(0) != 0;
  const bool ignore_case = state.range(1) != 0;
  const Text& box = box_of(chinese);
  const Text needle = "http://www.siteXXXXXX.com/";
  for (auto _ : state) {
    benchmark::DoNotOptimize(text_find(box, needle, std::nullopt, ignore_case));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(box.size()));
  state.SetLabel(std::string(chinese ? "with chinese" : "ascii") +
                 (ignore_case ? ", ignore_case" : ""));
}
BENCHMARK(BM_TextFindAbsent)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"chinese", "ignore_case"})
    ->Unit(benchmark::kMillisecond);

// Splitting and rewriting a whole box stay linear in its size.
void BM_TextSplitLines(benchmark::State& state) {
  const Text box = results_box(static_cast<std::size_t>(state.range(0)), true);
  for (auto _ : state) benchmark::DoNotOptimize(text_split(box, "\r\n"));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TextSplitLines)
    ->RangeMultiplier(4)
    ->Range(256 << 10, 4 << 20)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_TextReplaceLineBreaks(benchmark::State& state) {
  const Text box = results_box(static_cast<std::size_t>(state.range(0)), true);
  for (auto _ : state) benchmark::DoNotOptimize(text_replace(box, "\r\n", "\n"));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TextReplaceLineBreaks)
    ->RangeMultiplier(4)
    ->Range(256 << 10, 4 << 20)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrel

BENCHMARK_MAIN();
