// The Windows entry point (linked with -municode). Arguments are not read.
#include "app/scan_main.h"

int wmain() {
    return ScanMain();
}
