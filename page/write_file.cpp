// WriteWholeFile: the one place that creates and writes files.
#include "page.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace dorvane {

#ifdef _WIN32

bool WriteWholeFile(std::string_view path, const Bytes& data) {
    if (path.empty()) return false;
    const std::u16string wide = Cp936ToUtf16(path);
    const std::wstring name(wide.begin(), wide.end());
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, data.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    ok = CloseHandle(file) && ok;
    return ok;
}

#else

bool WriteWholeFile(std::string_view path, const Bytes& data) {
    if (path.empty()) return false;
    const std::string name = Utf16ToUtf8(Cp936ToUtf16(path));
    struct stat st {};
    // A file without any write permission bit is read-only, even to root.
    if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    return ok;
}

#endif

}  // namespace dorvane
