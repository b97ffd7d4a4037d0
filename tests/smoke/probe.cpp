// probe.exe: looks into the running Dorvane window from another process, for
// the smoke test and the screenshot script, which drive the window with real
// X input (xdotool) and need to know where things are and when they are ready.
//
//   probe window MS              wait for the window; print "l t r b" (outer rectangle)
//   probe rect NAME              print the screen rectangle "l t r b" of a control
//   probe text NAME              print the control's text as hex of its UTF-8
//   probe wait-focus NAME MS     wait until the window is active and NAME has the focus
//   probe wait-active MS         wait until the window is active (the focus anywhere in it)
//   probe wait-text NAME HEX MS  wait until NAME's text is the UTF-8 given as hex
//   probe message MS             wait for a message box of Dorvane's process; print
//                                "ok l t r b", "caption HEX", "text HEX"
//   probe wait-no-message MS     wait until no message box of Dorvane's process is left
//
// NAME is title, message, location, browse or generate. The controls are found
// by what they are, not by identifiers: the multi-line edit box is the message,
// of the two single-line ones the upper is the title and the lower the
// location; the push buttons by their captions.
//
// Exit status 0 on success, 1 on a timeout or a missing window (with a line on
// standard error saying what was seen), 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Raw bytes to standard output: no console code page in between.
void Print(const std::string& s) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written,
              nullptr);
}

void Complain(const std::string& s) {
    const std::string line = "probe: " + s + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

std::string RectText(const RECT& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    return buf;
}

std::wstring TextOf(HWND hwnd) {
    // WM_GETTEXT works across processes; GetWindowText would not read an
    // edit box of another process.
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::string Describe(HWND hwnd) {
    if (!hwnd) return "none";
    wchar_t caption[128] = {};
    GetWindowTextW(hwnd, caption, 128);
    return Utf8(ClassOf(hwnd)) + " \"" + Utf8(caption) + "\"";
}

// Polls until found() returns true or the time is up.
template <typename F>
bool PollFor(DWORD ms, F found) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        if (found()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
}

// ---- The main window and its controls ----------------------------------------

std::vector<HWND> g_found;

BOOL CALLBACK CollectMain(HWND hwnd, LPARAM) {
    wchar_t caption[64] = {};
    if (IsWindowVisible(hwnd) && GetMenu(hwnd) && GetWindowTextW(hwnd, caption, 64) &&
        std::wcscmp(caption, L"Dorvane") == 0)
        g_found.push_back(hwnd);
    return TRUE;
}

// The one visible top-level window captioned "Dorvane" with a menu bar.
HWND FindDorvane(std::string* why) {
    g_found.clear();
    EnumWindows(CollectMain, 0);
    if (g_found.size() == 1) return g_found[0];
    if (why) *why = g_found.empty() ? "no visible window captioned Dorvane" : "more than one Dorvane window";
    return nullptr;
}

struct Controls {
    HWND title = nullptr, message = nullptr, location = nullptr, browse = nullptr, generate = nullptr;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM) {
    g_found.push_back(hwnd);
    return TRUE;
}

LONG TopOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r.top;
}

Controls FindControls(HWND dorvane) {
    g_found.clear();
    EnumChildWindows(dorvane, CollectChild, 0);  // every descendant
    Controls c;
    std::vector<HWND> single_line;
    for (HWND hwnd : g_found) {
        const std::wstring cls = ClassOf(hwnd);
        const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
        if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
            if (style & ES_MULTILINE) c.message = hwnd;
            else single_line.push_back(hwnd);
        } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON) {
            const std::wstring text = TextOf(hwnd);
            if (text == L"G E N E R A T E") c.generate = hwnd;
            else if (text == L"浏览") c.browse = hwnd;
        }
    }
    if (single_line.size() == 2) {
        const bool first_is_upper = TopOf(single_line[0]) < TopOf(single_line[1]);
        c.title = single_line[first_is_upper ? 0 : 1];
        c.location = single_line[first_is_upper ? 1 : 0];
    }
    return c;
}

HWND ControlNamed(HWND dorvane, const std::wstring& name, std::string* why) {
    const Controls c = FindControls(dorvane);
    HWND hwnd = name == L"title"      ? c.title
                : name == L"message"  ? c.message
                : name == L"location" ? c.location
                : name == L"browse"   ? c.browse
                : name == L"generate" ? c.generate
                                      : nullptr;
    if (!hwnd && why) *why = "no control found for " + Utf8(name);
    return hwnd;
}

// ---- Message boxes -----------------------------------------------------------

DWORD g_pid = 0;

BOOL CALLBACK CollectMessageBox(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == g_pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") g_found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> MessageBoxes(HWND dorvane) {
    GetWindowThreadProcessId(dorvane, &g_pid);
    g_found.clear();
    EnumWindows(CollectMessageBox, 0);
    return g_found;
}

