// The Windows entry point (linked with -municode). Arguments are not read.
#include <windows.h>

#include "app/scan_main.h"

int wmain() {
    SetDllDirectoryW(L"");  // the current folder is no place to load libraries from
    return ScanMain();
}
