// Compares the portable code page 936 converter with the system's own
// conversion over every input: every byte, every byte pair, every UTF-16 unit,
// and longer texts that chain them. Windows only.
#ifdef _WIN32

#include "cp936.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>

namespace dorvane::cp936 {
namespace {

std::u16string SystemDecode(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(936, 0, text.data(), size, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(MultiByteToWideChar(936, 0, text.data(), size, reinterpret_cast<wchar_t*>(out.data()), n), n);
  return out;
}

std::string SystemEncode(std::u16string_view units) {
  if (units.empty()) return {};
  const auto in = reinterpret_cast<const wchar_t*>(units.data());
  const int size = static_cast<int>(units.size());
  const int n = WideCharToMultiByte(936, 0, in, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  EXPECT_EQ(WideCharToMultiByte(936, 0, in, size, out.data(), n, nullptr, nullptr), n);
  return out;
}

// Decode and Encode must write exactly the announced length; a mismatch shows
// up as a wrong size of the result.
std::u16string OurDecode(std::string_view text) {
  std::u16string out(DecodedLength(text) + 1, u'\0');
  out.resize((std::min)(Decode(text, out.data()), out.size()));
  if (out.size() != DecodedLength(text)) out += u"<length mismatch>";
  return out;
}

std::string OurEncode(std::u16string_view units) {
  std::string out(EncodedLength(units) + 2, '\0');
  out.resize((std::min)(Encode(units, out.data()), out.size()));
  if (out.size() != EncodedLength(units)) out += "<length mismatch>";
  return out;
}

TEST(Cp936MatchesSystem, EveryByteAndBytePair) {
  for (unsigned a = 0; a < 256; ++a) {
    const char one[] = {static_cast<char>(a)};
    ASSERT_EQ(OurDecode({one, 1}), SystemDecode({one, 1})) << std::hex << a;
    for (unsigned t = 0; t < 256; ++t) {
      // The pair alone, and followed by a character to show what it consumed.
      const char bytes[] = {static_cast<char>(a), static_cast<char>(t), 'A'};
      ASSERT_EQ(OurDecode({bytes, 2}), SystemDecode({bytes, 2})) << std::hex << a << ' ' << t;
      ASSERT_EQ(OurDecode({bytes, 3}), SystemDecode({bytes, 3})) << std::hex << a << ' ' << t;
    }
  }
}

TEST(Cp936MatchesSystem, LongTexts) {
  // Every byte pair in a row, so that each pair's consumption decides how the
  // next ones are read.
  std::string all;
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned t = 0; t < 256; ++t) {
      all += static_cast<char>(a);
      all += static_cast<char>(t);
    }
  }
  EXPECT_EQ(OurDecode(all), SystemDecode(all));
  // Random texts, mostly lead and ASCII bytes, of lengths around the 8-byte
  // blocks the decoder reads.
  std::mt19937 random(936);
  const char pool[] = "ab\0\x0D\x40\x7F\x80\x81\xA1\xA3\xAA\xC4\xE3\xFE\xFF";
  for (int i = 0; i < 2000; ++i) {
    std::string text(random() % 40, '\0');
    for (char& c : text) c = random() % 2 ? pool[random() % (sizeof pool - 1)] : static_cast<char>(random());
    ASSERT_EQ(OurDecode(text), SystemDecode(text)) << testing::PrintToString(text);
  }
}

TEST(Cp936MatchesSystem, EveryUnit) {
  std::u16string all;
  for (unsigned c = 0; c < 0x10000; ++c) {
    const char16_t unit = static_cast<char16_t>(c);
    ASSERT_EQ(OurEncode({&unit, 1}), SystemEncode({&unit, 1})) << std::hex << c;
    all += unit;
  }
  EXPECT_EQ(OurEncode(all), SystemEncode(all));
}

TEST(Cp936MatchesSystem, SurrogatesAndMixedUnits) {
  // Every high surrogate with a low one, every low surrogate after a high one.
  for (char16_t high = 0xD800; high <= 0xDBFF; ++high) {
    const char16_t pair[] = {high, static_cast<char16_t>(0xDC00 + (high & 0x3FF))};
    ASSERT_EQ(OurEncode({pair, 2}), SystemEncode({pair, 2})) << std::hex << unsigned{high};
  }
  const std::u16string_view texts[] = {
      u"\U0001F600", u"a\U00020000b", u"\xD800", u"\xDC00\xD800", u"\xD800\xD800\xDC00", u"\U0010FFFF\xDFFF"};
  for (std::u16string_view text : texts) {
    EXPECT_EQ(OurEncode(text), SystemEncode(text)) << testing::PrintToString(std::u16string(text));
  }
  std::mt19937 random(936);
  const char16_t pool[] = u"a\0\u00A3\u00C9\u4F60\uE000\uE865\uF8F5\uFF21\xD83D\xDE00\u0E01";
  for (int i = 0; i < 2000; ++i) {
    std::u16string text(random() % 20, u'\0');
    for (char16_t& c : text) c = random() % 2 ? pool[random() % (sizeof pool / sizeof *pool - 1)] : static_cast<char16_t>(random());
    ASSERT_EQ(OurEncode(text), SystemEncode(text)) << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace dorvane::cp936

#endif  // _WIN32
