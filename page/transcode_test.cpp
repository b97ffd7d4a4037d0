#include <gtest/gtest.h>

#include "page.h"

namespace dorvane {
namespace {

Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

TEST(AnsiToUnicode, KeepsOrDropsTheTerminator) {
    EXPECT_EQ(AnsiToUnicode("abc", false), B({0x61, 0, 0x62, 0, 0x63, 0, 0, 0}));
    EXPECT_EQ(AnsiToUnicode("abc", true), B({0x61, 0, 0x62, 0, 0x63, 0}));
    EXPECT_TRUE(AnsiToUnicode("", false).empty());
    EXPECT_TRUE(AnsiToUnicode("", true).empty());
}

struct Utf8Case {
    const char* what;
    std::string cp936;
    Bytes utf8;  // without the terminator
};

TEST(AnsiToUtf8, ConvertsThroughUtf16AndKeepsOneZeroByte) {
    const Utf8Case cases[] = {
        {"ascii", "abc", B({0x61, 0x62, 0x63})},
        {"NI (U+4F60)", "\xC4\xE3", B({0xE4, 0xBD, 0xA0})},
        {"full-width A (U+FF21)", "\xA3\xC1", B({0xEF, 0xBC, 0xA1})},
        {"euro (U+20AC)", "\x80", B({0xE2, 0x82, 0xAC})},
        {"middle dot (U+00B7)", "\xA1\xA4", B({0xC2, 0xB7})},
        {"user-defined (U+E000)", "\xAA\xA1", B({0xEE, 0x80, 0x80})},
        {"tab, CR, LF", "\t\r\n", B({0x09, 0x0D, 0x0A})},
    };
    for (const auto& c : cases) {
        Bytes expected = c.utf8;
        expected.push_back(0);
        EXPECT_EQ(AnsiToUtf8(c.cp936), expected) << c.what;
    }
    EXPECT_TRUE(AnsiToUtf8("").empty());
}

TEST(UnicodeToUtf8, ConvertsExactlyTheUnitsGiven) {
    // No terminator in the input: nothing is read past it, no zero comes out.
    EXPECT_EQ(UnicodeToUtf8(B({0x61, 0x00, 0x60, 0x4F})), B({0x61, 0xE4, 0xBD, 0xA0}));
    // An odd trailing byte is not a code unit.
    EXPECT_EQ(UnicodeToUtf8(B({0x61, 0x00, 0x62})), B({0x61}));
    EXPECT_TRUE(UnicodeToUtf8({}).empty());
    // A zero unit in the middle converts like any other.
    EXPECT_EQ(UnicodeToUtf8(B({0x61, 0, 0, 0, 0x62, 0})), B({0x61, 0x00, 0x62}));
    // U+1F600 as a surrogate pair; lone surrogates become U+FFFD.
    EXPECT_EQ(UnicodeToUtf8(B({0x3D, 0xD8, 0x00, 0xDE})), B({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(UnicodeToUtf8(B({0x3D, 0xD8, 0x61, 0x00})), B({0xEF, 0xBF, 0xBD, 0x61}));
    EXPECT_EQ(UnicodeToUtf8(B({0x00, 0xDE})), B({0xEF, 0xBF, 0xBD}));
}

TEST(Utf8Utf16, RoundTripAndInvalidInput) {
    const std::string text = "a\xC2\xB7\xE4\xBD\xA0\xF0\x9F\x98\x80";  // a · 你 😀
    EXPECT_EQ(Utf8ToUtf16(text), u"a\u00B7\u4F60\U0001F600");
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16("\xFF" "a"), u"\uFFFDa");
    EXPECT_EQ(Utf8ToUtf16("\xE4\xBD"), u"\uFFFD");          // truncated
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");    // overlong NUL
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
}

TEST(Cp936Boundary, MessagesRoundTrip) {
    const std::u16string text = u"文件写出成功.\r\n位置:C:\\x\\p.html";
    EXPECT_EQ(Cp936ToUtf16(Utf16ToCp936(text)), text);
    EXPECT_EQ(Utf16ToCp936(u"你"), "\xC4\xE3");
    EXPECT_EQ(Utf16ToCp936(u"\U0001F600"), "??");  // outside the code page
}

}  // namespace
}  // namespace dorvane
