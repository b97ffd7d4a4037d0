// The fuzz properties. The expected texts are built here from the inputs by
// rules of their own (which bytes the escapers replace, how JavaScript and
// HTML read the result), independently of the code under test.
#include "checks.h"

#include <string_view>

#include "cp936.h"
#include "page.h"

namespace dorvane::fuzz {
namespace {

constexpr std::string_view kHead =
    "<!DOCTYPE html>\r\n<html>\r\n\t<head>\r\n\t\t<meta charset=\"utf-8\">\r\n\t\t<title>";
constexpr std::string_view kMiddle =
    "</title>\r\n\t</head>\r\n\t<body>\r\n\t\t<script>\r\n\t\t\talert(\"";
constexpr std::string_view kTailStart =
    ")\r\n\t\t</script>\r\n\t</body>\r\n</html>\r\n\r\n\r\n\r\n<!--ByKestrum QQ:";

bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char b : bytes.substr(0, 64)) {
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return bytes.size() > 64 ? out + "..." : out;
}

// Index of the first byte that breaks UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included), or npos.
std::size_t InvalidUtf8At(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        std::size_t len;
        std::uint32_t c;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { len = 2; c = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { len = 3; c = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { len = 4; c = b & 0x07; }
        else return i;
        if (i + len > n) return i;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return i;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            return i;
        i += len;
    }
    return std::string_view::npos;
}

std::string ToUtf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Decode(std::string_view text) {
    std::u16string units(cp936::DecodedLength(text), u'\0');
    units.resize(cp936::Decode(text, units.data()));
    return units;
}

std::string Encode(std::u16string_view units) {
    std::string bytes(cp936::EncodedLength(units), '\0');
    bytes.resize(cp936::Encode(units, bytes.data()));
    return bytes;
}

// What a reader of the page must get back for text: a lead byte without a
// valid trail byte is '?', and in the message a CR LF pair reads as LF.
std::string Expected(std::string_view text, bool joinCrLf) {
    std::string kept;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (joinCrLf && p[i] == '\r' && i + 1 < text.size() && p[i + 1] == '\n') continue;
        if (!IsLead(p[i])) {
            kept += static_cast<char>(p[i]);
        } else if (i + 1 < text.size() && IsTrail(p[i + 1])) {
            kept += text.substr(i, 2);
            ++i;
        } else {
            kept += '?';
        }
    }
    return ToUtf8(Decode(kept));
}

// The title element's text with &amp; &lt; &gt; read back; any other markup
// character is an error.
bool ReadTitle(std::string_view html, std::string& out) {
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '<' || c == '>') return false;
        if (c != '&') {
            out += c;
            continue;
        }
        const std::string_view rest = html.substr(i);
        if (rest.starts_with("&amp;")) { out += '&'; i += 4; }
        else if (rest.starts_with("&lt;")) { out += '<'; i += 3; }
        else if (rest.starts_with("&gt;")) { out += '>'; i += 3; }
        else return false;
    }
    return true;
}

// Reads the JavaScript string literal that starts at page[pos] (just after
// its opening quote) with the escapes the page may use; pos ends on the
// closing quote. A line break or '<' inside the literal is an error.
std::string ReadLiteral(std::string_view page, std::size_t& pos, std::string& out) {
    while (pos < page.size()) {
        const char c = page[pos];
        if (c == '"') return "";
        if (c == '\r' || c == '\n') return "raw line break in the string literal";
        if (c == '<') return "raw '<' in the script";
        if (c != '\\') {
            out += c;
            ++pos;
            continue;
        }
        const std::string_view esc = page.substr(pos);
        if (esc.starts_with("\\n")) out += '\n';
        else if (esc.starts_with("\\r")) out += '\r';
        else if (esc.starts_with("\\\\")) out += '\\';
        else if (esc.starts_with("\\\"")) out += '"';
        else if (esc.starts_with("\\u003C")) { out += '<'; pos += 4; }
        else return "unexpected escape " + Hex(esc.substr(0, 6));
        pos += 2;
    }
    return "the string literal is not closed";
}

}  // namespace

