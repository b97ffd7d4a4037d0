// For the tests: a file-system path as the code page 936 Text a user types.
#pragma once

#include <filesystem>
#include <string>

#include "page.h"

namespace dorvane {

inline Text PathText(const std::filesystem::path& p) {
#ifdef _WIN32
    const std::wstring w = p.wstring();
    return Utf16ToCp936(std::u16string(w.begin(), w.end()));
#else
    return Utf16ToCp936(Utf8ToUtf16(p.string()));
#endif
}

}  // namespace dorvane
