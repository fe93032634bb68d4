// The code-page conversions over arbitrary bytes, both ways.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "text/codepage.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int code_pages[] = {kCodePageAnsi, kCodePageGbk, kCodePageUtf8};
  const int code_page = in.PickValueInArray(code_pages);
  const std::string t = in.ConsumeRemainingBytesAsString();
  const ByteSet units(t.begin(), t.end());

  check(!holds_zero(gbk_to_utf8(t)));
  const ByteSet utf16 = gbk_to_utf16(t);
  check(utf16.size() % 2 == 0);
  check(!holds_zero(utf16_to_gbk(utf16)));
  check(!holds_zero(utf16_to_gbk(units)));
  check(ansi_to_utf16(t, code_page).size() % 2 == 0);
  check(!holds_zero(utf16_to_ansi(units, code_page)));

  const std::u16string native = gbk_to_u16(t);
  check(!holds_zero(u16_to_gbk(native)));
  std::u16string raw(t.size() / 2, u'\0');
  std::memcpy(raw.data(), t.data(), raw.size() * 2);
  check(!holds_zero(u16_to_gbk(raw)));
  return 0;
}
