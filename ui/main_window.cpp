// The main window: its definition as data, building it, laying it out at any
// DPI, and routing its messages and keys.
#include "main_window.h"

#include <iterator>
#include <utility>

#include "link_label.h"
#include "resource.h"

namespace dorvane::ui {
namespace {

constexpr wchar_t kWindowClass[] = L"DorvaneMainWindow";
constexpr int kWindowWidth = 380;  // outer size, 96-DPI pixels
constexpr int kWindowHeight = 360;

enum class Kind { FileDialog, SingleLineEdit, MultiLineEdit, GroupBox, Link, Button };

struct ControlDef {
    Control id;
    Kind kind;
    Control parent;
    int left, top, width, height;  // 96-DPI pixels in the parent's client area
    const wchar_t* text;
};

// The window's definition, in stored order (top of the stack first).
constexpr ControlDef kControls[kControlCount] = {
    {Control::通用对话框1, Kind::FileDialog, Control::分组框3, 289, 3, 32, 32, L""},
    {Control::编辑框_标题, Kind::SingleLineEdit, Control::分组框3, 8, 19, 344, 22, L""},
    {Control::分组框3, Kind::GroupBox, Control::Window, 7, 5, 360, 50, L"Webpage Title"},
    {Control::超级链接框2, Kind::Link, Control::Window, 303, 287, 48, 16, L"Help"},
    {Control::超级链接框1, Kind::Link, Control::Window, 23, 287, 48, 16, L"About"},
    {Control::按钮2, Kind::Button, Control::Window, 94, 280, 186, 26, L"G E N E R A T E"},
    {Control::按钮1, Kind::Button, Control::分组框2, 304, 17, 48, 24, L"浏览"},
    {Control::编辑框_位置, Kind::SingleLineEdit, Control::分组框2, 7, 17, 296, 24, L""},
    {Control::分组框2, Kind::GroupBox, Control::Window, 8, 227, 360, 49, L"File save location"},
    {Control::编辑框_内容, Kind::MultiLineEdit, Control::分组框1, 10, 19, 340, 130, L""},
    {Control::分组框1, Kind::GroupBox, Control::Window, 7, 60, 360, 160, L"Text"},
};

constexpr int Index(Control c) { return static_cast<int>(c); }

constexpr bool TableInStoredOrder() {
    for (int i = 0; i < kControlCount; ++i)
        if (Index(kControls[i].id) != i) return false;
    return true;
}
static_assert(TableInStoredOrder());

// Tab and Shift+Tab walk this cycle, wrapping at both ends.
constexpr Control kTabCycle[] = {Control::编辑框_内容, Control::编辑框_位置, Control::按钮1,
                                 Control::按钮2, Control::编辑框_标题};

// Control identifiers for WM_COMMAND; menu items use small numbers.
constexpr int kFirstControlId = 100;
constexpr int ControlIdOf(Control c) { return kFirstControlId + Index(c); }
constexpr int kMenuExit = 1;
constexpr int kMenuHelp = 2;
constexpr int kMenuAbout = 3;

const wchar_t* ClassOf(Kind kind) {
    switch (kind) {
    case Kind::SingleLineEdit:
    case Kind::MultiLineEdit: return L"EDIT";
    case Kind::GroupBox:
    case Kind::Button: return L"BUTTON";
    case Kind::Link: return kLinkLabelClass;
    case Kind::FileDialog: break;
    }
    return nullptr;
}

DWORD StyleOf(Kind kind) {
    constexpr DWORD common = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (kind) {
    case Kind::SingleLineEdit: return common | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    case Kind::MultiLineEdit:
        return common | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_WANTRETURN |
               ES_AUTOVSCROLL;
    case Kind::GroupBox: return common | BS_GROUPBOX | BS_LEFT;
    case Kind::Button:
        return common | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;
    case Kind::Link: return common;
    case Kind::FileDialog: break;
    }
    return 0;
}

DWORD ExStyleOf(Kind kind) {
    return kind == Kind::SingleLineEdit || kind == Kind::MultiLineEdit ? WS_EX_CLIENTEDGE : 0;
}

// Where a control appears in the window's client area, in 96-DPI pixels. A
// group box has no border of its own, so its client area is its rectangle.
RECT PlaceOf(const ControlDef& def) {
    int left = def.left, top = def.top;
    for (Control p = def.parent; p != Control::Window; p = kControls[Index(p)].parent) {
        left += kControls[Index(p)].left;
        top += kControls[Index(p)].top;
    }
    return {left, top, left + def.width, top + def.height};
}

int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

UINT SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT DpiOfWindow(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get_dpi) {
        if (const UINT dpi = get_dpi(hwnd)) return dpi;
    }
    return SystemDpi();
}

HMENU BuildMenuBar() {
    HMENU bar = CreateMenu();
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kMenuExit, L"Exit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), L"Menu");
    HMENU other = CreatePopupMenu();
    AppendMenuW(other, MF_STRING, kMenuHelp, L"Help");
    AppendMenuW(other, MF_STRING, kMenuAbout, L"Ａｂｏｕｔ");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(other), L"Other");
    return bar;
}

