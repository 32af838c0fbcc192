// Reading the console window's title whole. GetConsoleTitleW answers a
// buffer too small for the title in two ways, depending on the Windows
// version: 0 with no error (as for an empty title), or the title's whole
// length with the text cut to the buffer (Wine does so too). Either way the
// title is read again into a larger buffer, up to the 64 KiB the title can
// take, so that the title put back at the end is exactly the one there was.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace platform {
namespace win32 {

// What one GetConsoleTitleW call gave: its result and the thread's last
// error right after it (set to 0 before the call).
struct TitleRead {
    DWORD length;
    DWORD error;
};
using TitleReader = std::function<TitleRead(wchar_t* buffer, DWORD capacity)>;

// Characters of the first buffer tried and of the largest (64 KiB).
constexpr DWORD kFirstTitleChars = 1024;
constexpr DWORD kLargestTitleChars = 32768;

// Reads the title through `read` into `*title`. False when there is none to
// read (no console: 0 with an error).
bool ReadWholeTitle(const TitleReader& read, std::wstring* title);

}  // namespace win32
}  // namespace platform
