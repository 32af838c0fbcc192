// The Windows entry point (linked with -municode): the arguments, as the
// runtime split them, go to the shared decision; switches may also begin
// with "/".
#include <windows.h>

#include <vector>

#include "app/scan_main.h"

namespace {

// Cloud files' placeholders are shown to this process as they are: from
// Windows 10 1803 on the system may disguise them for some programs by
// default, hiding their reparse point and their offline and sparse bits,
// and the walk would then open (and recall) files whose data is not on the
// disk. RtlSetProcessPlaceholderCompatibilityMode(PHCM_EXPOSE_PLACEHOLDERS)
// is looked up in ntdll, which has it only from that version on; older
// systems have no placeholders to disguise.
void ExposePlaceholders() {
    using SetMode = CHAR(WINAPI*)(CHAR);
    constexpr CHAR kExposePlaceholders = 2;  // PHCM_EXPOSE_PLACEHOLDERS
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return;
    }
    const auto set_mode = reinterpret_cast<SetMode>(reinterpret_cast<void (*)()>(
        GetProcAddress(ntdll, "RtlSetProcessPlaceholderCompatibilityMode")));
    if (set_mode != nullptr) {
        set_mode(kExposePlaceholders);  // a negative answer leaves the default
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetDllDirectoryW(L"");  // the current folder is no place to load libraries from
    ExposePlaceholders();
    const std::vector<PathString> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return ProgramMain(arguments, true);
}
