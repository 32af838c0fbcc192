// The Windows entry point (linked with -municode): the arguments, as the
// runtime split them, go to the shared decision; switches may also begin
// with "/".
#include <windows.h>

#include <vector>

#include "app/scan_main.h"

int wmain(int argc, wchar_t** argv) {
    SetDllDirectoryW(L"");  // the current folder is no place to load libraries from
    const std::vector<PathString> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return ProgramMain(arguments, true);
}
