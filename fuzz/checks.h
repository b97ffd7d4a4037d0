// The properties the fuzz targets check on every input. They live apart from
// the libFuzzer entry points so that a normal test can replay the corpus and
// every input that once failed.
//
// Each check returns "" when the input passes, otherwise what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dorvane::fuzz {

// The input is a title, one 0x00 byte, then a message (without a 0x00 the
// whole input is the title): BuildPage + AnsiToUtf8 must give valid UTF-8 in
// which the title element and the script's one string literal decode back to
// the title and the message.
std::string CheckPage(const std::uint8_t* data, std::size_t size);

// The input read as code page 936 text, and read as UTF-16 code units: the
// measuring and converting functions agree, the public conversions agree
// with them, and valid text survives 936 -> UTF-16 -> 936.
std::string CheckCp936(const std::uint8_t* data, std::size_t size);

}  // namespace dorvane::fuzz
