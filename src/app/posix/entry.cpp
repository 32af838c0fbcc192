// The POSIX entry point. Arguments are not read.
#include "app/scan_main.h"

int main() {
    return ScanMain();
}
