// The progress display on Windows: the console window's title, which is
// read when the display opens and put back when it closes.
#include <windows.h>

#include <cwchar>

#include "platform/progress_display.h"

namespace platform {

namespace {

constexpr size_t kTitleChars = 1024;

}  // namespace

bool ProgressDisplay::Open(bool /*console_midline*/) {
    Close();
    static_assert(sizeof(saved_title_) / sizeof(saved_title_[0]) == kTitleChars,
                  "title buffer size");
    // A title may be empty: 0 is a failure only when the call set an error
    // (no console, for instance).
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetConsoleTitleW(saved_title_, kTitleChars);
    if (length == 0 && GetLastError() != ERROR_SUCCESS) {
        saved_title_[0] = L'\0';
        return false;
    }
    saved_title_[kTitleChars - 1] = L'\0';
    open_ = true;
    return true;
}

void ProgressDisplay::Show(const char* counts, const PathChar* folder) {
    if (!open_) {
        return;
    }
    wchar_t title[kTitleChars];
    // The counts are ASCII; the folder is cut where the title ends.
    _snwprintf(title, kTitleChars, L"ZQCindervane - %hs - %ls", counts, folder);
    title[kTitleChars - 1] = L'\0';
    SetConsoleTitleW(title);
    shown_ = true;
}

void ProgressDisplay::BeforeConsoleOutput() {}

void ProgressDisplay::Close() {
    if (open_ && shown_) {
        SetConsoleTitleW(saved_title_);
    }
    open_ = false;
    shown_ = false;
}

}  // namespace platform
