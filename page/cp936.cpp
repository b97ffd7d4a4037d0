// Code page 936 conversion over the tables in cp936_tables.cpp, which
// tools/cp936gen writes from the system's own conversion. The rules for
// invalid trail bytes are here rather than in the tables; cp936gen refuses to
// write tables for a conversion that does not follow them.
#include "cp936.h"
#include "pair_starts.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dorvane::cp936 {
namespace tables {
extern const std::uint16_t kSingle[256];
extern const std::uint16_t kPairs[126 * 191];
extern const std::uint8_t kEncodeIndex[256];
extern const std::uint16_t kEncodeBlocks[][256];
}  // namespace tables

namespace {

constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kLeadCount = 126;  // 0x81..0xFE
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kTrailCount = 191;  // 0x40..0xFE

bool IsLead(unsigned byte) noexcept { return byte - kFirstLead < kLeadCount; }

// True when the 8 bytes at p are all ASCII.
bool Ascii8(const unsigned char* p) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080u) == 0;
}

// True when the 4 units at p are all ASCII.
bool Ascii4(const char16_t* p) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0xFF80FF80FF80FF80u) == 0;
}

// The 8 bytes at p as a number, the first byte lowest.
std::uint64_t Load8(const unsigned char* p) noexcept {
  std::uint64_t word = 0;
  for (int k = 7; k >= 0; --k) word = word << 8 | p[k];
  return word;
}

// 0x80 in each byte of x that is not 0x00, 0x00 in the others.
std::uint64_t NonZeroBytes(std::uint64_t x) noexcept {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  return (((x & kLow7) + kLow7) | x) & 0x8080808080808080u;
}

// Bit k set when byte p[k] is a lead byte and p[k + 1] is not 0x00, for k in
// 0..7 (reads p[0..8]).
unsigned PairingMask(const unsigned char* p) noexcept {
  const std::uint64_t word = Load8(p);
  const std::uint64_t next = word >> 8 | std::uint64_t{p[8]} << 56;
  const std::uint64_t leads = word & 0x8080808080808080u & NonZeroBytes(word ^ 0x8080808080808080u) &
                              NonZeroBytes(~word);  // 0x81..0xFE: high bit, not 0x80, not 0xFF
  const std::uint64_t pairing = (leads & NonZeroBytes(next)) >> 7;
  return static_cast<unsigned>(pairing * 0x0102040810204080u >> 56);  // bit 8k -> bit k
}

// For whether the byte before a block of 8 starts a pair, and the block's
// pairing mask: which bytes of the block start a pair (low 8 bits) and whether
// its last byte does (bit 8). In a run of pairing bytes the 1st, 3rd, 5th...
// start a pair, as the byte before a run is never waiting for a trail.
constexpr auto kPairStarts = [] {
  std::array<std::array<std::uint16_t, 256>, 2> steps{};
  for (unsigned start = 0; start < 2; ++start) {
    for (unsigned mask = 0; mask < 256; ++mask) {
      unsigned odd = start, starts = 0;
      for (unsigned k = 0; k < 8; ++k) {
        odd = (mask >> k & 1) & (odd ^ 1);
        starts |= odd << k;
      }
      steps[start][mask] = static_cast<std::uint16_t>(starts | odd << 8);
    }
  }
  return steps;
}();

#if defined(__SSE2__)
// The unit of the character that starts at bytes p[0], p[1], indexed by
// p[0] | p[1] << 8: a pair when p[0] is a lead byte and p[1] is not 0x00,
// otherwise the unit of p[0] alone.
const std::uint16_t* CharUnits() noexcept {
  static const auto* const units = [] {
    auto* table = new std::uint16_t[65536];
    for (unsigned second = 0; second < 256; ++second) {
      for (unsigned first = 0; first < 256; ++first) {
        const unsigned trail = second - kFirstTrail;
        table[first | second << 8] =
            !IsLead(first) || second == 0 ? tables::kSingle[first]
            : trail < kTrailCount          ? tables::kPairs[(first - kFirstLead) * kTrailCount + trail]
                                           : u'?';
      }
    }
    return table;
  }();
  return units;
}

// Bit k set when p[k] is a lead byte and p[k + 1] is not 0x00, for k in
// 0..63 (reads p[0..64]); high gets the bits of the bytes from 0x80.
std::uint64_t PairingMask64(const unsigned char* p, std::uint64_t& high) noexcept {
  std::uint64_t pairingBits = 0, highBits = 0;
  for (int k = 0; k < 64; k += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
    const __m128i lead = LeadBytes16(bytes);
    const __m128i pairing = _mm_andnot_si128(_mm_cmpeq_epi8(next, _mm_setzero_si128()), lead);
    pairingBits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(pairing))) << k;
    highBits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(bytes))) << k;
  }
  high = highBits;
  return pairingBits;
}
#endif

// Bytes of one unit: below 0x100 a single byte, else lead << 8 | trail.
std::uint16_t EncodeUnit(char16_t unit) noexcept {
  return tables::kEncodeBlocks[tables::kEncodeIndex[unit >> 8]][unit & 0xFF];
}

}  // namespace

