// The user-interface services on Win32 (W functions throughout).
#include "services.h"

#include <commdlg.h>

#include <cstdint>
#include <string>

namespace dorvane::ui {
namespace {

std::wstring ToWide(std::string_view text) {
    const std::u16string units = Cp936ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

Text FromWide(std::wstring_view text) {
    return Utf16ToCp936(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()),
                                            text.size()));
}

Answer AnswerOf(int button) {
    switch (button) {
    case IDCANCEL: return Answer::Cancel;
    case IDABORT: return Answer::Abort;
    case IDRETRY: return Answer::Retry;
    case IDIGNORE: return Answer::Ignore;
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    default: return Answer::Ok;
    }
}

// SplitMix64: small, fast, and it spreads neighbouring seeds apart, which is
// what seeding from a millisecond clock needs.
std::uint64_t g_random_state = 0;
std::uint64_t g_seed_offset = 0;

std::uint64_t NextRandom() {
    std::uint64_t z = (g_random_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// GetSaveFileNameW, from comdlg32.dll loaded the first time the dialog is
// wanted: importing it would load the DLL and everything it needs at every
// start, before the window can appear. Null when it cannot be loaded.
using GetSaveFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW);

GetSaveFileNameFn SaveDialogFunction() {
    static GetSaveFileNameFn function = [] {
        // From the system folder only; older systems without that flag take
        // the plain search, which finds comdlg32 among the known DLLs.
        HMODULE dll = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!dll) dll = LoadLibraryW(L"comdlg32.dll");
        return dll ? reinterpret_cast<GetSaveFileNameFn>(
                         reinterpret_cast<void*>(GetProcAddress(dll, "GetSaveFileNameW")))
                   : nullptr;
    }();
    return function;
}

}  // namespace

Answer ShowMessage(std::string_view text, MessageKind kind) {
    const std::wstring wide = ToWide(text);
    // A task-modal box has no owner, so closing it activates nothing: the
    // window that was active gets the keyboard back explicitly.
    const HWND active = GetActiveWindow();
    const Answer answer =
        AnswerOf(MessageBoxW(nullptr, wide.c_str(), L"", static_cast<UINT>(kind) | MB_TASKMODAL));
    if (active && IsWindow(active)) SetForegroundWindow(active);
    return answer;
}

Text GetText(HWND box) {
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return FromWide(text);
}

void SetText(HWND box, std::string_view text) {
    const std::wstring wide = ToWide(text);
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::wstring PrepareFilter(std::wstring_view filter) {
    std::wstring prepared(filter);
    while (!prepared.empty() && (prepared.back() == L' ' || prepared.back() == L'\t'))
        prepared.pop_back();
    if (!prepared.ends_with(L"||")) prepared += L"||";
    for (wchar_t& c : prepared)
        if (c == L'|') c = L'\0';
    return prepared;
}

bool FileDialog::Show(HWND owner) {
    static constexpr wchar_t kFilter[] = L"html文件（*.html）|*.html";
    const std::wstring filter = PrepareFilter(kFilter);

    // The dialog writes into a copy so that Cancel leaves the name as it was.
    wchar_t name[MAX_PATH];
    static_assert(sizeof name == sizeof name_);
    CopyMemory(name, name_, sizeof name);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = ARRAYSIZE(name);  // characters, not bytes
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    const GetSaveFileNameFn get_save_file_name = SaveDialogFunction();
    if (!get_save_file_name || !get_save_file_name(&ofn)) return false;
    CopyMemory(name_, name, sizeof name);
    return true;
}

Text FileDialog::FileName() const { return FromWide(name_); }

void SeedRandomFromClock() {
    g_seed_offset += 0x1000193;  // grows at every seeding
    g_random_state = GetTickCount() + g_seed_offset;
}

int RandomBetween(int lo, int hi) {
    const std::uint64_t range = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    // Reject the top values that would make some results more likely.
    const std::uint64_t limit = (std::uint64_t{1} << 32) / range * range;
    std::uint64_t r;
    do {
        r = NextRandom() >> 32;
    } while (r >= limit);
    return static_cast<int>(static_cast<std::int64_t>(lo) + static_cast<std::int64_t>(r % range));
}

void EndProgram(int code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace dorvane::ui
