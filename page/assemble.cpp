// The page template and its assembly.
#include "page.h"

#include <array>

namespace dorvane {
namespace {

constexpr std::string_view kPageHead =
    "<!DOCTYPE html>\r\n<html>\r\n\t<head>\r\n\t\t<meta charset=\"utf-8\">\r\n\t\t<title>";
constexpr std::string_view kPageMiddle =
    "</title>\r\n\t</head>\r\n\t<body>\r\n\t\t<script>\r\n\t\t\talert(\"";
constexpr std::string_view kPageTailStart =
    "\")\r\n\t\t</script>\r\n\t</body>\r\n</html>\r\n\r\n\r\n\r\n<!--ByKestrum QQ:";
constexpr std::string_view kPageTailEnd = "-->";

static_assert(kPageHead.size() == 69 && kPageMiddle.size() == 51);

constexpr bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
constexpr bool IsTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// What one byte becomes; an empty entry means the byte is copied.
using Replacements = std::array<std::string_view, 256>;

constexpr Replacements MakeScriptReplacements() {
    Replacements r{};
    r['\r'] = "\\r";  // a CR that does not start a CR LF pair
    r['\n'] = "\\n";
    r['\\'] = "\\\\";
    r['"'] = "\\\"";
    r['<'] = "\\u003C";  // neither "</script>" nor "<!--" can form
    return r;
}

constexpr Replacements MakeTitleReplacements() {
    Replacements r{};
    r['&'] = "&amp;";
    r['<'] = "&lt;";
    r['>'] = "&gt;";
    return r;
}

constexpr Replacements kScript = MakeScriptReplacements();
constexpr Replacements kTitle = MakeTitleReplacements();

// Appends text to out with the replacements applied, reading it as code page
// 936: a valid double-byte character is copied whole (its trail byte is never
// replaced) and a lead byte without a valid trail byte becomes '?'. With
// joinCrLf a CR LF pair becomes the replacement of LF alone.
void AppendEscaped(std::string_view text, const Replacements& repl, bool joinCrLf, Text& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t runStart = 0;
    std::size_t i = 0;
    auto flush = [&](std::string_view replacement, std::size_t next) {
        out.append(text.data() + runStart, i - runStart);
        out.append(replacement);
        runStart = i = next;
    };
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (repl[b].empty()) {
                ++i;
            } else if (joinCrLf && b == '\r' && i + 1 < n && p[i + 1] == '\n') {
                flush(repl['\n'], i + 2);
            } else {
                flush(repl[b], i + 1);
            }
        } else if (!IsLeadByte(b)) {
            ++i;  // 0x80 and 0xFF stand alone
        } else if (i + 1 < n && IsTrailByte(p[i + 1])) {
            i += 2;
        } else {
            flush("?", i + 1);
        }
    }
    out.append(text.data() + runStart, n - runStart);
}

}  // namespace

Text EscapeLineBreaks(std::string_view message) {
    Text out;
    out.reserve(message.size());
    AppendEscaped(message, kScript, true, out);
    return out;
}

Text EscapeTitle(std::string_view title) {
    Text out;
    out.reserve(title.size());
    AppendEscaped(title, kTitle, false, out);
    return out;
}

Text BuildPage(std::string_view title, std::string_view message) {
    Text page;
    page.reserve(kPageHead.size() + title.size() + kPageMiddle.size() + message.size() +
                 message.size() / 16 + kPageTailStart.size() + kMakerNumber.size() +
                 kPageTailEnd.size());
    page.append(kPageHead);
    AppendEscaped(title, kTitle, false, page);
    page.append(kPageMiddle);
    AppendEscaped(message, kScript, true, page);
    page.append(kPageTailStart);
    page.append(kMakerNumber);
    page.append(kPageTailEnd);
    return page;
}

}  // namespace dorvane