std::size_t DecodedLength(std::string_view text) noexcept {
  // A lead byte followed by anything but 0x00 makes one unit with the byte
  // after it ("pairs"); every other byte makes a unit of its own.
  const auto bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t pairs = 0;
  unsigned odd = 0;  // the last byte seen starts a pair
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 65 <= size; i += 64) {
    std::uint64_t high;
    pairs += static_cast<unsigned>(std::popcount(PairStarts64(PairingMask64(bytes + i, high), odd)));
  }
#endif
  for (; i + 9 <= size; i += 8) {
    const unsigned step = kPairStarts[odd][PairingMask(bytes + i)];
    pairs += static_cast<unsigned>(std::popcount(step & 0xFF));
    odd = step >> 8;
  }
  for (; i + 1 < size; ++i) {
    odd = (IsLead(bytes[i]) & (bytes[i + 1] != 0)) & (odd ^ 1);
    pairs += odd;
  }
  return size - pairs;
}

std::size_t Decode(std::string_view text, char16_t* out) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  const auto end = p + text.size();
  char16_t* const start = out;
#if defined(__SSE2__)
  // Blocks of 16 bytes while a 17th is there to read. The pair starts of a
  // block come from its pairing mask; each character's unit is then one
  // lookup of its two bytes, whether it is a pair or a single byte.
  const std::uint16_t* const units = CharUnits();
  auto unitAt = [units](const unsigned char* at) {
    std::uint16_t two;
    std::memcpy(&two, at, 2);
    return static_cast<char16_t>(units[two]);
  };
  const __m128i zero = _mm_setzero_si128();
  unsigned odd = 0;  // the byte before the chunk started a pair
  // A chunk of 64 bytes while 32 more follow it: a chunk makes at most 64
  // units and the rest at least 16, which leaves room for the writes below.
  for (; end - p >= 96; p += 64) {
    std::uint64_t high;
    const unsigned oddIn = odd;
    const std::uint64_t starts = PairStarts64(PairingMask64(p, high), odd);
    const std::uint64_t trails = starts << 1 | oddIn;
    // Blocks of 16: ASCII alone, pairs alone, or a mix.
    for (int k = 0; k < 64; k += 16) {
      const unsigned char* const q = p + k;
      const unsigned blockTrails = static_cast<unsigned>(trails >> k) & 0xFFFF;
      const unsigned blockStarts = static_cast<unsigned>(starts >> k) & 0xFFFF;
      if (((high >> k & 0xFFFF) | (blockTrails & 1)) == 0) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
        out += 16;
      } else if (blockStarts == 0x5555 || (blockStarts == 0xAAAA && (blockTrails & 1))) {
        // Eight pairs, at the even bytes or at the odd ones (after the trail
        // of the last pair of the block before).
        const unsigned char* const first = q + (blockStarts & 1 ? 0 : 1);
        for (int c = 0; c < 8; ++c) out[c] = unitAt(first + 2 * c);
        out += 8;
      } else {
        // Every byte that is not the trail of a pair starts a character. A
        // unit is written for each byte and kept for those: no branches,
        // and at least 16 more units are still to come, so there is room.
        for (int b = 0; b < 16; ++b) {
          *out = unitAt(q + b);
          out += (blockTrails >> b & 1) ^ 1;
        }
      }
    }
  }
  p += odd;  // the trail of the last block's last pair
#endif
  while (p != end) {
    const unsigned byte = *p;
    if (byte < 0x80) {
      if (end - p >= 8 && Ascii8(p)) {
        for (int i = 0; i < 8; ++i) out[i] = p[i];
        p += 8;
        out += 8;
      } else {
        *out++ = static_cast<char16_t>(byte);
        ++p;
      }
    } else if (IsLead(byte) && end - p >= 2 && p[1] != 0) {
      const unsigned trail = p[1] - kFirstTrail;
      *out++ = trail < kTrailCount ? tables::kPairs[(byte - kFirstLead) * kTrailCount + trail] : u'?';
      p += 2;
    } else {
      // 0x80, 0xFF, or a lead byte at the end or before 0x00.
      *out++ = tables::kSingle[byte];
      ++p;
    }
  }
  return static_cast<std::size_t>(out - start);
}

std::size_t EncodedLength(std::u16string_view units) noexcept {
  const char16_t* p = units.data();
  const char16_t* const end = p + units.size();
  std::size_t count = 0;
  while (p != end) {
    if (end - p >= 4 && Ascii4(p)) {
      p += 4;
      count += 4;
      continue;
    }
    count += EncodeUnit(*p++) > 0xFF ? 2 : 1;
  }
  return count;
}

std::size_t Encode(std::u16string_view units, char* out) noexcept {
  const char16_t* p = units.data();
  const char16_t* const end = p + units.size();
  char* const start = out;
  while (p != end) {
    if (*p < 0x80 && end - p >= 4 && Ascii4(p)) {
      for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(p[i]);
      p += 4;
      out += 4;
      continue;
    }
    const std::uint16_t bytes = EncodeUnit(*p++);
    if (bytes > 0xFF) {
      out[0] = static_cast<char>(bytes >> 8);
      out[1] = static_cast<char>(bytes & 0xFF);
      out += 2;
    } else {
      *out++ = static_cast<char>(bytes);
    }
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace dorvane::cp936
