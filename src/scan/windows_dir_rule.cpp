#include "scan/windows_dir_rule.h"

#include <algorithm>
#include <string>

#include "platform/upper_case.h"

namespace {

constexpr size_t kMaxChars = 4095;  // a 4096-character buffer with its terminator

PathString UpperCaseCopy(const PathChar* text) {
    const size_t length = std::char_traits<PathChar>::length(text);
    PathString copy(text, std::min(length, kMaxChars));
    platform::UpperCaseInPlace(&copy[0]);
    return copy;
}

}  // namespace

bool IsInWindowsDirectory(const PathChar* folder_path, const PathChar* windows_dir) {
    if (windows_dir[0] == 0) {
        return false;
    }
    return UpperCaseCopy(folder_path).find(UpperCaseCopy(windows_dir)) != PathString::npos;
}
