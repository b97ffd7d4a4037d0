// Code page 936 -> UTF-16 -> UTF-8. Each step measures first and then
// converts into a buffer of exactly the measured size, in one piece.
//
// On Windows the platform's own conversion does the work. Elsewhere our
// generated code page 936 tables (cp936.h) give the same code units.
#include "page.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "large_buffer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "cp936.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#endif

namespace dorvane {
namespace {

static_assert(std::endian::native == std::endian::little,
              "UTF-16 code units are stored little-endian in place");

constexpr unsigned kCodePage936 = 936;

#ifdef _WIN32
// The platform converts at most INT_MAX units at once; a longer text (2 GiB
// and more, which no edit box holds) converts to nothing, and Generate then
// reports that nothing was written.
bool FitsInt(std::size_t n) { return n <= static_cast<std::size_t>(INT_MAX); }
#else
char16_t* Units(Bytes& b) { return reinterpret_cast<char16_t*>(b.data()); }
const char16_t* Units(const Bytes& b) { return reinterpret_cast<const char16_t*>(b.data()); }

// UTF-16 -> UTF-8. A unit below 0x80 takes one byte, below 0x800 two, any
// other three, except that a high surrogate followed by a low one makes one
// four-byte sequence; a lone surrogate becomes U+FFFD (three bytes), as the
// Windows conversion does.
constexpr bool IsHighSurrogate(std::uint32_t c) { return c - 0xD800 < 0x400; }
constexpr bool IsLowSurrogate(std::uint32_t c) { return c - 0xDC00 < 0x400; }
constexpr bool IsSurrogate(std::uint32_t c) { return c - 0xD800 < 0x800; }

// Number of surrogate pairs that start in in[begin..end) (reads in[end] when
// end < n): each high surrogate directly followed by a low one.
std::size_t SurrogatePairs(const char16_t* in, std::size_t n, std::size_t begin, std::size_t end) {
    std::size_t pairs = 0;
    for (std::size_t i = begin; i < end; ++i)
        pairs += IsHighSurrogate(in[i]) && i + 1 < n && IsLowSurrogate(in[i + 1]);
    return pairs;
}

// Bytes of the UTF-8 encoding of in[0..n): one per unit, one more for each
// unit from 0x80 and one more for each from 0x800 (surrogates included),
// less two for each surrogate pair, which takes four bytes rather than six.
std::size_t Utf8Length(const char16_t* in, std::size_t n) {
    std::size_t bytes = n;
    std::size_t pairs = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i below80 = _mm_set1_epi16(static_cast<short>(0x7F ^ 0x8000));
    const __m128i below800 = _mm_set1_epi16(static_cast<short>(0x7FF ^ 0x8000));
    const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i ones = _mm_set1_epi16(1);
    // Each 16-bit lane of sum grows by at most 2 a block: add them up before
    // they can overflow.
    constexpr std::size_t kBlocksPerSum = 16000;
    while (i + 8 <= n) {
        __m128i sum = _mm_setzero_si128();
        const std::size_t stop = std::min(n - 8, i + 8 * kBlocksPerSum);
        for (; i <= stop; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            const __m128i x = _mm_xor_si128(v, flip);
            sum = _mm_sub_epi16(sum, _mm_cmpgt_epi16(x, below80));
            sum = _mm_sub_epi16(sum, _mm_cmpgt_epi16(x, below800));
            const __m128i s = _mm_cmpeq_epi16(_mm_and_si128(v, surrogateBits), surrogate);
            if (_mm_movemask_epi8(s) != 0) pairs += SurrogatePairs(in, n, i, i + 8);
        }
        alignas(16) std::uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_madd_epi16(sum, ones));
        bytes += std::size_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
    }
#endif
    pairs += SurrogatePairs(in, n, i, n);
    for (; i < n; ++i) {
        const std::uint32_t c = in[i];
        bytes += (c >= 0x80) + (c >= 0x800);
    }
    return bytes - 2 * pairs;
}

// Writes the UTF-8 bytes of in[i] (and of in[i + 1] when the two make a
// surrogate pair) at out + o; returns the units read.
std::size_t EncodeOne(const char16_t* in, std::size_t n, std::size_t i, unsigned char* out,
                      std::size_t& o) {
    std::uint32_t c = in[i];
    if (c < 0x80) {
        out[o++] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[o] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[o + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        o += 2;
        return 1;
    }
    if (IsSurrogate(c)) {
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(in[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            out[o] = static_cast<unsigned char>(0xF0 | (c >> 18));
            out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            out[o + 2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[o + 3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            o += 4;
            return 2;
        }
        c = 0xFFFD;
    }
    out[o] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[o + 2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    o += 3;
    return 1;
}

// Encodes in[0..n) into out, which has room for exactly Utf8Length(in, n)
// bytes. Blocks of 8 units that are all ASCII, or all three-byte characters,
// go 8 at a time; everything else one unit at a time.
void EncodeUtf8(const char16_t* in, std::size_t n, unsigned char* out, std::size_t size) {
    std::size_t i = 0;
    std::size_t o = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i from800 = _mm_set1_epi16(static_cast<short>(0x800 ^ 0x8000));
    const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i midBits = _mm_set1_epi16(0x3F00);
    const __m128i lowBits = _mm_set1_epi16(0x3F);
    const __m128i leadMarks = _mm_set1_epi16(static_cast<short>(0x80E0));
    const __m128i contMark = _mm_set1_epi16(0x80);
    const __m128i low24 = _mm_set1_epi64x(0xFFFFFF);
    const __m128i high24 = _mm_set1_epi64x(0xFFFFFF000000);
    // Four 32-bit lanes of three bytes each, stored 3 bytes apart (each store
    // writes 8 bytes, the last 2 of them overwritten by the next).
    auto store12 = [&](__m128i words, unsigned char* to) {
        const __m128i packed = _mm_or_si128(_mm_and_si128(words, low24),
                                            _mm_and_si128(_mm_srli_epi64(words, 8), high24));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 6), _mm_unpackhi_epi64(packed, packed));
    };
    // The last store of a block of three-byte characters reaches 26 bytes on.
    while (i + 8 <= n && o + 32 <= size) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, notAscii), zero)) == 0xFFFF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_packus_epi16(v, v));
            i += 8;
            o += 8;
            continue;
        }
        const __m128i short_ = _mm_cmpgt_epi16(from800, _mm_xor_si128(v, flip));
        const __m128i sur = _mm_cmpeq_epi16(_mm_and_si128(v, surrogateBits), surrogate);
        if (_mm_movemask_epi8(_mm_or_si128(short_, sur)) == 0) {
            // lead | middle << 8 in 16-bit lanes, then the last byte beside it.
            const __m128i first = _mm_or_si128(
                _mm_or_si128(_mm_srli_epi16(v, 12), _mm_and_si128(_mm_slli_epi16(v, 2), midBits)),
                leadMarks);
            const __m128i last = _mm_or_si128(_mm_and_si128(v, lowBits), contMark);
            store12(_mm_unpacklo_epi16(first, last), out + o);
            store12(_mm_unpackhi_epi16(first, last), out + o + 12);
            i += 8;
            o += 24;
            continue;
        }
        const std::size_t stop = i + 8;
        while (i < stop) i += EncodeOne(in, n, i, out, o);
    }
