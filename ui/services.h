// What the window and its commands ask of Windows: message boxes, edit-box
// texts in code page 936, the save-file dialog, random numbers and ending the
// process. Texts cross this boundary as code page 936 (dorvane::Text) and are
// converted to UTF-16 for the W functions here, nowhere else.
#pragma once

#include <windows.h>

#include <string_view>

#include "page.h"

namespace dorvane::ui {

// The button that closed a message box. Anything unknown counts as Ok.
enum class Answer { Ok = 0, Cancel = 1, Abort = 2, Retry = 3, Ignore = 4, Yes = 5, No = 6 };

// A task-modal message box without owner and with an empty title bar.
Answer ShowMessage(std::string_view text, MessageKind kind);

// The whole text of an edit box, and replacing it.
Text GetText(HWND box);
void SetText(HWND box, std::string_view text);

// The save-file dialog with fixed settings. The file name it offers is the
// path it returned last time (empty at first).
class FileDialog {
public:
    // Shows the dialog owned by owner; true when the user pressed OK, and
    // then FileName() is the chosen full path. Cancel leaves it unchanged.
    bool Show(HWND owner);
    Text FileName() const;

private:
    wchar_t name_[MAX_PATH] = {};
};

// The random generator behind the Exit question.
void SeedRandomFromClock();
// An integer from lo to hi, both included; lo <= hi.
int RandomBetween(int lo, int hi);

// Ends the process at once with the exit code.
[[noreturn]] void EndProgram(int code);

// The filter of the save dialog, prepared for OPENFILENAMEW: trailing blanks
// removed, "||" appended unless present, every '|' turned into '\0'.
std::wstring PrepareFilter(std::wstring_view filter);

}  // namespace dorvane::ui
