// Encoding keywords into query terms: the cost must grow linearly with the
// keyword, from a short keyword line up to a pasted 100 KB block, and a
// harvest encodes every keyword once per result page.
#include <benchmark/benchmark.h>

#include <string>

#include "harvest/query_term.h"

namespace tavrel {
namespace {

// GBK: a mix of ASCII letters, spaces and two-byte characters (中文).
Text keyword_of(std::size_t bytes) {
  Text k;
  while (k.size() < bytes) k += "abc \xD6\xD0\xCE\xC4-9 ";
  k.resize(bytes);
  return k;
}

void BM_EncodeUtf8(benchmark::State& state) {
  const Text keyword = keyword_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(encode_query_term(keyword, true, true));
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_EncodeUtf8)->RangeMultiplier(4)->Range(16, 400 << 10)->Complexity(benchmark::oN);

void BM_EncodeGbkEscapeAll(benchmark::State& state) {
  const Text keyword = keyword_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(encode_query_term(keyword, false, false));
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_EncodeGbkEscapeAll)
    ->RangeMultiplier(4)
    ->Range(16, 400 << 10)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace tavrel

BENCHMARK_MAIN();