void RegisterMainWindow(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_DORVANE), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_DORVANE), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, int show) {
    RegisterMainWindow(instance, WndProc);
    RegisterLinkLabel(instance);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    CreateWindowExW(0, kWindowClass, L"Dorvane", style, CW_USEDEFAULT, CW_USEDEFAULT,
                    kWindowWidth, kWindowHeight, nullptr, BuildMenuBar(), instance, this);
    if (!hwnd_) return;

    // Size and centre at the DPI of the monitor that the window starts on.
    dpi_ = DpiOfWindow(hwnd_);
    const int width = Scale(kWindowWidth, dpi_), height = Scale(kWindowHeight, dpi_);
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    MakeFonts();
    CreateControls(instance);
    // The window's "created" event has nothing bound to it.
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    SetFocus(ControlHandle(Control::编辑框_内容));
}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void MainWindow::MakeFonts() {
    // The stock GUI font is made for the system DPI; the boxes' and links'
    // fonts are given as character heights in 96-DPI pixels.
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi_), static_cast<int>(SystemDpi()));
    lf.lfWidth = 0;
    gui_font_ = Font(lf);

    lf.lfHeight = -Scale(14, dpi_);
    lf.lfWeight = FW_NORMAL;
    box_font_ = Font(lf);

    lf.lfHeight = -Scale(12, dpi_);
    lf.lfUnderline = TRUE;
    link_font_ = Font(lf);
}

void MainWindow::CreateControls(HINSTANCE instance) {
    // Created from the last stored to the first, then stacked in stored order.
    for (int i = kControlCount - 1; i >= 0; --i) {
        const ControlDef& def = kControls[i];
        if (def.kind == Kind::FileDialog) continue;  // a component, not a window
        controls_[i] = CreateWindowExW(ExStyleOf(def.kind), ClassOf(def.kind), def.text,
                                       StyleOf(def.kind), 0, 0, 0, 0, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(def.id))),
                                       instance, nullptr);
    }
    // No length limit in the boxes (an edit box stops at 30000 characters
    // unless told otherwise).
    for (Control box : {Control::编辑框_标题, Control::编辑框_位置, Control::编辑框_内容})
        SendMessageW(ControlHandle(box), EM_SETLIMITTEXT, 0, 0);
    LayOut();
    HWND above = HWND_TOP;
    for (HWND control : controls_) {
        if (!control) continue;
        SetWindowPos(control, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = control;
    }
}

