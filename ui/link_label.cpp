#include "link_label.h"

namespace dorvane::ui {
namespace {

// Window extra bytes: the font set by WM_SETFONT and whether the mouse is over
// the label.
constexpr int kFontSlot = 0;
constexpr int kHoverSlot = sizeof(LONG_PTR);

bool Hovered(HWND hwnd) { return GetWindowLongPtrW(hwnd, kHoverSlot) != 0; }

void SetHovered(HWND hwnd, bool hovered) {
    if (Hovered(hwnd) == hovered) return;
    SetWindowLongPtrW(hwnd, kHoverSlot, hovered);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    wchar_t text[64];
    const int length = GetWindowTextW(hwnd, text, ARRAYSIZE(text));
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, kFontSlot)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Hovered(hwnd) ? kLinkHoverColour : kLinkColour);
    DrawTextW(dc, text, length, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK LinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        // The parent's handler runs first, whatever the label does next.
        const int id = GetDlgCtrlID(hwnd);
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(id, kLinkPressed),
                     reinterpret_cast<LPARAM>(hwnd));
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!Hovered(hwnd)) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&tme);
            SetHovered(hwnd, true);
        }
        return 0;
    case WM_MOUSELEAVE:
        SetHovered(hwnd, false);
        return 0;
    case WM_SETFONT:
        SetWindowLongPtrW(hwnd, kFontSlot, static_cast<LONG_PTR>(wp));
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(hwnd, kFontSlot);
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills the whole label
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

void RegisterLinkLabel(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LinkProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kLinkLabelClass;
    RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace dorvane::ui
