// Finding where double-byte characters start, 64 bytes at a time.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dorvane {

// The bits of the bytes that start a pair among the 64 whose bits are set in
// canPair (lead bytes with a valid trail after them), given whether the byte
// before them started one (odd, updated for the last byte). In a run of such
// bytes the 1st, 3rd, 5th... start a pair, as the byte before a run is never
// waiting for a trail: adding each run's first bit, where that is even,
// clears the runs that start at an even bit and leaves the others.
inline std::uint64_t PairStarts64(std::uint64_t canPair, unsigned& odd) noexcept {
    constexpr std::uint64_t kEven = 0x5555555555555555u;
    canPair &= ~std::uint64_t{odd};  // the trail of the byte before pairs with nothing
    const std::uint64_t firsts = canPair & ~(canPair << 1);
    const std::uint64_t sum = canPair + (firsts & kEven);
    const std::uint64_t starts = (canPair & ~sum & kEven) | (canPair & sum & ~kEven);
    odd = static_cast<unsigned>(starts >> 63);
    return starts;
}

#if defined(__SSE2__)
// 0xFF in each of the 16 bytes that is a lead byte (0x81..0xFE), else 0x00.
inline __m128i LeadBytes16(__m128i bytes) noexcept {
    // 0x81..0xFE become 0x00..0x7D, everything else 0x7E..0xFF.
    const __m128i shifted = _mm_add_epi8(bytes, _mm_set1_epi8(0x7F));
    return _mm_and_si128(_mm_cmpgt_epi8(shifted, _mm_set1_epi8(-1)),
                         _mm_cmplt_epi8(shifted, _mm_set1_epi8(0x7E)));
}
#endif

}  // namespace dorvane