void MainWindow::LayOut() {
    for (const ControlDef& def : kControls) {
        HWND control = controls_[Index(def.id)];
        if (!control) continue;
        const RECT place = PlaceOf(def);
        const int left = Scale(place.left, dpi_), top = Scale(place.top, dpi_);
        SetWindowPos(control, nullptr, left, top, Scale(place.right, dpi_) - left,
                     Scale(place.bottom, dpi_) - top, SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = def.kind == Kind::SingleLineEdit ? box_font_.get()
                     : def.kind == Kind::Link         ? link_font_.get()
                                                      : gui_font_.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

// ---- Messages ---------------------------------------------------------------

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        for (HWND& control : self->controls_) control = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    return self->HandleMessage(msg, wp, lp);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    // A control or menu item was used.
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp));
        return 0;

    // Keep the focused control across deactivation, as dialogs do.
    case WM_ACTIVATE:
        OnActivate(LOWORD(wp) != WA_INACTIVE);
        return 0;

    case WM_SETFOCUS:
        SetFocus(last_focus_ ? last_focus_ : ControlHandle(Control::编辑框_内容));
        return 0;

    // Moved to a monitor with another scale.
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
        return 0;

    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void MainWindow::OnCommand(int id, int code) {
    struct Binding {
        int id;
        int code;
        void (MainWindow::*handler)();
    };
    static constexpr Binding kBindings[] = {
        {ControlIdOf(Control::按钮2), BN_CLICKED, &MainWindow::OnGenerate},
        {ControlIdOf(Control::按钮1), BN_CLICKED, &MainWindow::PickLocation},
        {ControlIdOf(Control::超级链接框1), kLinkPressed, &MainWindow::ShowAbout},
        {ControlIdOf(Control::超级链接框2), kLinkPressed, &MainWindow::ShowHelp},
        {kMenuExit, 0, &MainWindow::ConfirmExit},
        {kMenuHelp, 0, &MainWindow::ShowHelp},
        {kMenuAbout, 0, &MainWindow::ShowAbout},
    };
    for (const Binding& b : kBindings) {
        if (b.id == id && b.code == code) {
            (this->*b.handler)();
            return;
        }
    }
}

void MainWindow::OnActivate(bool active) {
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
        return;
    }
    SetFocus(last_focus_ ? last_focus_ : ControlHandle(Control::编辑框_内容));
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // The controls take the new fonts before the old ones are deleted.
    Font gui = std::move(gui_font_), box = std::move(box_font_), link = std::move(link_font_);
    MakeFonts();
    LayOut();
}

// ---- Keys -------------------------------------------------------------------

bool MainWindow::PreTranslate(const MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    const bool in_text = GetFocus() == ControlHandle(Control::编辑框_内容);
    switch (msg.message) {
    case WM_KEYDOWN:
        switch (msg.wParam) {
        case VK_TAB:
            MoveFocus(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
            return true;
        case VK_RETURN:
            return !in_text;  // a line break in the message box, nothing elsewhere
        case VK_ESCAPE:
            SendMessageW(hwnd_, WM_CLOSE, 0, 0);
            return true;
        }
        return false;
    case WM_CHAR:
        // Characters of the keys above never reach a control.
        return msg.wParam == L'\t' || msg.wParam == 0x1B || (msg.wParam == L'\r' && !in_text);
    case WM_SYSCHAR:
        // No mnemonics: Alt+letter opens no menu (Alt+Space, the system menu, stays).
        return msg.wParam != L' ';
    }
    return false;
}

void MainWindow::MoveFocus(int step) {
    constexpr int n = static_cast<int>(std::size(kTabCycle));
    const HWND focus = GetFocus();
    int next = step > 0 ? 0 : n - 1;
    for (int i = 0; i < n; ++i) {
        if (ControlHandle(kTabCycle[i]) == focus) {
            next = (i + step + n) % n;
            break;
        }
    }
    // Show the focus rectangle on buttons from now on, as keyboard users expect.
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetFocus(ControlHandle(kTabCycle[next]));
}

int RunEventLoop(MainWindow& window) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace dorvane::ui
