#include <gtest/gtest.h>

#include "page.h"

namespace dorvane {
namespace {

const std::string kHead =
    "<!DOCTYPE html>\r\n<html>\r\n\t<head>\r\n\t\t<meta charset=\"utf-8\">\r\n\t\t<title>";
const std::string kMiddle = "</title>\r\n\t</head>\r\n\t<body>\r\n\t\t<script>\r\n\t\t\talert(\"";
const std::string kTail = "\")\r\n\t\t</script>\r\n\t</body>\r\n</html>\r\n\r\n\r\n\r\n<!--ByKestrum QQ:" +
                          std::string(kMakerNumber) + "-->";

TEST(BuildPage, EmptyTextsGiveTheBareTemplate) {
    EXPECT_EQ(BuildPage("", ""), kHead + kMiddle + kTail);
    EXPECT_EQ(kHead.size(), 69u);
    EXPECT_EQ(kMiddle.size(), 51u);
}

TEST(BuildPage, PutsTitleAndEscapedMessageIntoTheirGaps) {
    EXPECT_EQ(BuildPage("T", "Hi"), kHead + "T" + kMiddle + "Hi" + kTail);
    EXPECT_EQ(BuildPage("a<b", "x\r\ny"), kHead + "a&lt;b" + kMiddle + "x\\ny" + kTail);
}

TEST(BuildPage, TrailerEndsWithTheCreditCommentAndNoLineBreak) {
    const Text page = BuildPage("t", "m");
    EXPECT_TRUE(page.ends_with("\r\n\r\n\r\n\r\n<!--ByKestrum QQ:" + std::string(kMakerNumber) + "-->"));
    EXPECT_FALSE(kMakerNumber.empty());
    EXPECT_EQ(kMakerNumber.find_first_not_of("0123456789"), std::string_view::npos);
}

struct EscapeCase {
    const char* name;
    std::string in;
    std::string out;
};

class ScriptEscape : public testing::TestWithParam<EscapeCase> {};

TEST_P(ScriptEscape, MessageBecomesAStringLiteralThatReadsBackAsTyped) {
    EXPECT_EQ(EscapeLineBreaks(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptEscape,
    testing::Values(
        EscapeCase{"empty", "", ""},
        EscapeCase{"plain", "Hello, world!", "Hello, world!"},
        EscapeCase{"crlf", "a\r\nb", "a\\nb"},
        EscapeCase{"cr_then_crlf", "x\r\r\ny", "x\\r\\ny"},
        EscapeCase{"two_crlf", "a\r\n\r\nb", "a\\n\\nb"},
        EscapeCase{"lone_lf", "a\nb", "a\\nb"},
        EscapeCase{"lone_cr_at_end", "a\r", "a\\r"},
        EscapeCase{"lf_cr_is_not_a_pair", "a\n\rb", "a\\n\\rb"},
        EscapeCase{"quotes", "He said \"hi\" 'ok'", "He said \\\"hi\\\" 'ok'"},
        EscapeCase{"backslashes", "C:\\new\\table", "C:\\\\new\\\\table"},
        EscapeCase{"end_script", "</script><b>", "\\u003C/script>\\u003Cb>"},
        EscapeCase{"comment_open", "<!-- x -->", "\\u003C!-- x -->"},
        EscapeCase{"template_chars", "${x} `y` \t", "${x} `y` \t"},
        // 你 (C4 E3) and 好 (BA C3) are copied whole.
        EscapeCase{"chinese", "\xC4\xE3\xBA\xC3", "\xC4\xE3\xBA\xC3"},
        // 乗 is 81 5C: the trail byte is a backslash and must not be doubled.
        EscapeCase{"trail_5c", "\x81\x5C\"", "\x81\x5C\\\""},
        // Trail byte 0x7C ('|') and 0x40 ('@') likewise stay.
        EscapeCase{"trail_40_7e", "\x81\x40\xFE\x7E", "\x81\x40\xFE\x7E"},
        // The euro sign 0x80 is a single byte: its CR LF is escaped.
        EscapeCase{"euro_before_crlf", "\x80\r\nz", "\x80\\nz"},
        // 0xFF is a single byte too.
        EscapeCase{"ff_before_quote", "\xFF\"", "\xFF\\\""},
        // A lead byte without a valid trail byte becomes '?', so the escape
        // after it cannot be swallowed into a double-byte character.
        EscapeCase{"lead_before_quote", "\x81\"x", "?\\\"x"},
        EscapeCase{"lead_before_crlf", "\xC4\r\n", "?\\n"},
        EscapeCase{"lead_before_backslash_pair", "\xC4\x5C", "\xC4\x5C"},
        EscapeCase{"lead_at_end", "ab\xC4", "ab?"},
        EscapeCase{"lead_before_ff", "\xC4\xFF", "?\xFF"}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

TEST(TitleEscape, EntitiesForMarkupCharactersOnly) {
    EXPECT_EQ(EscapeTitle("</title>&amp;<b>\"'"), "&lt;/title&gt;&amp;amp;&lt;b&gt;\"'");
    EXPECT_EQ(EscapeTitle("a\r\nb\\"), "a\r\nb\\");
    EXPECT_EQ(EscapeTitle("\xC4\xE3\x81&"), "\xC4\xE3?&amp;");  // 你, then a lone lead byte
}

TEST(BuildPage, TitleHoldingTheClosingTagStaysInsideTheTitle) {
    const Text page = BuildPage("</title><script>alert(1)</script>", "m");
    EXPECT_EQ(page.find("</title>"), page.rfind("</title>"));
    EXPECT_EQ(page.find("<script>"), page.rfind("<script>"));
}

TEST(BuildPage, LargeMessageIsEscapedInFull) {
    std::string message;
    for (int i = 0; i < 100000; ++i) message += "\xC4\xE3\r\n";
    std::string expected;
    for (int i = 0; i < 100000; ++i) expected += "\xC4\xE3\\n";
    EXPECT_EQ(BuildPage("", message), kHead + kMiddle + expected + kTail);
}

}  // namespace
}  // namespace dorvane
