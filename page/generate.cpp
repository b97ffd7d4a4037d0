// The Generate command: check the location, build, convert, write, report.
#include "page.h"

#include <new>

namespace dorvane {
namespace {

GenerateResult Failed() {
    return {GenerateOutcome::WriteFailed, Utf16ToCp936(u"文件写出失败."), MessageKind::Error};
}

// The page as UTF-8, or nothing when there is no memory for a page this
// large: the user is told that nothing was written, the program goes on.
Bytes PageBytes(std::string_view title, std::string_view message) {
    // A byte of text becomes at most 6 bytes of page ("<" is "\u003C"), and
    // the UTF-16 and UTF-8 forms of the page take at most 2 and 3 times its
    // size: texts that could outgrow the largest buffer there is are refused
    // up front (only a 32-bit build can get near that).
    constexpr std::size_t kMostTextBytes = (Bytes().max_size() - 1024) / 18;
    if (title.size() > kMostTextBytes || message.size() > kMostTextBytes - title.size()) return {};
    try {
        // AnsiToUtf8 in its two steps, so that each buffer goes as soon as the
        // next one exists: the page before the UTF-8 bytes are made, the
        // UTF-16 units before the file is written.
        Bytes data;
        {
            const Bytes units = AnsiToUnicode(BuildPage(title, message), false);
            data = UnicodeToUtf8(units);
        }
        // The terminating zero is a C-string convention, not part of the page.
        if (!data.empty() && data.back() == 0) data.pop_back();
        return data;
    } catch (const std::bad_alloc&) {
    }
    return {};
}

}  // namespace

GenerateResult Generate(std::string_view title, std::string_view message,
                        std::string_view location) {
    if (location.empty())
        return {GenerateOutcome::MissingLocation, Utf16ToCp936(u"请选择文件保存位置."),
                MessageKind::Warning};

    const Bytes data = PageBytes(title, message);
    // The template alone is never empty: no bytes means no page was made.
    if (data.empty() || !WriteWholeFile(location, data)) return Failed();

    Text written = Utf16ToCp936(u"文件写出成功.\r\n位置:");
    written.append(location);
    return {GenerateOutcome::Written, std::move(written), MessageKind::Information};
}

}  // namespace dorvane
