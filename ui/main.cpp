// Dorvane's entry point: start in the program's own folder, show the window,
// run it until it closes.
#include <windows.h>

#include <string>

#include "main_window.h"

namespace {

// The folder that holds the running executable, without a trailing
// separator unless it is a drive's root.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    path.resize(slash > 0 && path[slash - 1] == L':' ? slash + 1 : slash);
    return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const std::wstring folder = ProgramFolder();
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    dorvane::ui::MainWindow window(instance, show);
    if (!window.Handle()) return 1;
    return dorvane::ui::RunEventLoop(window);
}
