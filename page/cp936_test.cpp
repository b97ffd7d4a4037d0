// Byte-exact vectors for the code page 936 converter, and the round trip of
// every double-byte character. The Windows build additionally compares every
// input with the system's conversion (cp936_windows_test.cpp).
#include "cp936.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace dorvane::cp936 {
namespace {

std::u16string DecodeAll(std::string_view text) {
  std::u16string out(DecodedLength(text), u'\0');
  EXPECT_EQ(Decode(text, out.data()), out.size()) << "DecodedLength disagrees with Decode";
  return out;
}

std::string EncodeAll(std::u16string_view units) {
  std::string out(EncodedLength(units), '\0');
  EXPECT_EQ(Encode(units, out.data()), out.size()) << "EncodedLength disagrees with Encode";
  return out;
}

using namespace std::string_view_literals;

struct DecodeCase {
  std::string_view bytes;
  std::u16string_view units;
};

TEST(Cp936Decode, Vectors) {
  const DecodeCase cases[] = {
      {""sv, u""sv},
      {"Az 09~\x7F"sv, u"Az 09~\x7F"sv},                // ASCII is itself
      {"a\0b"sv, u"a\0b"sv},                            // 0x00 is a character, not the end
      {"\x80"sv, u"\u20AC"sv},                          // euro sign
      {"\xFF"sv, u"\uF8F5"sv},                          // 0xFF alone
      {"\xC4\xE3"sv, u"\u4F60"sv},                      // 你
      {"\x81\x40"sv, u"\u4E02"sv},                      // 丂, first code of the extension
      {"\xA3\xC1"sv, u"\uFF21"sv},                      // full-width A
      {"\xA1\xA4"sv, u"\u00B7"sv},                      // middle dot
      {"\xA1\xAA"sv, u"\u2014"sv},                      // em dash
      {"\xAA\xA1"sv, u"\uE000"sv},                      // first user-defined code
      {"\xA1\x40"sv, u"\uE4C6"sv},                      // user-defined code below the GB2312 rows
      {"\xFE\xFE"sv, u"\uE4C5"sv},                      // last code of the last row
      {"\x81\x7F"sv, u"?"sv},                           // undefined trail inside the trail range
      {"\x81\x0D\x0A"sv, u"?\n"sv},                     // invalid trail is swallowed
      {"\x81\xFF" "A"sv, u"?A"sv},                      // 0xFF trail is swallowed too
      {"\x81\x30" "A"sv, u"?A"sv},                      // so is a digit
      {"\x81\0" "A"sv, u"?\0A"sv},                      // lead before 0x00 keeps the 0x00
      {"A\x81"sv, u"A?"sv},                             // lone lead at the end
      {"\xFE"sv, u"?"sv},                               // lone lead as the whole text
      {"\x81\x81\x81\x40"sv, u"\u4E96\u4E02"sv},        // a lead byte as trail
      {"\x80\xC4\xE3\xFF"sv, u"\u20AC\u4F60\uF8F5"sv},  // single high bytes around a pair
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(DecodeAll(c.bytes), c.units) << testing::PrintToString(std::string(c.bytes));
  }
}

// The ASCII fast path reads 8 bytes at a time: a double-byte character, an
// invalid pair or a lone lead must decode alike at every offset in a block.
TEST(Cp936Decode, HighBytesAtEveryOffset) {
  const DecodeCase inserts[] = {
      {"\xC4\xE3"sv, u"\u4F60"sv},
      {"\x81\x0D"sv, u"?"sv},
      {"\x81\0"sv, u"?\0"sv},
      {"\x80"sv, u"\u20AC"sv},
  };
  for (const DecodeCase& insert : inserts) {
    for (std::size_t offset = 0; offset <= 17; ++offset) {
      for (std::size_t after : {0, 1, 7, 8, 9}) {
        std::string bytes = std::string(offset, 'x') + std::string(insert.bytes) + std::string(after, 'y');
        std::u16string units = std::u16string(offset, u'x') + std::u16string(insert.units) + std::u16string(after, u'y');
        EXPECT_EQ(DecodeAll(bytes), units) << "offset " << offset << ", after " << after;
      }
    }
  }
  // A lone lead at the end of a text after a full ASCII block.
  EXPECT_EQ(DecodeAll("12345678\x81"sv), u"12345678?"sv);
}

// In a run of lead bytes each pairs with the next, across 8-byte blocks; an
// odd run takes the byte after it as trail.
TEST(Cp936Decode, RunsOfLeadBytes) {
  for (std::size_t before : {0, 3, 7}) {
    for (std::size_t run = 1; run <= 19; ++run) {
      for (std::string_view after : {"A"sv, "\0"sv, ""sv}) {
        std::string bytes = std::string(before, '-') + std::string(run, '\x81') + std::string(after);
        std::u16string units = std::u16string(before, u'-') + std::u16string(run / 2, u'\u4E96');  // 0x8181
        const std::u16string afterUnits(after.begin(), after.end());
        if (run % 2 == 0) {
          units += afterUnits;
        } else if (after == "A") {
          units += u'\u4E04';  // 0x8141
        } else {
          units += u'?' + afterUnits;  // lone lead
        }
        EXPECT_EQ(DecodeAll(bytes), units) << before << " + " << run << " leads + " << testing::PrintToString(std::string(after));
      }
    }
  }
}

struct EncodeCase {
  std::u16string_view units;
  std::string_view bytes;
};

TEST(Cp936Encode, Vectors) {
  const EncodeCase cases[] = {
      {u""sv, ""sv},
      {u"Az 09~\x7F"sv, "Az 09~\x7F"sv},           // ASCII is itself
      {u"a\0b"sv, "a\0b"sv},                       // U+0000 is a character, not the end
      {u"\u20AC"sv, "\x80"sv},                     // euro sign
      {u"\uF8F5"sv, "\xFF"sv},                     // back to the single 0xFF
      {u"\u4F60"sv, "\xC4\xE3"sv},                 // 你
      {u"\uFF21"sv, "\xA3\xC1"sv},                 // full-width A
      {u"\u00B7"sv, "\xA1\xA4"sv},                 // middle dot
      {u"\uE000"sv, "\xAA\xA1"sv},                 // first user-defined code
      {u"\uE864"sv, "\xFE\xA0"sv},                 // last user-defined code
      {u"\u00A3"sv, "\xA1\xEA"sv},                 // £, best fit to the full-width pound
      {u"\u00C9"sv, "\xA8\xA6"sv},                 // É, best fit to é
      {u"\u0E01"sv, "?"sv},                        // Thai ko kai: no mapping
      {u"\uE865"sv, "?"sv},                        // past the user-defined codes
      {u"\uFFFD"sv, "?"sv},                        // replacement character
      {u"\U0001F600"sv, "??"sv},                   // a surrogate pair is two units
      {u"a\xD800" "b"sv, "a?b"sv},                 // lone high surrogate
      {u"\xDC00\xD800"sv, "??"sv},                 // surrogates in the wrong order
      {u"x\u4F60yz\u00A3\u0E01"sv, "x\xC4\xE3yz\xA1\xEA?"sv},
  };
  for (const EncodeCase& c : cases) {
    EXPECT_EQ(EncodeAll(c.units), c.bytes) << testing::PrintToString(std::u16string(c.units));
  }
}

// The ASCII fast path reads 4 units at a time.
TEST(Cp936Encode, NonAsciiAtEveryOffset) {
  for (std::size_t offset = 0; offset <= 9; ++offset) {
    for (std::size_t after : {0, 1, 3, 4, 5}) {
      std::u16string units = std::u16string(offset, u'x') + u"\u4F60\u00C0" + std::u16string(after, u'y');
      std::string bytes = std::string(offset, 'x') + "\xC4\xE3\xA8\xA4" + std::string(after, 'y');
      EXPECT_EQ(EncodeAll(units), bytes) << "offset " << offset << ", after " << after;
    }
  }
}

// Every byte and every defined double-byte code comes back from the round
// trip, and all of them in one text decode as one unit each.
TEST(Cp936RoundTrip, EveryCharacter) {
  std::string all;
  std::size_t characters = 0;
  for (unsigned b = 0; b <= 0x80; ++b) {
    all += static_cast<char>(b);
    ++characters;
  }
  all += '\xFF';
  ++characters;
  std::size_t doubleBytes = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string units = DecodeAll(std::string_view(bytes, 2));
      ASSERT_EQ(units.size(), 1u);
      if (units[0] == u'?') continue;  // undefined code
      EXPECT_EQ(EncodeAll(units), std::string_view(bytes, 2)) << std::hex << lead << ' ' << trail;
      all.append(bytes, 2);
      ++characters;
      ++doubleBytes;
    }
  }
  EXPECT_EQ(doubleBytes, 21791u + 2149u);  // standard codes + user-defined codes
  const std::u16string units = DecodeAll(all);
  EXPECT_EQ(units.size(), characters);
  EXPECT_EQ(EncodeAll(units), all);
}

}  // namespace
}  // namespace dorvane::cp936
