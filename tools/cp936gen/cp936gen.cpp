// cp936gen: writes page/cp936_tables.cpp from the system's own code page 936
// conversion (MultiByteToWideChar / WideCharToMultiByte with flags 0).
//
// Regenerate (from the repository root, on Linux with MinGW and Wine):
//   x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o /tmp/cp936gen.exe tools/cp936gen/cp936gen.cpp
//   wine /tmp/cp936gen.exe > page/cp936_tables.cpp
//
// The program probes every input and checks that the conversion follows the
// shape page/cp936.cpp relies on; anything else stops it with a message on
// stderr and exit code 1, so a table is never written for behaviour the
// converter cannot reproduce:
//   - bytes 0x81..0xFE are lead bytes, every other byte is one character;
//   - a lead byte followed by a trail byte in 0x40..0xFE makes one character
//     (table), consuming both bytes;
//   - a lead byte followed by 0x01..0x3F or 0xFF gives U+003F and consumes both
//     bytes; a lead byte before 0x00 or at the end of the input gives U+003F
//     and consumes only itself;
//   - every UTF-16 unit is converted on its own to one or two bytes (so a
//     surrogate pair gives two '?').
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT kCodePage = 936;
constexpr int kLeadCount = 0xFE - 0x81 + 1;   // 126
constexpr int kTrailCount = 0xFE - 0x40 + 1;  // 191

std::u16string Decode(const std::string& bytes) {
  wchar_t out[16];
  int n = MultiByteToWideChar(kCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), out, 16);
  if (n <= 0) {
    std::fprintf(stderr, "MultiByteToWideChar failed (error %lu)\n", GetLastError());
    std::exit(1);
  }
  return std::u16string(reinterpret_cast<const char16_t*>(out), n);
}

std::string Encode(const std::u16string& units) {
  char out[16];
  int n = WideCharToMultiByte(kCodePage, 0, reinterpret_cast<const wchar_t*>(units.data()),
                              static_cast<int>(units.size()), out, 16, nullptr, nullptr);
  if (n <= 0) {
    std::fprintf(stderr, "WideCharToMultiByte failed (error %lu)\n", GetLastError());
    std::exit(1);
  }
  return std::string(out, n);
}

[[noreturn]] void Fail(const char* what, unsigned a, unsigned b = 0) {
  std::fprintf(stderr, "cp936gen: unexpected conversion: %s (0x%X 0x%X)\n", what, a, b);
  std::exit(1);
}

