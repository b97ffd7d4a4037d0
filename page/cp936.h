// Code page 936 (GBK) <-> UTF-16, code unit for code unit what Windows'
// MultiByteToWideChar(936, 0, ...) and WideCharToMultiByte(936, 0, ..., NULL,
// NULL) give for inputs with an explicit length, on every platform.
//
// Reading bytes: 0x00..0x7F are ASCII, 0x80 is U+20AC, 0xFF is U+F8F5, and
// 0x81..0xFE lead a two-byte character (user-defined codes included, as
// U+E000..U+E864). A lead byte followed by a byte outside 0x40..0xFE gives
// U+003F and takes that byte with it, except 0x00, which stays a character of
// its own; a lead byte at the end gives U+003F. A 0x00 byte is a character
// like any other.
//
// Writing bytes: each unit on its own, with the best-fit mappings (U+00A3 ->
// A1 EA) and '?' for everything else, so a surrogate pair gives "??".
#pragma once

#include <cstddef>
#include <string_view>

namespace dorvane::cp936 {

// Number of UTF-16 units that Decode produces for text (read as code page 936).
std::size_t DecodedLength(std::string_view text) noexcept;

// Decodes text into out, which has room for DecodedLength(text) units; returns
// the count written.
std::size_t Decode(std::string_view text, char16_t* out) noexcept;

// Number of bytes that Encode produces for units.
std::size_t EncodedLength(std::u16string_view units) noexcept;

// Encodes units into out (room for EncodedLength(units) bytes); returns the
// count written.
std::size_t Encode(std::u16string_view units, char* out) noexcept;

}  // namespace dorvane::cp936
