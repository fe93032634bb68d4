// The URL routines and text_between over arbitrary bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "fuzz/fuzz_check.h"
#include "http/url.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool domain_only = in.ConsumeBool();
  const bool keep_port = in.ConsumeBool();
  const bool ignore_case = in.ConsumeBool();
  const int number = in.ConsumeIntegral<int>();
  const std::string before = in.ConsumeRandomLengthString(16);
  const std::string after = in.ConsumeRandomLengthString(16);
  const std::string url = in.ConsumeRemainingBytesAsString();
  const std::size_t length = text_from(url).size();

  const Text between = text_between(url, before, after, number, ignore_case);
  check(between.size() <= length);

  const Text host = url_host(url, domain_only, keep_port);
  const Text by_dots = url_host(url, domain_only, keep_port, number);
  for (const Text& h : {host, by_dots}) {
    check(h.size() <= length);
    if (!keep_port) check(text_find(h, ":") == -1);
  }
  (void)url_port(url);
  const Text path = url_path(url);
  check(!path.empty() && path[0] == '/' && path.size() <= std::max<std::size_t>(length, 1));
  return 0;
}