#endif
    (void)size;
    while (i < n) i += EncodeOne(in, n, i, out, o);
}
#endif

}  // namespace

Bytes AnsiToUnicode(std::string_view text, bool dropTerminator) {
#ifdef _WIN32
    if (text.empty() || !FitsInt(text.size())) return {};
    const int len = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(kCodePage936, 0, text.data(), len, nullptr, 0);
    Bytes units((static_cast<std::size_t>(n) + 1) * 2);  // zero-filled: the terminator
    MultiByteToWideChar(kCodePage936, 0, text.data(), len,
                        reinterpret_cast<wchar_t*>(units.data()), n);
#else
    if (text.empty()) return {};
    const std::size_t n = cp936::DecodedLength(text);
    Bytes units;
    ReserveLarge(units, (n + 1) * 2);
    units.resize((n + 1) * 2);  // zero-filled: the terminator
    cp936::Decode(text, Units(units));
#endif
    if (dropTerminator) units.resize(units.size() - 2);
    return units;
}

Bytes UnicodeToUtf8(const Bytes& units) {
    const std::size_t u = units.size() / 2;
#ifdef _WIN32
    if (u == 0 || !FitsInt(u)) return {};
    const int len = static_cast<int>(u);
    const auto* src = reinterpret_cast<const wchar_t*>(units.data());
    const int m = WideCharToMultiByte(CP_UTF8, 0, src, len, nullptr, 0, nullptr, nullptr);
    Bytes out(static_cast<std::size_t>(m));
    WideCharToMultiByte(CP_UTF8, 0, src, len, reinterpret_cast<char*>(out.data()), m, nullptr,
                        nullptr);
#else
    if (u == 0) return {};
    const std::size_t m = Utf8Length(Units(units), u);
    Bytes out;
    ReserveLarge(out, m);
    out.resize(m);
    EncodeUtf8(Units(units), u, out.data(), m);
#endif
    return out;
}

Bytes AnsiToUtf8(std::string_view text) { return UnicodeToUtf8(AnsiToUnicode(text, false)); }

std::u16string Cp936ToUtf16(std::string_view text) {
#ifdef _WIN32
    if (text.empty() || !FitsInt(text.size())) return {};
    const int len = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(kCodePage936, 0, text.data(), len, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(kCodePage936, 0, text.data(), len, reinterpret_cast<wchar_t*>(out.data()),
                        n);
#else
    if (text.empty()) return {};
    std::u16string out(cp936::DecodedLength(text), u'\0');
    cp936::Decode(text, out.data());
#endif
    return out;
}

Text Utf16ToCp936(std::u16string_view units) {
#ifdef _WIN32
    if (units.empty() || !FitsInt(units.size())) return {};
    const int len = static_cast<int>(units.size());
    const auto* src = reinterpret_cast<const wchar_t*>(units.data());
    const int n = WideCharToMultiByte(kCodePage936, 0, src, len, nullptr, 0, nullptr, nullptr);
    Text out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kCodePage936, 0, src, len, out.data(), n, nullptr, nullptr);
#else
    if (units.empty()) return {};
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
