// The real main window in this process, driven through its real message loop
// by a script of steps that a thread timer runs. The timer keeps firing inside
// message boxes and the save dialog, so a step can read and answer them; a
// WH_CBT hook records every message box as it is activated.
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link_label.h"
#include "main_window.h"

namespace dorvane::ui {
namespace {

namespace fs = std::filesystem;

// ---- Small helpers ------------------------------------------------------------

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    return name;
}

std::string Utf8(std::wstring_view text) {
    std::string out(static_cast<std::size_t>(WideCharToMultiByte(
                        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

Text Cp936(std::wstring_view text) {
    return Utf16ToCp936(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

LOGFONTW FontOf(HWND hwnd) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

RECT ClientRectOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

POINT CentreOf(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The DPI that the Wine prefix (or Windows) is set to.
UINT SystemLogPixels() {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD,
                     nullptr, &value, &size) == ERROR_SUCCESS && value)
        return value;
    return 96;
}

// ---- Real input -----------------------------------------------------------------

void SendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
    std::vector<INPUT> inputs;
    for (auto [vk, up] : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void PressKey(WORD vk, bool shift = false) {
    if (shift)
        SendKeys({{VK_SHIFT, false}, {vk, false}, {vk, true}, {VK_SHIFT, true}});
    else
        SendKeys({{vk, false}, {vk, true}});
}

void TypeText(std::wstring_view text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wScan = c;
            in.ki.dwFlags = KEYEVENTF_UNICODE | up;
            inputs.push_back(in);
        }
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void MouseButton(POINT at, DWORD flag) {
    SetCursorPos(at.x, at.y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flag;
    SendInput(1, &in, sizeof in);
}

void Click(HWND hwnd) {
    MouseButton(CentreOf(hwnd), MOUSEEVENTF_LEFTDOWN);
    MouseButton(CentreOf(hwnd), MOUSEEVENTF_LEFTUP);
}

// ---- Dialogs of this thread -------------------------------------------------------

bool IsMessageBox(HWND h) { return GetDlgItem(h, 0xFFFF) != nullptr; }
bool IsSaveDialog(HWND h) { return GetDlgItem(h, 1148) != nullptr; }  // the file-name box

HWND FindDialog(bool (*kind)(HWND)) {
    struct Search {
        bool (*kind)(HWND);
        HWND found;
    } search{kind, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (IsWindowVisible(h) && ClassOf(h) == L"#32770" && s->kind(h)) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box as it was shown: its title, text, the MessageBox style that its
// icon and buttons stand for, and whether it was ownerless and task-modal.
struct Shown {
    std::wstring title, text;
    unsigned style = 0;
    bool owned = false;
    bool window_enabled = true;
};

unsigned StyleOfBox(HWND box) {
    HWND icon = GetDlgItem(box, 1088);  // Wine
    if (!icon) icon = GetDlgItem(box, 20);  // Windows
    const auto shown_icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    unsigned style = 0;
    const std::pair<LPCWSTR, unsigned> icons[] = {{IDI_HAND, MB_ICONHAND},
                                                   {IDI_QUESTION, MB_ICONQUESTION},
                                                   {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                                   {IDI_ASTERISK, MB_ICONASTERISK}};
    for (auto [id, bits] : icons)
        if (shown_icon && shown_icon == LoadIconW(nullptr, id)) style |= bits;
    auto has = [box](int id) {
        HWND b = GetDlgItem(box, id);
        return b && (GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE);
    };
    if (has(IDYES) && has(IDNO) && !has(IDOK) && !has(IDCANCEL))
        style |= MB_YESNO;
    else if (!(has(IDOK) && !has(IDYES) && !has(IDNO) && !has(IDCANCEL)))
        style |= 0xF;  // a set of buttons that no kind uses
    return style;
}

// ---- The fixture ----------------------------------------------------------------

using Step = std::function<bool()>;  // true when done; false to try again at the next tick

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(ARRAYSIZE(temp), temp);
        folder_ = fs::path(temp) / (L"dorvane-window-tests-" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(folder_);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void SetUp() override {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr));
        ASSERT_NE(window_->Handle(), nullptr);
        SetForegroundWindow(window_->Handle());
    }

    void TearDown() override {
        window_.reset();
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
        MSG msg;  // the WM_QUIT of a window destroyed outside the loop, and the rest
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Main() const { return window_->Handle(); }
    HWND Get(Control c) const { return window_->ControlHandle(c); }

    // Runs the real event loop while the timer plays the steps; closes the
    // window after the last one. Returns the loop's exit code.
    int Run(std::vector<Step> steps, DWORD limit_ms = 20000) {
        steps_ = std::move(steps);
        next_ = 0;
        start_ = GetTickCount();
        limit_ = limit_ms;
        aborting_ = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 15, TimerProc);
        const int code = RunEventLoop(*window_);
        KillTimer(nullptr, timer);
        EXPECT_EQ(next_, steps_.size()) << "the window closed before the script ended";
        return code;
    }

    // Steps.
    static Step Do(std::function<void()> action) {
        return [action] {
            action();
            return true;
        };
    }
    static Step Until(std::function<bool()> condition) { return condition; }
    // Waits for a message box and presses one of its buttons.
    static Step Answer(int button) {
        return [button, box = HWND{}]() mutable {
            if (!box) {
                box = FindDialog(IsMessageBox);
                if (box) PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
                return false;
            }
            return !IsWindow(box);
        };
    }
    // Holds the script still for a few ticks so that queued input is handled.
    static Step Settle(int ticks = 4) {
        return [ticks, left = ticks]() mutable {
            if (--left > 0) return false;
            left = ticks;  // ready for another run of the same script
            return true;
        };
    }
    Step Focus(Control c) {
        return [this, c] {
            SetFocus(Get(c));
            return GetFocus() == Get(c);
        };
    }
    Step ExpectFocus(Control c, std::string where) {
        return [this, c, where] {
            EXPECT_EQ(GetFocus(), Get(c)) << where;
            return true;
        };
    }

    // The id of the menu item with this caption under the popup with that one.
    UINT MenuItem(const wchar_t* popup, const wchar_t* item) const {
        HMENU bar = GetMenu(Main());
        for (int i = 0; i < GetMenuItemCount(bar); ++i) {
            wchar_t caption[64];
            GetMenuStringW(bar, i, caption, ARRAYSIZE(caption), MF_BYPOSITION);
            if (std::wstring_view(caption) != popup) continue;
            HMENU sub = GetSubMenu(bar, i);
            for (int j = 0; j < GetMenuItemCount(sub); ++j) {
                GetMenuStringW(sub, j, caption, ARRAYSIZE(caption), MF_BYPOSITION);
                if (std::wstring_view(caption) == item) return GetMenuItemID(sub, j);
            }
        }
        ADD_FAILURE() << "no menu item " << Utf8(popup) << " -> " << Utf8(item);
        return 0;
    }
    Step ChooseMenu(const wchar_t* popup, const wchar_t* item) {
        return Do([this, popup, item] { PostMessageW(Main(), WM_COMMAND, MenuItem(popup, item), 0); });
    }

    static inline fs::path folder_;
    std::unique_ptr<MainWindow> window_;
    std::vector<Shown> shown_;

private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD) {
        WindowTest* self = current_;
        if (!self || self->in_step_) return;
        self->in_step_ = true;
        self->Tick();
        self->in_step_ = false;
    }

    void Tick() {
        // A box is recorded once its dialog has been set up: at the first tick
        // after its activation, before any step can answer it.
        for (HWND box : activated_)
            if (IsWindow(box)) Record(box);
        activated_.clear();
        if (!aborting_ && GetTickCount() - start_ > limit_) {
            ADD_FAILURE() << "the script is stuck at step " << next_;
            aborting_ = true;
        }
        if (aborting_) {
            // Dismiss whatever is open, then close the window.
            for (HWND box; (box = FindDialog([](HWND) { return true; }));) {
                for (int id : {IDNO, IDCANCEL, IDOK}) PostMessageW(box, WM_COMMAND, id, 0);
                return;
            }
            if (Main()) DestroyWindow(Main());
            return;
        }
        if (next_ < steps_.size()) {
            if (steps_[next_]()) ++next_;
            return;
        }
        if (Main()) DestroyWindow(Main());
    }

    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_ACTIVATE && current_) {
            HWND h = reinterpret_cast<HWND>(wp);
            if (ClassOf(h) == L"#32770") current_->activated_.push_back(h);
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    void Record(HWND box) {
        if (!IsMessageBox(box)) return;
        Shown s;
        s.title = TextOf(box);
        s.text = TextOf(GetDlgItem(box, 0xFFFF));
        s.style = StyleOfBox(box);
        s.owned = GetWindow(box, GW_OWNER) != nullptr;
        s.window_enabled = Main() && IsWindowEnabled(Main());
        OnShown(s);
        shown_.push_back(std::move(s));
    }

protected:
    virtual void OnShown(const Shown&) {}

private:
    static inline WindowTest* current_ = nullptr;
    HHOOK hook_ = nullptr;
    std::vector<Step> steps_;
    std::vector<HWND> activated_;
    std::size_t next_ = 0;
    DWORD start_ = 0, limit_ = 0;
    bool aborting_ = false, in_step_ = false;
};

// An ownerless, task-modal box with an empty title, the text and the style.
void ExpectBox(const Shown& s, std::wstring_view text, unsigned style) {
    EXPECT_EQ(Utf8(s.text), Utf8(text));
    EXPECT_EQ(s.style, style) << Utf8(text);
    EXPECT_EQ(s.title, L"");
    EXPECT_FALSE(s.owned);
    EXPECT_FALSE(s.window_enabled) << "the main window accepted input while the box was open";
}

const std::wstring kHelpText = L"一个生成html对话框的软件.";
const std::wstring kAboutText = L"By:Kestrum\r\nQQ:" +
                                std::wstring(kMakerNumber.begin(), kMakerNumber.end()) +
                                L"\r\nE-Mail:" + std::wstring(kMakerEmail.begin(), kMakerEmail.end());
const std::wstring kExitQuestions[] = {L"靓仔，真的要走嘛?", L"你确定要离开?", L"确定要退出软件?"};

// ---- The window's definition ----------------------------------------------------------

struct Expected {
    Control id;
    const char* name;
    const wchar_t* cls;  // null: the link label's own class
    RECT place;          // left, top, right, bottom in the window's client area, 96 DPI
    const wchar_t* text;
    int font_height;  // character height at 96 DPI; 0 for the default GUI font
    DWORD styles;     // bits that must be set
    DWORD not_styles;  // bits that must be clear
};

constexpr DWORD kEditOff = ES_READONLY | ES_NOHIDESEL | ES_CENTER | ES_RIGHT | ES_PASSWORD;

// Places are the table's, with a group box's children moved by the group box's place.
const Expected kLayout[] = {
    {Control::编辑框_标题, "编辑框_标题", L"Edit", {15, 24, 359, 46}, L"", 14,
     WS_TABSTOP | ES_AUTOHSCROLL, kEditOff | ES_MULTILINE},
    {Control::分组框3, "分组框3", L"Button", {7, 5, 367, 55}, L"Webpage Title", 0, BS_GROUPBOX, WS_TABSTOP},
    {Control::超级链接框2, "超级链接框2", nullptr, {303, 287, 351, 303}, L"Help", 12, 0, WS_TABSTOP | WS_BORDER},
    {Control::超级链接框1, "超级链接框1", nullptr, {23, 287, 71, 303}, L"About", 12, 0, WS_TABSTOP | WS_BORDER},
    {Control::按钮2, "按钮2", L"Button", {94, 280, 280, 306}, L"G E N E R A T E", 0,
     WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_MULTILINE, BS_DEFPUSHBUTTON},
    {Control::按钮1, "按钮1", L"Button", {312, 244, 360, 268}, L"浏览", 0,
     WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_MULTILINE, BS_DEFPUSHBUTTON},
    {Control::编辑框_位置, "编辑框_位置", L"Edit", {15, 244, 311, 268}, L"", 14,
     WS_TABSTOP | ES_AUTOHSCROLL, kEditOff | ES_MULTILINE},
    {Control::分组框2, "分组框2", L"Button", {8, 227, 368, 276}, L"File save location", 0, BS_GROUPBOX, WS_TABSTOP},
    {Control::编辑框_内容, "编辑框_内容", L"Edit", {17, 79, 357, 209}, L"", 0,
     WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL,
     kEditOff | ES_AUTOHSCROLL | WS_HSCROLL},
    {Control::分组框1, "分组框1", L"Button", {7, 60, 367, 220}, L"Text", 0, BS_GROUPBOX, WS_TABSTOP},
};

int Scaled(int v, UINT dpi) { return MulDiv(v, static_cast<int>(dpi), 96); }

// Every control where the table puts it at this DPI: exact at 96, within one
// pixel when scaled.
void ExpectLayout(const MainWindow& window, UINT dpi) {
    const int slack = dpi == 96 ? 0 : 1;
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    EXPECT_EQ(window.ControlHandle(Control::通用对话框1), nullptr) << "the file dialog has no window";
    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        HWND h = window.ControlHandle(e.id);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), window.Handle());
        const RECT r = ClientRectOf(h);
        EXPECT_NEAR(r.left, Scaled(e.place.left, dpi), slack);
        EXPECT_NEAR(r.top, Scaled(e.place.top, dpi), slack);
        EXPECT_NEAR(r.right, Scaled(e.place.right, dpi), slack);
        EXPECT_NEAR(r.bottom, Scaled(e.place.bottom, dpi), slack);
        EXPECT_EQ(Utf8(TextOf(h)), Utf8(e.text));
        if (e.cls) {
            EXPECT_EQ(CompareStringOrdinal(ClassOf(h).c_str(), -1, e.cls, -1, TRUE), CSTR_EQUAL);
        }
        const DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
        EXPECT_TRUE(style & WS_VISIBLE);
        EXPECT_EQ(style & e.styles, e.styles) << std::hex << style;
        EXPECT_EQ(style & e.not_styles, 0u) << std::hex << style;
        const LOGFONTW lf = FontOf(h);
        if (e.font_height) {
            EXPECT_EQ(lf.lfHeight, -Scaled(e.font_height, dpi));
            EXPECT_EQ(lf.lfWeight, FW_NORMAL);
        } else {
            // The stock font is made for the system's DPI.
            EXPECT_EQ(lf.lfHeight, MulDiv(gui.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemLogPixels())));
            EXPECT_STREQ(lf.lfFaceName, gui.lfFaceName);
        }
        const bool is_link = e.cls == nullptr;
        EXPECT_EQ(lf.lfUnderline != 0, is_link);
        const bool is_edit = std::wstring_view(e.cls ? e.cls : L"") == L"Edit";
        EXPECT_EQ((GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, is_edit);
        if (is_edit) {
            EXPECT_GT(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 30000 * 1000);
        }
        if (is_link) {
            EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(h, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_HAND));
        }
    }
}

TEST_F(WindowTest, RunsAtTheSystemDpi) { EXPECT_EQ(window_->Dpi(), SystemLogPixels()); }

TEST_F(WindowTest, FrameIsFixedCentredAndSizedForTheDpi) {
    const UINT dpi = window_->Dpi();
    RECT r;
    GetWindowRect(Main(), &r);
    const int width = Scaled(380, dpi), height = Scaled(360, dpi);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    if (dpi == 96 && GetSystemMetrics(SM_CXSCREEN) == 1920 && GetSystemMetrics(SM_CYSCREEN) == 1080) {
        EXPECT_EQ(r.left, 770);
        EXPECT_EQ(r.top, 360);
    }
    EXPECT_EQ(TextOf(Main()), L"Dorvane");
    const DWORD style = static_cast<DWORD>(GetWindowLongW(Main(), GWL_STYLE));
    const DWORD wanted = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0u);
    EXPECT_EQ(GetWindowLongW(Main(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetClassLongPtrW(Main(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
    EXPECT_NE(SendMessageW(Main(), WM_GETICON, ICON_BIG, 0) ?: GetClassLongPtrW(Main(), GCLP_HICON), 0);
    EXPECT_EQ(GetFocus(), Get(Control::编辑框_内容));
}

TEST_F(WindowTest, ControlsFollowTheWindowDefinition) { ExpectLayout(*window_, window_->Dpi()); }

TEST_F(WindowTest, ControlsStackInStoredOrder) {
    std::vector<HWND> stack;
    for (HWND h = GetWindow(Main(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) stack.push_back(h);
    std::vector<HWND> stored;
    for (const Expected& e : kLayout) stored.push_back(Get(e.id));
    EXPECT_EQ(stack, stored);
}

TEST_F(WindowTest, LaysOutAgainWhenTheDpiChanges) {
    for (UINT dpi : {192u, 120u, 96u}) {
        SCOPED_TRACE(dpi);
        RECT r;
        GetWindowRect(Main(), &r);
        RECT suggested{r.left, r.top, r.left + Scaled(380, dpi), r.top + Scaled(360, dpi)};
        SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(Main(), &r);
        EXPECT_EQ(r.right - r.left, Scaled(380, dpi));
        EXPECT_EQ(r.bottom - r.top, Scaled(360, dpi));
        EXPECT_EQ(window_->Dpi(), dpi);
        ExpectLayout(*window_, dpi);
    }
}

TEST_F(WindowTest, MenuBarHasTheDefinedItems) {
    HMENU bar = GetMenu(Main());
    ASSERT_NE(bar, nullptr);
    auto items = [](HMENU menu) {
        std::vector<std::wstring> captions;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t caption[64] = {};
            GetMenuStringW(menu, i, caption, ARRAYSIZE(caption), MF_BYPOSITION);
            captions.push_back(caption);
            const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
            EXPECT_EQ(state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR), 0u) << Utf8(caption);
        }
        return captions;
    };
    EXPECT_EQ(items(bar), (std::vector<std::wstring>{L"Menu", L"Other"}));
    EXPECT_EQ(items(GetSubMenu(bar, 0)), (std::vector<std::wstring>{L"Exit"}));
    EXPECT_EQ(items(GetSubMenu(bar, 1)), (std::vector<std::wstring>{L"Help", L"Ａｂｏｕｔ"}));
}

// ---- Keyboard ------------------------------------------------------------------------

TEST_F(WindowTest, TabAndShiftTabCycleWithWrap) {
    struct Move {
        bool shift;
        Control to;
    };
    const Move moves[] = {
        {false, Control::编辑框_位置}, {false, Control::按钮1},      {false, Control::按钮2},
        {false, Control::编辑框_标题}, {false, Control::编辑框_内容}, {true, Control::编辑框_标题},
        {true, Control::按钮2},        {true, Control::按钮1},       {true, Control::编辑框_位置},
        {true, Control::编辑框_内容},
    };
    std::vector<Step> steps{ExpectFocus(Control::编辑框_内容, "at start")};
    int n = 0;
    for (const Move& m : moves) {
        steps.push_back(Do([m] { PressKey(VK_TAB, m.shift); }));
        steps.push_back(Settle());
        steps.push_back(ExpectFocus(m.to, (m.shift ? "Shift+Tab #" : "Tab #") + std::to_string(++n)));
    }
    EXPECT_EQ(Run(steps), 0);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(WindowTest, TabDoesNotTypeIntoTheBoxes) {
    std::vector<Step> steps{Focus(Control::编辑框_标题)};
    for (int i = 0; i < 5; ++i) steps.push_back(Do([] { PressKey(VK_TAB); }));
    steps.push_back(Settle());
    steps.push_back(Do([this] {
        for (Control c : {Control::编辑框_标题, Control::编辑框_位置, Control::编辑框_内容})
            EXPECT_EQ(TextOf(Get(c)), L"");
        EXPECT_EQ(GetFocus(), Get(Control::编辑框_标题)) << "five Tabs go round once";
    }));
    EXPECT_EQ(Run(steps), 0);
}

TEST_F(WindowTest, EnterBreaksALineInTheMessageBoxOnly) {
    for (Control c : {Control::编辑框_内容, Control::编辑框_位置, Control::按钮1, Control::按钮2,
                      Control::编辑框_标题}) {
        SetWindowTextW(Get(Control::编辑框_标题), L"t");
        SetWindowTextW(Get(Control::编辑框_内容), L"m");
        SetWindowTextW(Get(Control::编辑框_位置), L"");
        const bool in_text = c == Control::编辑框_内容;
        std::vector<Step> steps{
            Focus(c),
            Do([this, in_text] {
                if (in_text) SendMessageW(Get(Control::编辑框_内容), EM_SETSEL, 1, 1);
                PressKey(VK_RETURN);
            }),
            Settle(),
            Do([this, c, in_text] {
                EXPECT_EQ(GetFocus(), Get(c));
                EXPECT_EQ(TextOf(Get(Control::编辑框_标题)), L"t");
                EXPECT_EQ(TextOf(Get(Control::编辑框_位置)), L"");
                EXPECT_EQ(TextOf(Get(Control::编辑框_内容)), in_text ? L"m\r\n" : L"m");
            }),
        };
        shown_.clear();
        // Run closes the window at the end; each control gets a window of its own.
        EXPECT_EQ(Run(steps), 0);
        EXPECT_TRUE(shown_.empty()) << "Enter triggered a command";
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr));
        SetForegroundWindow(Main());
    }
}

TEST_F(WindowTest, WaysToCloseEndTheLoopWithCodeZeroAndNoQuestion) {
    struct Way {
        const char* name;
        std::function<void(HWND)> close;
    };
    const Way ways[] = {
        {"Esc while typing", [](HWND) { PressKey(VK_ESCAPE); }},
        {"Alt+F4", [](HWND) { SendKeys({{VK_MENU, false}, {VK_F4, false}, {VK_F4, true}, {VK_MENU, true}}); }},
        {"system menu Close", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"close box", [](HWND w) {
             RECT r;
             GetWindowRect(w, &r);
             // The close box sits at the right end of the caption.
             const int caption = GetSystemMetrics(SM_CYCAPTION), frame = GetSystemMetrics(SM_CYFIXEDFRAME);
             const POINT at{r.right - frame - caption / 2 - 2, r.top + frame + caption / 2};
             ASSERT_EQ(SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)), HTCLOSE);
             MouseButton(at, MOUSEEVENTF_LEFTDOWN);
             MouseButton(at, MOUSEEVENTF_LEFTUP);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        shown_.clear();
        HWND closed = Main();
        std::vector<Step> steps{
            Focus(Control::编辑框_内容),
            Do([] { TypeText(L"half typed"); }),
            Settle(),
            Do([this] { EXPECT_EQ(TextOf(Get(Control::编辑框_内容)), L"half typed"); }),
            Do([&way, closed] { way.close(closed); }),  // the loop ends here
        };
        EXPECT_EQ(Run(steps), 0);
        EXPECT_FALSE(IsWindow(closed));
        EXPECT_TRUE(shown_.empty());
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr));
        SetForegroundWindow(Main());
    }
}

// ---- Generate ----------------------------------------------------------------------------

TEST_F(WindowTest, GenerateReportsEachOutcome) {
    const fs::path chinese = folder_ / L"中文目录";
    fs::create_directories(chinese);
    // Longer than MAX_PATH: the folders are made through the \\?\ form.
    fs::path deep = folder_;
    for (int i = 0; i < 3; ++i) {
        deep /= std::wstring(90, static_cast<wchar_t>(L'a' + i));
        CreateDirectoryW((L"\\\\?\\" + deep.wstring()).c_str(), nullptr);
    }
    struct Case {
        const char* name;
        std::wstring title, message, location;
        std::wstring text;
        unsigned style;
        bool written;
    };
    const std::wstring written = L"文件写出成功.\r\n位置:";
    const std::wstring in_chinese = (chinese / L"页面.html").wstring();
    const std::wstring relative = L"relative-page.html";
    const std::wstring long_path = (deep / L"long.html").wstring();
    const std::wstring missing_folder = (folder_ / L"no such folder" / L"p.html").wstring();
    const Case cases[] = {
        {"no location", L"T", L"Hi", L"", L"请选择文件保存位置.", MB_ICONWARNING, false},
        {"Chinese texts in a Chinese folder", L"标题 T", L"第一行\r\n第二行", in_chinese,
         written + in_chinese, MB_ICONINFORMATION, true},
        {"relative to the program's folder", L"", L"", relative, written + relative, MB_ICONINFORMATION, true},
        {"longer than MAX_PATH", L"T", L"Hi", long_path, written + long_path, MB_ICONINFORMATION, true},
        {"folder missing", L"T", L"Hi", missing_folder, L"文件写出失败.", MB_ICONERROR, false},
        {"location of blanks is not empty", L"T", L"Hi", L"  ", L"文件写出失败.", MB_ICONERROR, false},
    };
    // A relative location resolves against the current folder.
    wchar_t previous_folder[MAX_PATH];
    GetCurrentDirectoryW(ARRAYSIZE(previous_folder), previous_folder);
    SetCurrentDirectoryW(folder_.c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shown_.clear();
        SetWindowTextW(Get(Control::编辑框_标题), c.title.c_str());
        SetWindowTextW(Get(Control::编辑框_内容), c.message.c_str());
        SetWindowTextW(Get(Control::编辑框_位置), c.location.c_str());
        std::vector<Step> steps{
            Do([this] { Click(Get(Control::按钮2)); }),
            Answer(IDOK),
            Do([this, &c] {
                // OnGenerate changes no control.
                EXPECT_EQ(TextOf(Get(Control::编辑框_标题)), c.title);
                EXPECT_EQ(TextOf(Get(Control::编辑框_内容)), c.message);
                EXPECT_EQ(TextOf(Get(Control::编辑框_位置)), c.location);
            }),
        };
        EXPECT_EQ(Run(steps), 0);
        ASSERT_EQ(shown_.size(), 1u);
        ExpectBox(shown_[0], c.text, c.style);
        if (c.written) {
            const fs::path target = fs::path(folder_) / c.location;
            const std::string page = ReadFile(c.location == long_path ? fs::path(L"\\\\?\\" + long_path) : target);
            // The window hands the boxes' texts to Generate unchanged: the file
            // is the one that Generate writes for the same texts.
            const fs::path reference = folder_ / L"reference.html";
            Generate(Cp936(c.title), Cp936(c.message), Cp936(reference.wstring()));
            EXPECT_EQ(page, ReadFile(reference));
            EXPECT_NE(page.find("<title>" + Utf8(c.title) + "</title>"), std::string::npos);
            EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
        }
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr));
        SetForegroundWindow(Main());
    }
    SetCurrentDirectoryW(previous_folder);
    EXPECT_FALSE(fs::exists(folder_ / L"no such folder")) << "no folder is created";
}

// ---- Help, About, Exit --------------------------------------------------------------------

TEST_F(WindowTest, HelpAndAboutShowTheSameTextFromMenuAndLink) {
    struct Entry {
        const char* name;
        const wchar_t* menu_item;  // under "Other"; null for the link
        Control link;
        const std::wstring* text;
    };
    const Entry entries[] = {
        {"menu Help", L"Help", Control::Window, &kHelpText},
        {"link Help", nullptr, Control::超级链接框2, &kHelpText},
        {"menu About", L"Ａｂｏｕｔ", Control::Window, &kAboutText},
        {"link About", nullptr, Control::超级链接框1, &kAboutText},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        shown_.clear();
        std::vector<Step> steps{
            // A link acts when the button goes down: the box is up before the
            // button is released, and releasing it elsewhere changes nothing.
            e.menu_item ? ChooseMenu(L"Other", e.menu_item)
                        : Do([this, &e] { MouseButton(CentreOf(Get(e.link)), MOUSEEVENTF_LEFTDOWN); }),
            Until([] { return FindDialog(IsMessageBox) != nullptr; }),
            Do([] { MouseButton({5, 5}, MOUSEEVENTF_LEFTUP); }),
            Answer(IDOK),
            Settle(),
        };
        EXPECT_EQ(Run(steps), 0);
        ASSERT_EQ(shown_.size(), 1u);
        ExpectBox(shown_[0], *e.text, MB_ICONINFORMATION);
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr));
        SetForegroundWindow(Main());
    }
}

TEST_F(WindowTest, LinkTurnsLighterUnderTheMouse) {
    HWND link = Get(Control::超级链接框1);
    auto has_colour = [link](COLORREF colour) {
        UpdateWindow(link);
        RECT r;
        GetClientRect(link, &r);
        HDC dc = GetDC(link);
        bool found = false;
        for (int y = 0; y < r.bottom && !found; ++y)
            for (int x = 0; x < r.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
        ReleaseDC(link, dc);
        return found;
    };
    std::vector<Step> steps{
        Do([] { SetCursorPos(5, 5); }),
        Settle(),
        Do([&] {
            EXPECT_TRUE(has_colour(kLinkColour));
            EXPECT_FALSE(has_colour(kLinkHoverColour));
            const POINT c = CentreOf(link);
            SetCursorPos(c.x, c.y);
        }),
        Settle(),
        Do([&] {
            EXPECT_TRUE(has_colour(kLinkHoverColour));
            EXPECT_FALSE(has_colour(kLinkColour));
            SetCursorPos(5, 5);
        }),
        Until([&] { return has_colour(kLinkColour); }),  // back to blue when the mouse leaves
    };
    EXPECT_EQ(Run(steps), 0);
}

TEST_F(WindowTest, ExitAnsweredNoKeepsEverythingAndAsksEachQuestion) {
    SetWindowTextW(Get(Control::编辑框_标题), L"标题");
    SetWindowTextW(Get(Control::编辑框_内容), L"一\r\n二");
    SetWindowTextW(Get(Control::编辑框_位置), L"C:\\x.html");
    std::vector<Step> steps;
    constexpr int kTries = 30;  // all three questions turn up with certainty 1 - 3 * (2/3)^30
    for (int i = 0; i < kTries; ++i) {
        steps.push_back(ChooseMenu(L"Menu", L"Exit"));
        steps.push_back(Answer(IDNO));
    }
    steps.push_back(Settle());
    steps.push_back(Do([this] {
        EXPECT_TRUE(IsWindowVisible(Main()));
        EXPECT_EQ(TextOf(Get(Control::编辑框_标题)), L"标题");
        EXPECT_EQ(TextOf(Get(Control::编辑框_内容)), L"一\r\n二");
        EXPECT_EQ(TextOf(Get(Control::编辑框_位置)), L"C:\\x.html");
    }));
    EXPECT_EQ(Run(steps, 60000), 0);
    ASSERT_EQ(shown_.size(), static_cast<std::size_t>(kTries));
    std::set<std::wstring> asked;
    for (const Shown& s : shown_) {
        EXPECT_NE(std::find(std::begin(kExitQuestions), std::end(kExitQuestions), s.text), std::end(kExitQuestions))
            << Utf8(s.text);
        ExpectBox(s, s.text, MB_ICONQUESTION | MB_YESNO);
        asked.insert(s.text);
    }
    EXPECT_EQ(asked.size(), 3u);
}

// Yes ends the process, so it runs in a child: this same program running only
// the disabled ExitYesChild, which records the box into the file named by the
// environment.
constexpr wchar_t kChildRecordVariable[] = L"DORVANE_EXIT_CHILD_RECORD";

class ExitChild : public WindowTest {
protected:
    void OnShown(const Shown& s) override {
        std::ofstream out(record_, std::ios::binary | std::ios::app);
        out << Utf8(s.text) << '|' << s.style << '\n';
    }
    fs::path record_;
};

TEST_F(ExitChild, DISABLED_ExitYesChild) {
    wchar_t record[MAX_PATH];
    if (!GetEnvironmentVariableW(kChildRecordVariable, record, ARRAYSIZE(record)))
        GTEST_SKIP() << "runs as the child of ExitAnsweredYesEndsTheProcessWithCodeZero";
    record_ = record;
    Run({ChooseMenu(L"Menu", L"Exit"), Answer(IDYES)});
    ADD_FAILURE() << "the process went on after Yes";
}

TEST(ExitYes, ExitAnsweredYesEndsTheProcessWithCodeZero) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    wchar_t temp[MAX_PATH];
    GetTempPathW(ARRAYSIZE(temp), temp);
    const fs::path record = fs::path(temp) / (L"dorvane-exit-" + std::to_wstring(GetCurrentProcessId()) + L".txt");
    fs::remove(record);
    SetEnvironmentVariableW(kChildRecordVariable, record.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=ExitChild.DISABLED_ExitYesChild";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableW(kChildRecordVariable, nullptr);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 98);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(code, 0u);
    // One question was shown, and nothing after it.
    const std::string shown = ReadFile(record);
    fs::remove(record);
    bool one_of_three = false;
    for (const std::wstring& q : kExitQuestions)
        one_of_three |= shown == Utf8(q) + "|" + std::to_string(MB_ICONQUESTION | MB_YESNO) + "\n";
    EXPECT_TRUE(one_of_three) << shown;
}

// ---- The save-location picker ---------------------------------------------------------------

TEST_F(WindowTest, PickerAppendsHtmlAndReopensAtThePreviousPath) {
    const fs::path existing = folder_ / L"已有 a.html";
    {
        std::ofstream(existing, std::ios::binary) << "old";
    }
    const std::wstring chosen = existing.wstring();
    std::wstring name_at_first, name_at_second, filter_shown;
    HWND owner = nullptr;
    bool read_only_box_shown = true;
    const HWND main = Main();
    auto save_dialog = [] { return FindDialog(IsSaveDialog); };
    std::vector<Step> steps{
        Do([this] { Click(Get(Control::按钮1)); }),
        Until([&] {
            HWND dlg = save_dialog();
            if (!dlg) return false;
            name_at_first = TextOf(GetDlgItem(dlg, 1148));
            filter_shown = TextOf(GetDlgItem(dlg, 1136));
            owner = GetWindow(dlg, GW_OWNER);
            HWND read_only = GetDlgItem(dlg, 1040);
            read_only_box_shown = read_only && IsWindowVisible(read_only);
            SetDlgItemTextW(dlg, 1148, chosen.c_str());
            PostMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
            return true;
        }),
        Answer(IDYES),  // the overwrite prompt for the existing file
        Until([&] { return !save_dialog(); }),
        Do([&] {
            EXPECT_EQ(TextOf(Get(Control::编辑框_位置)), chosen + L".html");
            SetWindowTextW(Get(Control::编辑框_位置), L"typed by hand");
            PostMessageW(Get(Control::按钮1), BM_CLICK, 0, 0);
        }),
        Until([&] {
            HWND dlg = save_dialog();
            if (!dlg) return false;
            wchar_t folder[MAX_PATH] = {};
            SendMessageW(dlg, CDM_GETFOLDERPATH, ARRAYSIZE(folder), reinterpret_cast<LPARAM>(folder));
            name_at_second = (fs::path(folder) / TextOf(GetDlgItem(dlg, 1148))).wstring();
            PostMessageW(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
            return true;
        }),
        Until([&] { return !save_dialog(); }),
        Settle(),
        Do([&] { EXPECT_EQ(TextOf(Get(Control::编辑框_位置)), L"typed by hand") << "Cancel changes nothing"; }),
    };
    EXPECT_EQ(Run(steps, 30000), 0);
    EXPECT_EQ(name_at_first, L"");
    // The dialog shows the previous path (without the added .html) as its
    // folder and its file name.
    EXPECT_EQ(name_at_second, chosen);
    EXPECT_EQ(filter_shown, L"html文件（*.html）");
    EXPECT_EQ(owner, main) << "the dialog belongs to the main window";
    EXPECT_FALSE(read_only_box_shown);
    EXPECT_EQ(ReadFile(existing), "old") << "choosing a file does not write it";
    ASSERT_EQ(shown_.size(), 1u) << "only the overwrite prompt";
}

// ---- Services ---------------------------------------------------------------------------------

TEST(Random, StaysInRangeAndReachesEveryValue) {
    struct Range {
        int lo, hi;
    };
    for (Range r : {Range{1, 3}, Range{-2, 2}, Range{7, 7}, Range{0, 9}}) {
        SeedRandomFromClock();
        std::set<int> seen;
        for (int i = 0; i < 2000; ++i) {
            const int v = RandomBetween(r.lo, r.hi);
            ASSERT_GE(v, r.lo);
            ASSERT_LE(v, r.hi);
            seen.insert(v);
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(r.hi - r.lo + 1)) << r.lo << ".." << r.hi;
    }
    for (int i = 0; i < 100; ++i) {
        const int v = RandomBetween(INT_MIN, INT_MAX);  // the whole range is allowed
        (void)v;
    }
}

TEST(Random, ReseedingInTheSameMillisecondStillDiffers) {
    std::vector<int> first, second;
    SeedRandomFromClock();
    for (int i = 0; i < 8; ++i) first.push_back(RandomBetween(0, 1 << 30));
    SeedRandomFromClock();
    for (int i = 0; i < 8; ++i) second.push_back(RandomBetween(0, 1 << 30));
    EXPECT_NE(first, second);
}

TEST(Filter, PreparedForTheDialog) {
    struct Case {
        std::wstring_view in;
        std::wstring_view out;
    };
    const Case cases[] = {
        {L"html文件（*.html）|*.html", std::wstring_view(L"html文件（*.html）\0*.html\0\0", 23)},
        {L"a|*.a  ", std::wstring_view(L"a\0*.a\0\0", 7)},
        {L"a|*.a||", std::wstring_view(L"a\0*.a\0\0", 7)},
    };
    for (const Case& c : cases) EXPECT_EQ(PrepareFilter(c.in), c.out) << Utf8(c.in);
}

TEST_F(WindowTest, BoxTextsCrossAsCodePage936WithoutLengthLimit) {
    HWND title = Get(Control::编辑框_标题);
    const Text chinese = Cp936(L"中文 Ａ€");
    SetText(title, chinese);
    EXPECT_EQ(TextOf(title), L"中文 Ａ€");
    EXPECT_EQ(GetText(title), chinese);
    SetText(title, "");
    EXPECT_EQ(GetText(title), "");

    // Past the 30000 characters at which an edit box stops by default, and
    // still open to typing at the end.
    HWND text = Get(Control::编辑框_内容);
    Text big;
    for (int i = 0; i < 800; ++i) big += std::string(48, static_cast<char>('a' + i % 26)) + "\r\n";
    SetText(text, big);
    EXPECT_EQ(GetText(text), big);
    SendMessageW(text, EM_SETSEL, big.size(), big.size());
    SendMessageW(text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"中"));
    EXPECT_EQ(GetText(text), big + Cp936(L"中"));
}

}  // namespace
}  // namespace dorvane::ui