bool IsLead(unsigned b) { return b >= 0x81 && b <= 0xFE; }

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);

  // Single bytes, each as the whole input.
  std::uint16_t single[256];
  for (unsigned b = 0; b < 256; ++b) {
    std::u16string u = Decode(std::string(1, static_cast<char>(b)));
    if (u.size() != 1) Fail("single byte does not give one unit", b);
    single[b] = u[0];
    if (b < 0x80 && single[b] != b) Fail("ASCII byte is not itself", b);
    if (IsLead(b) && single[b] != u'?') Fail("lone lead byte is not '?'", b);
  }

  // Every byte followed by every byte, then 'A': either both bytes make one
  // character, or the first byte stands alone and the rest decodes by itself.
  std::vector<std::uint16_t> pairs(kLeadCount * kTrailCount);
  int defined = 0, userDefined = 0;
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned t = 0; t < 256; ++t) {
      std::string in{static_cast<char>(a), static_cast<char>(t), 'A'};
      std::u16string u = Decode(in);
      std::u16string rest = Decode(in.substr(1));
      bool alone = u.size() == rest.size() + 1 && u[0] == single[a] && u.substr(1) == rest;
      bool joined = u.size() == 2 && u[1] == u'A';
      if (alone == joined) Fail("cannot tell how many bytes were consumed", a, t);
      if (!IsLead(a)) {
        if (!alone) Fail("non-lead byte takes a trail byte", a, t);
        continue;
      }
      if (t == 0x00) {
        if (!alone) Fail("lead byte swallows 0x00", a, t);
      } else if (t < 0x40 || t == 0xFF) {
        if (!joined || u[0] != u'?') Fail("lead byte + invalid trail is not '?' for both bytes", a, t);
      } else {
        if (!joined) Fail("lead byte + trail 0x40..0xFE is not one character", a, t);
        pairs[(a - 0x81) * kTrailCount + (t - 0x40)] = u[0];
        if (u[0] != u'?') ++defined;
        if (u[0] >= 0xE000 && u[0] <= 0xF8FF) ++userDefined;
      }
    }
    // The lead byte as the last byte of a longer input.
    if (IsLead(a)) {
      std::u16string u = Decode(std::string{'A', static_cast<char>(a)});
      if (u != u"A?") Fail("lead byte at the end of input is not '?'", a);
    }
  }

  // Every UTF-16 unit on its own.
  std::vector<std::uint16_t> encode(0x10000);
  int best = 0, question = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    std::string b = Encode(std::u16string(1, static_cast<char16_t>(c)));
    std::uint16_t v;
    if (b.size() == 1) {
      v = static_cast<unsigned char>(b[0]);
      if (IsLead(v)) Fail("unit encodes to a lone lead byte", c);
    } else if (b.size() == 2 && IsLead(static_cast<unsigned char>(b[0]))) {
      v = static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]));
    } else {
      Fail("unit encodes to an unexpected byte count", c, static_cast<unsigned>(b.size()));
    }
    encode[c] = v;
    if (v == '?' && c != '?') ++question;
  }
  for (unsigned c = 0; c < 0x10000; ++c) {
    std::uint16_t v = encode[c];
    if (v == '?') continue;
    std::uint16_t back = v < 0x100 ? single[v] : pairs[((v >> 8) - 0x81) * kTrailCount + ((v & 0xFF) - 0x40)];
    if (back != c) ++best;
  }
  // A surrogate pair and lone surrogates are converted unit by unit.
  const std::u16string probes[] = {u"\xD83D\xDE00", u"\xD800", u"\xDC00", u"A\xD800" "B", u"\xDBFF\xDFFF\xD800"};
  for (const std::u16string& p : probes) {
    std::string expected;
    for (char16_t c : p) expected += Encode(std::u16string(1, c));
    if (Encode(p) != expected) Fail("surrogates are not converted unit by unit", p[0]);
  }

  // Two-level encode table: the high byte of the unit picks a block of 256.
  std::vector<std::vector<std::uint16_t>> blocks;
  std::uint8_t blockOf[256];
  for (unsigned hi = 0; hi < 256; ++hi) {
    std::vector<std::uint16_t> block(encode.begin() + hi * 256, encode.begin() + hi * 256 + 256);
    size_t i = 0;
    while (i < blocks.size() && blocks[i] != block) ++i;
    if (i == blocks.size()) blocks.push_back(block);
    if (i > 255) Fail("too many encode blocks", hi);
    blockOf[hi] = static_cast<std::uint8_t>(i);
  }

  std::fprintf(stderr,
               "cp936gen: %d double-byte characters (%d user-defined), %d units best-fit, "
               "%d units unmappable, %zu encode blocks\n",
               defined, userDefined, best, question, blocks.size());

  std::printf(
      "// Generated by tools/cp936gen from the system's code page 936 conversion; do not edit.\n"
      "// Regenerate from the repository root:\n"
      "//   x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o /tmp/cp936gen.exe tools/cp936gen/cp936gen.cpp\n"
      "//   wine /tmp/cp936gen.exe > page/cp936_tables.cpp\n"
      "#include <cstdint>\n\n"
      "namespace dorvane::cp936::tables {\n\n"
      "extern const std::uint16_t kSingle[256];\n"
      "extern const std::uint16_t kPairs[126 * 191];\n"
      "extern const std::uint8_t kEncodeIndex[256];\n"
      "extern const std::uint16_t kEncodeBlocks[%zu][256];\n\n",
      blocks.size());

  auto printUnits = [](const std::uint16_t* v, size_t n, size_t perLine) {
    for (size_t i = 0; i < n; ++i) {
      std::printf("%s0x%04X,", i % perLine == 0 ? "    " : " ", v[i]);
      if (i % perLine == perLine - 1 || i + 1 == n) std::printf("\n");
    }
  };

  std::printf("// UTF-16 unit of each byte read alone (lead bytes alone give '?').\n");
  std::printf("const std::uint16_t kSingle[256] = {\n");
  printUnits(single, 256, 16);
  std::printf("};\n\n");

  std::printf("// UTF-16 unit of lead 0x81..0xFE (rows) with trail 0x40..0xFE (columns).\n");
  std::printf("const std::uint16_t kPairs[126 * 191] = {\n");
  for (int lead = 0; lead < kLeadCount; ++lead) {
    std::printf("    // 0x%02X\n", lead + 0x81);
    printUnits(&pairs[lead * kTrailCount], kTrailCount, 16);
  }
  std::printf("};\n\n");

  std::printf("// Block of kEncodeBlocks for each high byte of a UTF-16 unit.\n");
  std::printf("const std::uint8_t kEncodeIndex[256] = {\n");
  for (int i = 0; i < 256; ++i) {
    std::printf("%s%u,", i % 16 == 0 ? "    " : " ", blockOf[i]);
    if (i % 16 == 15) std::printf("\n");
  }
  std::printf("};\n\n");

  std::printf("// Bytes of each UTF-16 unit: < 0x100 one byte, else lead << 8 | trail.\n");
  std::printf("const std::uint16_t kEncodeBlocks[%zu][256] = {\n", blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::printf("    {  // %zu\n", i);
    printUnits(blocks[i].data(), 256, 16);
    std::printf("    },\n");
  }
  std::printf("};\n\n}  // namespace dorvane::cp936::tables\n");
  return std::fflush(stdout) == 0 ? 0 : 1;
}
