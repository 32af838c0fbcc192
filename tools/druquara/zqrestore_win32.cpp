// zqrestore BACKUP OUT: the restore program's entry on Windows, with the
// command line in UTF-16 so that any path can be named, and its lines
// written by the console writer the scan uses (platform/console.h): a
// console shows every character its text has, whatever its code page (936,
// 437, ...); a file or pipe gets the same code page 936 bytes as the scan's
// console text.
#include <windows.h>

#include <string>

#include "platform/console.h"
#include "platform/path_text.h"
#include "restore.h"

namespace {

// The UTF-16 form of the UTF-8 text `text` (invalid bytes as U+FFFD).
std::wstring FromUtf8(const std::string& text) {
    std::wstring wide;
    if (text.empty()) {
        return wide;
    }
    wide.resize(text.size());  // at most one UTF-16 unit per byte
    const int done = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         &wide[0], static_cast<int>(wide.size()));
    wide.resize(done > 0 ? static_cast<size_t>(done) : 0);
    return wide;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    druquara::RestoreOutput output;
    output.out = [](const std::string& text) {
        platform::ConsoleWrite(FromUtf8(text).c_str());
        platform::ConsoleFlush();
    };
    output.error = [](const std::string& text) {
        platform::ErrorWriteText(platform::PathText(FromUtf8(text).c_str()));
    };
    return druquara::RestoreMain(argc, argv, output);
}