// ---- Commands ----------------------------------------------------------------

int Fail(const std::string& why) {
    Complain(why);
    return 1;
}

HWND WaitMain(DWORD ms, std::string* why) {
    HWND dorvane = nullptr;
    PollFor(ms, [&] { return (dorvane = FindDorvane(why)) != nullptr; });
    return dorvane;
}

int Run(const std::vector<std::wstring>& args) {
    const auto n = args.size();
    const std::wstring& cmd = n > 0 ? args[0] : L"";
    auto ms_at = [&](std::size_t i) { return static_cast<DWORD>(std::wcstoul(args[i].c_str(), nullptr, 10)); };
    std::string why;

    if (cmd == L"window" && n == 2) {
        HWND dorvane = WaitMain(ms_at(1), &why);
        if (!dorvane) return Fail(why);
        RECT r{};
        GetWindowRect(dorvane, &r);
        Print(RectText(r) + "\n");
        return 0;
    }

    // Everything else needs the window already there (give it a moment).
    HWND dorvane = WaitMain(2000, &why);
    if (!dorvane) return Fail(why);

    if ((cmd == L"rect" || cmd == L"text") && n == 2) {
        HWND hwnd = ControlNamed(dorvane, args[1], &why);
        if (!hwnd) return Fail(why);
        if (cmd == L"text") {
            Print(Hex(Utf8(TextOf(hwnd))) + "\n");
        } else {
            RECT r{};
            GetWindowRect(hwnd, &r);
            Print(RectText(r) + "\n");
        }
        return 0;
    }

    if (cmd == L"wait-focus" && n == 3) {
        HWND hwnd = ControlNamed(dorvane, args[1], &why);
        if (!hwnd) return Fail(why);
        const DWORD thread = GetWindowThreadProcessId(dorvane, nullptr);
        GUITHREADINFO info{};
        const bool ok = PollFor(ms_at(2), [&] {
            info = GUITHREADINFO{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(thread, &info) && info.hwndActive == dorvane && info.hwndFocus == hwnd;
        });
        if (ok) return 0;
        return Fail("focus not in " + Utf8(args[1]) + ": active window " +
                    (info.hwndActive == dorvane ? std::string("is Dorvane") : Utf8(ClassOf(info.hwndActive))) +
                    ", focus in class " + Utf8(ClassOf(info.hwndFocus)) + " text hex " +
                    Hex(Utf8(TextOf(info.hwndFocus))));
    }

    if (cmd == L"wait-active" && n == 2) {
        const DWORD thread = GetWindowThreadProcessId(dorvane, nullptr);
        const bool ok = PollFor(ms_at(1), [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(thread, &info) && info.hwndActive == dorvane &&
                   (info.hwndFocus == dorvane || IsChild(dorvane, info.hwndFocus));
        });
        if (ok) return 0;
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(thread, &info);
        HWND fg = GetForegroundWindow();
        return Fail("the Dorvane window is not active: its thread's active window is " +
                    Describe(info.hwndActive) + ", the foreground window " + Describe(fg) +
                    (IsWindowEnabled(dorvane) ? "" : "; Dorvane is disabled"));
    }

    if (cmd == L"wait-text" && n == 4) {
        HWND hwnd = ControlNamed(dorvane, args[1], &why);
        if (!hwnd) return Fail(why);
        const std::string want = Utf8(args[2]);
        std::string got;
        if (PollFor(ms_at(3), [&] { return (got = Hex(Utf8(TextOf(hwnd)))) == want; })) return 0;
        return Fail(Utf8(args[1]) + " holds hex " + got);
    }

    if (cmd == L"message" && n == 2) {
        std::vector<HWND> boxes;
        if (!PollFor(ms_at(1), [&] { return !(boxes = MessageBoxes(dorvane)).empty(); }))
            return Fail("no message box appeared");
        if (boxes.size() != 1) return Fail("more than one message box is open");
        HWND box = boxes[0];
        HWND ok = GetDlgItem(box, IDOK);
        HWND text = GetDlgItem(box, 0xFFFF);
        if (!ok || !text) return Fail("the message box has no OK button or no text");
        RECT r{};
        GetWindowRect(ok, &r);
        Print("ok " + RectText(r) + "\ncaption " + Hex(Utf8(TextOf(box))) + "\ntext " +
              Hex(Utf8(TextOf(text))) + "\n");
        return 0;
    }

    if (cmd == L"wait-no-message" && n == 2) {
        if (PollFor(ms_at(1), [&] { return MessageBoxes(dorvane).empty(); })) return 0;
        return Fail("a message box is still open");
    }

    Complain("bad usage; see the comment at the top of probe.cpp");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Run(args);
}
