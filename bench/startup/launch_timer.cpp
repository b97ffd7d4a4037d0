// Start-up time of Win32 programs: starts each program in turn, N times,
// and measures from CreateProcessW to the moment a top-level window of the
// new process is visible; then ends the process.
//
//   launch_timer N PROGRAM.exe [PROGRAM.exe...]
//
// Prints every launch, then the median and the fastest launch of each
// program, and each program's median over the first one's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && IsWindowVisible(window)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds from launch to a visible window, or a negative value on failure.
double TimeLaunch(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return -1;
    double seconds = -1;
    for (;;) {
        Search search{pi.dwProcessId, false};
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&now);
        if (search.found) {
            seconds = Seconds(start, now);
            break;
        }
        if (Seconds(start, now) > 30 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(1);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return seconds;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const wchar_t* BaseName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: launch_timer N PROGRAM.exe [PROGRAM.exe...]\n");
        return 64;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    std::vector<std::wstring> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(programs.size());
    // One launch of each first, not counted: the first start of a program
    // reads it from the disk.
    for (const auto& program : programs) TimeLaunch(program);
    for (int run = 0; run < runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const double t = TimeLaunch(programs[p]);
            if (t < 0) {
                std::fwprintf(stderr, L"launch_timer: %ls did not show a window\n", programs[p].c_str());
                return 1;
            }
            times[p].push_back(t);
            std::wprintf(L"run %2d  %-16ls %7.1f ms\n", run + 1, BaseName(programs[p]), t * 1e3);
        }
    }
    std::wprintf(L"\n%-16ls %10ls %10ls %10ls\n", L"program", L"median", L"fastest", L"ratio");
    const double base = Median(times[0]);
    for (std::size_t p = 0; p < programs.size(); ++p) {
        const double median = Median(times[p]);
        std::wprintf(L"%-16ls %7.1f ms %7.1f ms %9.2fx\n", BaseName(programs[p]), median * 1e3,
                     *std::min_element(times[p].begin(), times[p].end()) * 1e3, median / base);
    }
    return 0;
}
