// The page template and its assembly.
#include "page.h"
#include "pair_starts.h"

#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "large_buffer.h"

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

#if defined(__SSE2__)
// The bytes among 64 that need a look: those that have a replacement (when
// they are not the trail of a pair) and lead bytes (bit k for p[k]); canPair
// gets the lead bytes that have a valid trail after them. Reads p[0..64].
template <bool Script>
std::uint64_t Candidates64(const unsigned char* p, std::uint64_t& canPair) {
    std::uint64_t candidates = 0, pairs = 0;
    for (int k = 0; k < 64; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
        const __m128i lead = LeadBytes16(bytes);
        // A trail is 0x40..0xFE but not 0x7F.
        const __m128i trail = _mm_andnot_si128(
            _mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8(0x7F)),
                         _mm_cmpeq_epi8(next, _mm_set1_epi8(static_cast<char>(0xFF)))),
            _mm_cmpeq_epi8(_mm_max_epu8(next, _mm_set1_epi8(0x40)), next));
        auto is = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
        __m128i special;
        if constexpr (Script) {
            special = _mm_or_si128(_mm_or_si128(is('\r'), is('\n')),
                                   _mm_or_si128(_mm_or_si128(is('\\'), is('"')), is('<')));
        } else {
            special = _mm_or_si128(is('&'), _mm_or_si128(is('<'), is('>')));
        }
        const auto bits = [](__m128i v) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v)));
        };
        pairs |= bits(_mm_and_si128(lead, trail)) << k;
        candidates |= bits(_mm_or_si128(special, lead)) << k;
    }
    canPair = pairs;
    return candidates;
}
#endif

// Appends text to out with the replacements applied, reading it as code page
// 936: a valid double-byte character is copied whole (its trail byte is never
// replaced) and a lead byte without a valid trail byte becomes '?'. In the
// script (Script true) a CR LF pair becomes the replacement of LF alone. Runs
// of bytes that stay as they are are copied in one piece.
template <bool Script>
void AppendEscaped(std::string_view text, const Replacements& repl, Text& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t runStart = 0;
    // Handles the byte at i, which has a replacement or is a lead byte and is
    // not the trail of a pair; returns the index after what it consumed.
    auto handle = [&](std::size_t i) -> std::size_t {
        const unsigned char b = p[i];
        if (b >= 0x80) {
            if (IsLeadByte(b) && i + 1 < n && IsTrailByte(p[i + 1])) return i + 2;
            if (!IsLeadByte(b)) return i + 1;  // 0x80 and 0xFF stand alone
            out.append(text.data() + runStart, i - runStart);
            out.push_back('?');
            return runStart = i + 1;
        }
        if (repl[b].empty()) return i + 1;
        out.append(text.data() + runStart, i - runStart);
        if (Script && b == '\r' && i + 1 < n && p[i + 1] == '\n') {
            out.append(repl['\n']);
            return runStart = i + 2;
        }
        out.append(repl[b]);
        return runStart = i + 1;
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    unsigned odd = 0;  // the byte before the chunk started a pair
    for (; i + 65 <= n; i += 64) {
        std::uint64_t canPair;
        const std::uint64_t candidates = Candidates64<Script>(p + i, canPair);
        const unsigned oddIn = odd;
        const std::uint64_t starts = PairStarts64(canPair, odd);
        // Pair starts and trails are copied; what is left needs a look.
        std::uint64_t look = candidates & ~(starts | starts << 1 | oddIn);
        while (look != 0) {
            const std::size_t at = i + static_cast<unsigned>(std::countr_zero(look));
            look &= look - 1;
            if (at >= runStart) handle(at);  // not the LF of a CR LF just joined
        }
    }
    i += odd;  // the trail of the last chunk's last pair
    if (runStart > i) i = runStart;
#endif
    while (i < n) {
        const unsigned char b = p[i];
        i = b < 0x80 && repl[b].empty() ? i + 1 : handle(i);
    }
    out.append(text.data() + runStart, n - runStart);
}

}  // namespace

Text EscapeLineBreaks(std::string_view message) {
    Text out;
    out.reserve(message.size());
    AppendEscaped<true>(message, kScript, out);
    return out;
}

Text EscapeTitle(std::string_view title) {
    Text out;
    out.reserve(title.size());
    AppendEscaped<false>(title, kTitle, out);
    return out;
}

Text BuildPage(std::string_view title, std::string_view message) {
    Text page;
    ReserveLarge(page, kPageHead.size() + title.size() + kPageMiddle.size() + message.size() +
                 message.size() / 16 + kPageTailStart.size() + kMakerNumber.size() +
                 kPageTailEnd.size());
    page.append(kPageHead);
    AppendEscaped<false>(title, kTitle, page);
    page.append(kPageMiddle);
    AppendEscaped<true>(message, kScript, page);
    page.append(kPageTailStart);
    page.append(kMakerNumber);
    page.append(kPageTailEnd);
    return page;
}

}  // namespace dorvane
