// The Windows-directory rule: a folder is left out when its upper-cased path contains the
// upper-cased Windows directory.
#include "scan/windows_dir_rule.h"

#include <algorithm>
#include <string>

#include "platform/upper_case.h"

namespace {

constexpr size_t kMaxChars = 4095;  // a 4096-character buffer with its terminator

void UpperCaseCopy(const PathChar* text, PathString* copy) {
    const size_t length = std::char_traits<PathChar>::length(text);
    copy->assign(text, std::min(length, kMaxChars));
    platform::UpperCaseInPlace(&(*copy)[0]);
}

}  // namespace

bool IsInWindowsDirectory(const PathChar* folder_path, const PathChar* windows_dir,
                          PathString* upper_path, PathString* upper_windows_dir) {
    if (windows_dir[0] == 0) {
        return false;
    }
    UpperCaseCopy(folder_path, upper_path);
    UpperCaseCopy(windows_dir, upper_windows_dir);
    return upper_path->find(*upper_windows_dir) != PathString::npos;
}

bool IsInWindowsDirectory(const PathChar* folder_path, const PathChar* windows_dir) {
    PathString upper_path;
    PathString upper_windows_dir;
    return IsInWindowsDirectory(folder_path, windows_dir, &upper_path, &upper_windows_dir);
}
