// The Generate command: check the location, build, convert, write, report.
#include "page.h"

namespace dorvane {

GenerateResult Generate(std::string_view title, std::string_view message,
                        std::string_view location) {
    if (location.empty())
        return {GenerateOutcome::MissingLocation, Utf16ToCp936(u"请选择文件保存位置."),
                MessageKind::Warning};

    Bytes data = AnsiToUtf8(BuildPage(title, message));
    // The terminating zero is a C-string convention, not part of the page.
    if (!data.empty() && data.back() == 0) data.pop_back();

    if (data.empty() || !WriteWholeFile(location, data))
        return {GenerateOutcome::WriteFailed, Utf16ToCp936(u"文件写出失败."), MessageKind::Error};

    Text written = Utf16ToCp936(u"文件写出成功.\r\n位置:");
    written.append(location);
    return {GenerateOutcome::Written, std::move(written), MessageKind::Information};
}

}  // namespace dorvane
