// The link label: a text drawn in link colours under a hand cursor that tells
// its parent when the left mouse button goes down on it.
#pragma once

#include <windows.h>

namespace dorvane::ui {

inline constexpr wchar_t kLinkLabelClass[] = L"DorvaneLinkLabel";

// Notification code of the WM_COMMAND that a label sends to its parent when
// the left button goes down on it, before it handles the press itself.
inline constexpr WORD kLinkPressed = 1;

inline constexpr COLORREF kLinkColour = RGB(0, 0, 255);
inline constexpr COLORREF kLinkHoverColour = RGB(51, 153, 255);

void RegisterLinkLabel(HINSTANCE instance);

}  // namespace dorvane::ui
