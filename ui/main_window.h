// Dorvane's one window: its controls (a table, in 96-DPI pixels), menu bar,
// event bindings, keyboard handling and the commands behind them.
#pragma once

#include <windows.h>

#include "services.h"

namespace dorvane::ui {

// The controls of the window, in their stored order, which is also their
// stacking order from top to bottom. Window stands for the main window as a
// parent.
enum class Control : int {
    Window = -1,
    通用对话框1,
    编辑框_标题,
    分组框3,
    超级链接框2,
    超级链接框1,
    按钮2,
    按钮1,
    编辑框_位置,
    分组框2,
    编辑框_内容,
    分组框1,
};
inline constexpr int kControlCount = 11;

// Owns a GDI font.
class Font {
public:
    Font() = default;
    explicit Font(const LOGFONTW& lf) : font_(CreateFontIndirectW(&lf)) {}
    Font(Font&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
    Font& operator=(Font&& other) noexcept {
        if (this != &other) {
            Reset();
            font_ = other.font_;
            other.font_ = nullptr;
        }
        return *this;
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font() { Reset(); }
    HFONT get() const { return font_; }

private:
    void Reset() {
        if (font_) DeleteObject(font_);
        font_ = nullptr;
    }
    HFONT font_ = nullptr;
};

class MainWindow {
public:
    // Builds the menu bar, the window and its controls, and shows the window
    // centred with the keyboard focus in 编辑框_内容. The object must outlive
    // the window; closing the window posts WM_QUIT with code 0.
    explicit MainWindow(HINSTANCE instance, int show = SW_SHOWNORMAL);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // The window, or null once it has been destroyed.
    HWND Handle() const { return hwnd_; }
    // A control's window; null for 通用对话框1, which never has one.
    HWND ControlHandle(Control c) const { return controls_[static_cast<int>(c)]; }
    UINT Dpi() const { return dpi_; }

    // The window's own keys (Tab, Shift+Tab, Enter, Esc), seen before the
    // focused control: true when the message was handled and must not be
    // dispatched.
    bool PreTranslate(const MSG& msg);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    void OnCommand(int id, int code);
    void OnActivate(bool active);
    void OnDpiChanged(UINT dpi, const RECT& suggested);

    void MakeFonts();
    void CreateControls(HINSTANCE instance);
    void LayOut();
    void MoveFocus(int step);

    // Commands bound by the event table.
    void OnGenerate();
    void PickLocation();
    void ShowHelp();
    void ShowAbout();
    void ConfirmExit();

    HWND hwnd_ = nullptr;
    HWND controls_[kControlCount] = {};
    HWND last_focus_ = nullptr;
    UINT dpi_ = 96;
    Font gui_font_, box_font_, link_font_;
    FileDialog dialog_;  // 通用对话框1
};

// Dispatches messages until the window is gone; the exit code of WM_QUIT.
int RunEventLoop(MainWindow& window);

}  // namespace dorvane::ui