std::string CheckPage(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view title = input.substr(0, split);
    const std::string_view message =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const Bytes utf8 = AnsiToUtf8(BuildPage(title, message));
    if (utf8.empty() || utf8.back() != 0) return "the UTF-8 page has no terminating zero";
    const std::string_view page(reinterpret_cast<const char*>(utf8.data()), utf8.size() - 1);
    if (const std::size_t bad = InvalidUtf8At(page); bad != std::string_view::npos)
        return "invalid UTF-8 at " + std::to_string(bad) + ": " + Hex(page.substr(bad, 8));

    if (!page.starts_with(kHead)) return "the page does not start with the head";
    std::size_t pos = kHead.size();
    const std::size_t titleEnd = page.find("</title>", pos);
    if (titleEnd == std::string_view::npos) return "no </title>";
    std::string titleRead;
    if (!ReadTitle(page.substr(pos, titleEnd - pos), titleRead))
        return "markup in the title element: " + Hex(page.substr(pos, titleEnd - pos));
    if (titleRead != Expected(title, false))
        return "the title reads back as " + Hex(titleRead) + "instead of " +
               Hex(Expected(title, false));

    pos = titleEnd;
    if (page.substr(pos, kMiddle.size()) != kMiddle) return "the middle of the page changed";
    pos += kMiddle.size();
    std::string messageRead;
    if (std::string e = ReadLiteral(page, pos, messageRead); !e.empty()) return e;
    if (messageRead != Expected(message, true))
        return "the message reads back as " + Hex(messageRead) + "instead of " +
               Hex(Expected(message, true));

    // After the one literal's closing quote: exactly the tail, nothing else.
    const std::string tail = "\"" + std::string(kTailStart) + std::string(kMakerNumber) + "-->";
    if (page.substr(pos) != tail) return "the script holds more than one string literal";
    return "";
}

std::string CheckCp936(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // 936 -> UTF-16: exactly the measured length, no unit outside the BMP.
    const std::size_t n = cp936::DecodedLength(text);
    std::u16string units(n + 1, u'\xBEEF');
    if (cp936::Decode(text, units.data()) != n) return "Decode count differs from its length";
    if (units[n] != u'\xBEEF') return "Decode wrote past its length";
    units.resize(n);
    for (const char16_t u : units)
        if (u >= 0xD800 && u <= 0xDFFF) return "Decode gave a surrogate";
    if (Cp936ToUtf16(text) != units) return "Cp936ToUtf16 differs from Decode";

    // Valid text (no lone lead bytes, no unmapped pairs) survives the trip.
    std::string valid;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (!IsLead(b)) {
            valid += static_cast<char>(b);
        } else if (i + 1 < size && static_cast<unsigned char>(text[i + 1]) >= 0x40 &&
                   text[i + 1] != '\xFF') {
            const std::string_view pair = text.substr(i++, 2);
            if (Decode(pair) != u"?") valid += pair;
        }
    }
    const std::u16string validUnits = Decode(valid);
    if (Encode(validUnits) != valid)
        return "936 -> UTF-16 -> 936 changed " + Hex(valid) + "into " + Hex(Encode(validUnits));
    if (Utf16ToCp936(Cp936ToUtf16(valid)) != valid)
        return "Utf16ToCp936(Cp936ToUtf16(text)) changed " + Hex(valid);

    // UTF-16 -> 936 over the same bytes read as code units.
    std::u16string wide(size / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::size_t m = cp936::EncodedLength(wide);
    std::string bytes(m + 1, '\x5A');
    if (cp936::Encode(wide, bytes.data()) != m) return "Encode count differs from its length";
    if (bytes[m] != '\x5A') return "Encode wrote past its length";
    bytes.resize(m);
    if (m < wide.size() || m > 2 * wide.size()) return "Encode gave an impossible length";
    if (Utf16ToCp936(wide) != bytes) return "Utf16ToCp936 differs from Encode";
    // What Encode gives is text that decodes and encodes to itself.
    if (Encode(Decode(bytes)) != bytes)
        return "Encode's output is not stable: " + Hex(bytes) + "-> " + Hex(Encode(Decode(bytes)));
    return "";
}

}  // namespace dorvane::fuzz
