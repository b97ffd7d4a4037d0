// Code page 936 -> UTF-16 -> UTF-8. Each step measures first and then
// converts into a buffer of exactly the measured size, in one piece.
//
// On Windows the platform's own conversion does the work. Elsewhere our
// generated code page 936 tables (cp936.h) give the same code units.
#include "page.h"

#include <bit>
#include <climits>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include "cp936.h"
#endif

namespace dorvane {
namespace {

static_assert(std::endian::native == std::endian::little,
              "UTF-16 code units are stored little-endian in place");

constexpr unsigned kCodePage936 = 936;

#ifdef _WIN32
int CheckedLength(std::size_t n) {
    if (n > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long to convert");
    return static_cast<int>(n);
}
#else
char16_t* Units(Bytes& b) { return reinterpret_cast<char16_t*>(b.data()); }
const char16_t* Units(const Bytes& b) { return reinterpret_cast<const char16_t*>(b.data()); }

// UTF-8 encoding of UTF-16 code units; a lone surrogate becomes U+FFFD, as
// the Windows conversion does.
template <bool Write>
std::size_t EncodeUtf8(std::u16string_view in, unsigned char* out) {
    std::size_t o = 0;
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t c = in[i];
        if (c < 0x80) {
            if constexpr (Write) out[o] = static_cast<unsigned char>(c);
            o += 1;
            continue;
        }
        if (c < 0x800) {
            if constexpr (Write) {
                out[o] = static_cast<unsigned char>(0xC0 | (c >> 6));
                out[o + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            }
            o += 2;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                ++i;
                if constexpr (Write) {
                    out[o] = static_cast<unsigned char>(0xF0 | (c >> 18));
                    out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
                    out[o + 2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                    out[o + 3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                }
                o += 4;
                continue;
            }
            c = 0xFFFD;
        }
        if constexpr (Write) {
            out[o] = static_cast<unsigned char>(0xE0 | (c >> 12));
            out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[o + 2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
        o += 3;
    }
    return o;
}
#endif

}  // namespace

Bytes AnsiToUnicode(std::string_view text, bool dropTerminator) {
    if (text.empty()) return {};
#ifdef _WIN32
    const int len = CheckedLength(text.size());
    const int n = MultiByteToWideChar(kCodePage936, 0, text.data(), len, nullptr, 0);
    Bytes units((static_cast<std::size_t>(n) + 1) * 2);  // zero-filled: the terminator
    MultiByteToWideChar(kCodePage936, 0, text.data(), len,
                        reinterpret_cast<wchar_t*>(units.data()), n);
#else
    const std::size_t n = cp936::DecodedLength(text);
    Bytes units((n + 1) * 2);
    cp936::Decode(text, Units(units));
#endif
    if (dropTerminator) units.resize(units.size() - 2);
    return units;
}

Bytes UnicodeToUtf8(const Bytes& units) {
    const std::size_t u = units.size() / 2;
    if (u == 0) return {};
#ifdef _WIN32
    const int len = CheckedLength(u);
    const auto* src = reinterpret_cast<const wchar_t*>(units.data());
    const int m = WideCharToMultiByte(CP_UTF8, 0, src, len, nullptr, 0, nullptr, nullptr);
    Bytes out(static_cast<std::size_t>(m));
    WideCharToMultiByte(CP_UTF8, 0, src, len, reinterpret_cast<char*>(out.data()), m, nullptr,
                        nullptr);
#else
    const std::u16string_view in(Units(units), u);
    Bytes out(EncodeUtf8<false>(in, nullptr));
    EncodeUtf8<true>(in, out.data());
#endif
    return out;
}

Bytes AnsiToUtf8(std::string_view text) { return UnicodeToUtf8(AnsiToUnicode(text, false)); }

std::u16string Cp936ToUtf16(std::string_view text) {
    if (text.empty()) return {};
#ifdef _WIN32
    const int len = CheckedLength(text.size());
    const int n = MultiByteToWideChar(kCodePage936, 0, text.data(), len, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(kCodePage936, 0, text.data(), len, reinterpret_cast<wchar_t*>(out.data()),
                        n);
#else
    std::u16string out(cp936::DecodedLength(text), u'\0');
    cp936::Decode(text, out.data());
#endif
    return out;
}

Text Utf16ToCp936(std::u16string_view units) {
    if (units.empty()) return {};
#ifdef _WIN32
    const int len = CheckedLength(units.size());
    const auto* src = reinterpret_cast<const wchar_t*>(units.data());
    const int n = WideCharToMultiByte(kCodePage936, 0, src, len, nullptr, 0, nullptr, nullptr);
    Text out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kCodePage936, 0, src, len, out.data(), n, nullptr, nullptr);
#else
    Text out(cp936::EncodedLength(units), '\0');
    cp936::Encode(units, out.data());
#endif
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        std::size_t len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
        if (b >= 0xF5) len = 0;
        std::uint32_t c = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        std::size_t k = 1;
        for (; len != 0 && k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        const bool complete = len != 0 && k == len;
        const bool shortest = len == 2 || (len == 3 && c >= 0x800) || (len == 4 && c >= 0x10000);
        if (!complete || !shortest || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            i += len == 0 ? 1 : k;  // skip the maximal invalid prefix
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view units) {
    Bytes b(units.size() * 2);
    if (!units.empty()) std::memcpy(b.data(), units.data(), b.size());
    const Bytes u8 = UnicodeToUtf8(b);
    return std::string(u8.begin(), u8.end());
}

}  // namespace dorvane
