// Dorvane's page generation: the page template, its assembly, the
// code page 936 -> UTF-8 conversion and the Generate command.
//
// Text is a byte string in code page 936 (GBK): one byte for ASCII, two for
// a double-byte character. Bytes is a counted buffer that may hold zeros.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

// The maker's credits, shared by the page trailer and the About message.
inline constexpr std::string_view kMakerNumber = "2718281828";
inline constexpr std::string_view kMakerEmail = "hello@kestrum.example";

// ---- Page assembly -------------------------------------------------------

// Escapes a message for the string literal of the page's alert call:
// CR LF -> \n, lone CR -> \r, lone LF -> \n, \ -> \\, " -> \", < -> \u003C.
// Double-byte characters are copied whole; a lead byte without a valid trail
// byte becomes '?'. Nothing else changes.
Text EscapeLineBreaks(std::string_view message);

// Escapes a title for the page's <title> element: & < > become entities;
// double-byte characters and lone lead bytes as in EscapeLineBreaks.
Text EscapeTitle(std::string_view title);

// The whole page: head, escaped title, middle, escaped message, tail.
Text BuildPage(std::string_view title, std::string_view message);

// ---- Transcoding -----------------------------------------------------------

// UTF-16LE bytes of the text read as code page 936, with the terminating zero
// code unit unless dropTerminator. The empty text gives the empty buffer.
Bytes AnsiToUnicode(std::string_view text, bool dropTerminator);

// UTF-8 bytes of exactly the UTF-16LE code units given (an odd last byte is
// ignored). A zero unit in the input becomes a zero byte in the output.
Bytes UnicodeToUtf8(const Bytes& units);

// UnicodeToUtf8(AnsiToUnicode(text, false)): the UTF-8 text plus one 0x00.
Bytes AnsiToUtf8(std::string_view text);

// Code page 936 <-> UTF-16 code units, converting exactly as Windows does with
// flags 0 (invalid input and unmappable characters become '?', best-fit
// mappings included). Used at the boundaries: edit boxes, command line, paths.
std::u16string Cp936ToUtf16(std::string_view text);
Text Utf16ToCp936(std::u16string_view units);

// UTF-8 <-> UTF-16 for the POSIX file system and the command line. Invalid
// input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view units);

// ---- Generate --------------------------------------------------------------

// Icon and buttons of a message box; the values are the MessageBox styles.
enum class MessageKind : unsigned {
    Information = 64,
    Warning = 48,
    Error = 16,
    YesNoQuestion = 36,
};

enum class GenerateOutcome { MissingLocation, Written, WriteFailed };

struct GenerateResult {
    GenerateOutcome outcome;
    Text message;  // code page 936
    MessageKind kind;
};

// Writes data to path (code page 936, used exactly as typed); true when every
// byte reached the file.
bool WriteWholeFile(std::string_view path, const Bytes& data);

// Builds the page from title and message and writes it as UTF-8 to location.
GenerateResult Generate(std::string_view title, std::string_view message,
                        std::string_view location);

}  // namespace dorvane
