// The progress display on Windows: the console window's title, which is
// read whole when the display opens and put back when it closes.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/progress_display.h"
#include "platform/win32/console_title.h"

namespace platform {

namespace {

constexpr size_t kTitleChars = 1024;

}  // namespace

namespace win32 {

bool ReadWholeTitle(const TitleReader& read, std::wstring* title) {
    title->clear();
    std::vector<wchar_t> buffer;
    DWORD capacity = kFirstTitleChars;
    for (;;) {
        buffer.assign(capacity, L'\0');
        const TitleRead got = read(buffer.data(), capacity);
        if (got.length == 0 && got.error != ERROR_SUCCESS) {
            return false;
        }
        // Room left after the title and its terminator: nothing was cut.
        const bool whole = got.length > 0 && got.length < capacity - 1;
        if (whole || capacity >= kLargestTitleChars) {
            // Up to the terminator the call wrote, within the length given.
            const size_t most = std::min<size_t>(got.length, capacity - 1);
            size_t length = 0;
            while (length < most && buffer[length] != L'\0') {
                ++length;
            }
            title->assign(buffer.data(), length);
            return true;
        }
        // 0 (an empty title, or one too long for the buffer) or a length
        // that fills the buffer or goes past it: once more, larger.
        capacity = std::min(kLargestTitleChars, std::max(2 * capacity, got.length + 2));
    }
}

}  // namespace win32

bool ProgressDisplay::Open(bool /*console_midline*/) {
    Close();
    const bool read = win32::ReadWholeTitle(
        [](wchar_t* buffer, DWORD capacity) {
            SetLastError(ERROR_SUCCESS);
            const DWORD length = GetConsoleTitleW(buffer, capacity);
            return win32::TitleRead{length, GetLastError()};
        },
        &saved_title_);
    if (!read) {
        return false;
    }
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
        SetConsoleTitleW(saved_title_.c_str());
    }
    open_ = false;
    shown_ = false;
}

}  // namespace platform
