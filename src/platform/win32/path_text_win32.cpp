// The shown form of a path on Windows: code page 936 with "?" for what it
// cannot show. Converted here rather than by "%ws" or the wide console
// output, which stop at the first character the code page lacks and drop
// the rest of the line.
#include <windows.h>

#include <cwchar>

#include "platform/path_text.h"

namespace platform {

namespace {

constexpr UINT kChsCodePage = 936;

}  // namespace

void PathText(const PathChar* path, std::string* text) {
    text->clear();
    if (path == nullptr || path[0] == 0) {
        return;
    }
    const size_t length = std::wcslen(path);
    // At most two bytes for every UTF-16 unit; "?" takes one.
    text->resize(2 * length);
    // No best fit: a character shown as a look-alike could name another
    // file; "?" names none.
    int done =
        WideCharToMultiByte(kChsCodePage, WC_NO_BEST_FIT_CHARS, path, static_cast<int>(length),
                            &(*text)[0], static_cast<int>(text->size()), "?", nullptr);
    if (done <= 0) {
        // A system without the flag for this code page: the plain call.
        done = WideCharToMultiByte(kChsCodePage, 0, path, static_cast<int>(length), &(*text)[0],
                                   static_cast<int>(text->size()), "?", nullptr);
    }
    if (done <= 0) {
        // No code page 936 at all: ASCII as it is, everything else "?".
        for (size_t i = 0; i < length; ++i) {
            (*text)[i] = path[i] < 0x80 ? static_cast<char>(path[i]) : '?';
        }
        done = static_cast<int>(length);
    }
    text->resize(static_cast<size_t>(done));
}

std::string PathText(const PathChar* path) {
    std::string text;
    PathText(path, &text);
    return text;
}

}  // namespace platform
