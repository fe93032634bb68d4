#include "text/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace tavrel {
namespace {

// "61 00 E2" -> the bytes 0x61 0x00 0xE2.
ByteSet hex(std::string_view spaced) {
  ByteSet out;
  for (std::size_t i = 0; i + 1 < spaced.size(); i += 3) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(spaced.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::string hex_of(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
    out += buf;
  }
  return out;
}

std::string hex_of(const ByteSet& bytes) {
  return hex_of(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Text text_of(std::string_view spaced) {
  const ByteSet b = hex(spaced);
  return Text(b.begin(), b.end());
}

struct Case {
  const char* input;     // hex bytes
  const char* expected;  // hex bytes
};

void PrintTo(const Case& c, std::ostream* os) { *os << "[" << c.input << "]"; }

// --- GBK to UTF-8 ------------------------------------------------------------

class GbkToUtf8 : public ::testing::TestWithParam<Case> {};

TEST_P(GbkToUtf8, GivesTheUtf8Bytes) {
  EXPECT_EQ(hex_of(gbk_to_utf8(text_of(GetParam().input))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkToUtf8,
    ::testing::Values(Case{"", ""}, Case{"61 62 63", "61 62 63"}, Case{"B0 A1", "E5 95 8A"},  // 啊
                      Case{"61 B0 A1 2D D6 D0 62", "61 E5 95 8A 2D E4 B8 AD 62"},  // a啊-中b
                      Case{"80", "E2 82 AC"},                                      // euro sign
                      Case{"80 80 80", "E2 82 AC E2 82 AC E2 82 AC"},  // 3 bytes become 9
                      Case{"FF", "EF A3 B5"},                          // U+F8F5
                      Case{"61 B0", "61 EF BF BD"},                    // lead byte at the end
                      Case{"81 30 61", "EF BF BD 30 61"},              // invalid trail is kept
                      Case{"B0 0A B0 A1", "EF BF BD 0A E5 95 8A"},     // line break after a lead
                      Case{"61 00 62", "61"}));                        // a Text ends at zero

// --- GBK to UTF-16 -----------------------------------------------------------

class GbkToUtf16 : public ::testing::TestWithParam<Case> {};

TEST_P(GbkToUtf16, GivesTerminatedUnits) {
  const Text in = text_of(GetParam().input);
  EXPECT_EQ(hex_of(gbk_to_utf16(in)), GetParam().expected);
  // Same result the native way, without the framing.
  const ByteSet framed = gbk_to_utf16(in);
  const std::u16string units = gbk_to_u16(in);
  ASSERT_EQ(framed.size(), units.empty() ? 0 : units.size() * 2 + 2);
  for (std::size_t k = 0; k < units.size(); ++k) {
    EXPECT_EQ(units[k], framed[2 * k] | framed[2 * k + 1] << 8);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GbkToUtf16,
                         ::testing::Values(Case{"", ""}, Case{"61 62", "61 00 62 00 00 00"},
                                           Case{"B0 A1", "4A 55 00 00"},
                                           Case{"80 FF", "AC 20 F5 F8 00 00"},
                                           Case{"B0", "FD FF 00 00"},
                                           Case{"81 30 61", "FD FF 30 00 61 00 00 00"},
                                           Case{"FD 9C", "2C F9 00 00"}));

// --- UTF-16 to GBK -----------------------------------------------------------

class Utf16ToGbk : public ::testing::TestWithParam<Case> {};

TEST_P(Utf16ToGbk, GivesGbkBytes) {
  const ByteSet in = hex(GetParam().input);
  EXPECT_EQ(hex_of(utf16_to_gbk(in)), GetParam().expected);
  std::u16string units;
  for (std::size_t k = 0; k + 1 < in.size(); k += 2) units += char16_t(in[k] | in[k + 1] << 8);
  EXPECT_EQ(hex_of(u16_to_gbk(units)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToGbk,
    ::testing::Values(Case{"", ""}, Case{"61 00 62 00", "61 62"},
                      Case{"61 00 62 00 00 00", "61 62"}, Case{"61 00 00 00 62 00", "61"},
                      Case{"61 00 62", "61"},  // odd last byte ignored
                      Case{"4A 55 AC 20 F5 F8", "B0 A1 80 FF"}, Case{"E9 00", "A8 A6"},  // é
                      Case{"65 00 01 03", "A8 A6"},                 // e + acute composes to é
                      Case{"75 00 08 03 04 03 61 00", "A8 B5 61"},  // u + diaeresis + macron
                      Case{"62 00 01 03 62 00", "62 3F 62"},        // no composed form in GBK
                      Case{"01 03 61 00", "3F 61"},                 // a mark with no base
                      Case{"3A 26 61 00", "3F 61"},                 // not in GBK
                      Case{"00 D8 61 00", "3F 61"},                 // unpaired high surrogate
                      Case{"61 00 00 DC", "61 3F"},                 // unpaired low surrogate
                      Case{"61 00 00 D8", "61 3F"},                 // high surrogate at the end
                      Case{"2C F9", "FD 9C"},                       // compatibility ideograph kept
                      Case{"2C F9 01 03", "FD 9C 3F"}));

// --- Any code page -----------------------------------------------------------

struct PageCase {
  int code_page;
  const char* input;
  const char* expected;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.code_page << " [" << c.input << "]"; }

class AnsiToUtf16 : public ::testing::TestWithParam<PageCase> {};

TEST_P(AnsiToUtf16, ReadsTheCodePage) {
  EXPECT_EQ(hex_of(ansi_to_utf16(text_of(GetParam().input), GetParam().code_page)),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AnsiToUtf16,
                         ::testing::Values(PageCase{kCodePageUtf8, "", ""},
                                           PageCase{kCodePageUtf8, "C3 A9", "E9 00 00 00"},
                                           PageCase{kCodePageUtf8, "C3 61", "FD FF 61 00 00 00"},
                                           PageCase{kCodePageUtf8, "F0 9F 98 80",
                                                    "3D D8 00 DE 00 00"},
                                           PageCase{kCodePageUtf8, "61 E5 95", "61 00 FD FF 00 00"},
                                           PageCase{kCodePageAnsi, "B0 A1", "4A 55 00 00"},
                                           PageCase{kCodePageGbk, "80", "AC 20 00 00"}));

TEST(AnsiToUtf16, ReadsUtf8WhenNoCodePageIsGiven) {
  EXPECT_EQ(hex_of(ansi_to_utf16(text_of("E5 95 8A"))), "4A 55 00 00");
}

class Utf16ToAnsi : public ::testing::TestWithParam<PageCase> {};

TEST_P(Utf16ToAnsi, WritesTheCodePage) {
  EXPECT_EQ(hex_of(utf16_to_ansi(hex(GetParam().input), GetParam().code_page)),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToAnsi,
    ::testing::Values(PageCase{kCodePageAnsi, "", ""},
                      PageCase{kCodePageAnsi, "4A 55 00 00", "B0 A1"},
                      PageCase{kCodePageUtf8, "4A 55 00 00", "E5 95 8A"},
                      PageCase{kCodePageUtf8, "61 00 00 00 62 00 00 00", "61"},
                      PageCase{kCodePageUtf8, "AC 20 AC 20 AC 20 00 00",
                               "E2 82 AC E2 82 AC E2 82 AC"},
                      PageCase{kCodePageUtf8, "00 D8 61 00 00 00", "EF BF BD 61"},
                      PageCase{kCodePageUtf8, "3D D8 00 DE 00 00", "F0 9F 98 80"},
                      PageCase{kCodePageAnsi, "00 DC 61 00 00 00", "3F 61"}));

TEST(Utf16ToAnsi, WritesGbkWhenNoCodePageIsGiven) {
  EXPECT_EQ(hex_of(utf16_to_ansi(hex("61 00 4A 55 00 00"))), "61 B0 A1");
}

// --- Whole texts -------------------------------------------------------------

// Every double-byte GBK code that reads as a character, with ASCII between.
Text every_gbk_character() {
  Text t;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const Text c{char(lead), char(trail)};
      if (gbk_to_u16(c) == u"\uFFFD") continue;
      t += c;
      if (trail % 16 == 0) t += "x\r\n";
    }
  }
  return t;
}

TEST(CodePageText, GbkComesBackUnchangedThroughUtf16) {
  const Text text = every_gbk_character();
  ASSERT_GT(text.size(), 40000u);
  EXPECT_EQ(utf16_to_gbk(gbk_to_utf16(text)), text);
  EXPECT_EQ(u16_to_gbk(gbk_to_u16(text)), text);
  EXPECT_EQ(utf16_to_ansi(ansi_to_utf16(gbk_to_utf8(text)), kCodePageGbk), text);
}

TEST(CodePageText, BadBytesInALongTextCostOnlyThemselves) {
  Text text;
  for (int i = 0; i < 2000; ++i) text += "ab\xB0\xA1";
  Text damaged = text;
  damaged[103] = '0';  // a lead byte followed by an ASCII byte
  damaged.pop_back();  // ...and a lead byte at the very end
  const std::u16string units = gbk_to_u16(damaged);
  ASSERT_EQ(units.size(), 6000u + 1);
  EXPECT_EQ(units.substr(72, 9), u"ab\u554Aab\uFFFD0ab");
  EXPECT_EQ(units.substr(units.size() - 3), u"ab\uFFFD");
}

// Runs of ASCII are widened sixteen bytes at a time: a Chinese character at
// every place around those blocks, converted into one buffer that held a
// longer text before, must give exactly its own units.
TEST(CodePageText, ReusedBufferGivesEachTextItsOwnUnits) {
  std::u16string units(300, u'z');
  for (int before = 0; before <= 40; ++before) {
    for (int after : {0, 1, 15, 16, 17, 33}) {
      const Text text = Text(before, 'a') + "\xB0\xA1" + Text(after, 'b');
      const std::u16string expected =
          std::u16string(before, u'a') + u"\u554A" + std::u16string(after, u'b');
      gbk_to_u16(text, units);
      ASSERT_EQ(units, expected) << before << " " << after;
    }
  }
  gbk_to_u16("", units);
  EXPECT_TRUE(units.empty());
  gbk_to_u16(Text(70, 'q') + '\x81', units);  // a lead byte cut off at the end
  EXPECT_EQ(units, std::u16string(70, u'q') + u"\uFFFD");
}

// A converter holds a cut-off sequence until the end of its input; threads
// sharing one would hand such pieces to each other.
TEST(CodePageText, ThreadsConvertSideBySide) {
  struct Work {
    Text gbk;
    std::u16string units;
    std::u16string decoded;
    Text encoded;
  };
  std::vector<Work> work;
  for (int t = 0; t < 4; ++t) {
    const char digit = char('0' + t);
    Work w;
    for (int i = 0; i < 500; ++i) {
      w.gbk += {'\x81', digit};
      w.units += {char16_t(0xD800), char16_t(digit)};
    }
    w.gbk += '\xB0';
    w.units += char16_t(0xD800);
    w.decoded = gbk_to_u16(w.gbk);
    w.encoded = u16_to_gbk(w.units);
    work.push_back(w);
  }
  std::vector<int> mismatches(work.size(), 0);
  std::latch start(static_cast<std::ptrdiff_t>(work.size()));
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < work.size(); ++t) {
    threads.emplace_back([&w = work[t], &wrong = mismatches[t], &start] {
      start.arrive_and_wait();
      for (int round = 0; round < 2000; ++round) {
        if (gbk_to_u16(w.gbk) != w.decoded) ++wrong;
        if (u16_to_gbk(w.units) != w.encoded) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(work.size(), 0));
  EXPECT_EQ(work[1].decoded.substr(0, 4), u"\uFFFD1\uFFFD1");
  EXPECT_EQ(work[1].decoded.size(), 1001u);
  EXPECT_EQ(work[1].encoded.substr(0, 4), "?1?1");
  EXPECT_EQ(work[1].encoded.size(), 1001u);
}

}  // namespace
}  // namespace tavrel
