// Speed of the text primitives on results-box sized inputs.
#include "text/codepage.h"
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

// --- Code page conversion ------------------------------------------------------

constexpr std::size_t kMegabyte = 1 << 20;

// About 1 MB of GBK shaped like a results page: runs of ASCII markup and
// addresses between runs of Chinese characters, roughly half and half.
Text mixed_gbk_text(std::size_t size) {
  Text t;
  t.reserve(size + 64);
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  while (t.size() < size) {
    t += "<a href=\"http://www.example";
    t += std::to_string(next() % 1000);
    t += ".com/\">";
    for (int k = 0, n = 4 + next() % 12; k < n; ++k) {
      t += char(0xB0 + next() % 0x48);  // GB2312 hanzi rows B0..F7
      t += char(0xA1 + next() % 0x5E);
    }
    t += "</a>\r\n";
  }
  t.resize(size);
  if (static_cast<unsigned char>(t.back()) >= 0x80) t.back() = ' ';
  return t;
}

void BM_GbkToUtf16(benchmark::State& state) {
  const Text text = mixed_gbk_text(kMegabyte);
  for (auto _ : state) {
    ByteSet units = gbk_to_utf16(text);
    benchmark::DoNotOptimize(units.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_GbkToUtf16)->Unit(benchmark::kMillisecond);

void BM_Utf16ToGbk(benchmark::State& state) {
  const Text text = mixed_gbk_text(kMegabyte);
  const ByteSet units = gbk_to_utf16(text);
  for (auto _ : state) {
    Text back = utf16_to_gbk(units);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf16ToGbk)->Unit(benchmark::kMillisecond);

// The same text with a combining acute accent after every 500th unit, so the
// composition step has work to do throughout.
void BM_Utf16ToGbkWithMarks(benchmark::State& state) {
  const std::u16string plain = gbk_to_u16(mixed_gbk_text(kMegabyte));
  ByteSet units;
  units.reserve(plain.size() * 2 + 4096);
  for (std::size_t k = 0; k < plain.size(); ++k) {
    units.push_back(static_cast<std::uint8_t>(plain[k] & 0xFF));
    units.push_back(static_cast<std::uint8_t>(plain[k] >> 8));
    if (k % 500 == 0) {
      units.push_back(0x01);
      units.push_back(0x03);
    }
  }
  for (auto _ : state) {
    Text back = utf16_to_gbk(units);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * units.size() / 2));
}
BENCHMARK(BM_Utf16ToGbkWithMarks)->Unit(benchmark::kMillisecond);

void BM_GbkToUtf8(benchmark::State& state) {
  const Text text = mixed_gbk_text(kMegabyte);
  for (auto _ : state) {
    Text utf8 = gbk_to_utf8(text);
    benchmark::DoNotOptimize(utf8.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_GbkToUtf8)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrel

BENCHMARK_MAIN();
