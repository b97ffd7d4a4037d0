// Code page 936 conversion over the tables in cp936_tables.cpp, which
// tools/cp936gen writes from the system's own conversion. The rules for
// invalid trail bytes are here rather than in the tables; cp936gen refuses to
// write tables for a conversion that does not follow them.
#include "cp936.h"

#include <array>
#include <cstdint>
#include <cstring>

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

// For whether the byte before a block starts a pair, and the block's pairing
// mask: the pairs started in the block (low 4 bits) and whether its last byte
// starts one (bit 4).
constexpr auto kPairSteps = [] {
  std::array<std::array<std::uint8_t, 256>, 2> steps{};
  for (unsigned start = 0; start < 2; ++start) {
    for (unsigned mask = 0; mask < 256; ++mask) {
      unsigned odd = start, pairs = 0;
      for (unsigned k = 0; k < 8; ++k) {
        odd = (mask >> k & 1) & (odd ^ 1);
        pairs += odd;
      }
      steps[start][mask] = static_cast<std::uint8_t>(pairs | odd << 4);
    }
  }
  return steps;
}();

// Bytes of one unit: below 0x100 a single byte, else lead << 8 | trail.
std::uint16_t EncodeUnit(char16_t unit) noexcept {
  return tables::kEncodeBlocks[tables::kEncodeIndex[unit >> 8]][unit & 0xFF];
}

}  // namespace

std::size_t DecodedLength(std::string_view text) noexcept {
  // A lead byte followed by anything but 0x00 makes one unit with the byte
  // after it ("pairs"). In a run of pairing bytes the 1st, 3rd, 5th... start a
  // pair, as the byte before a run is never waiting for a trail, so counting
  // needs only the parity of the current run, 8 bytes at a time.
  const auto bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t pairs = 0;
  unsigned odd = 0;  // the last byte seen starts a pair
  std::size_t i = 0;
  for (; i + 9 <= size; i += 8) {
    const std::uint8_t step = kPairSteps[odd][PairingMask(bytes + i)];
    pairs += step & 0x0F;
    odd = step >> 4;
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
