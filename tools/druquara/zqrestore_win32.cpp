// zqrestore BACKUP OUT: the restore program's entry on Windows, with the
// command line in UTF-16 so that any path can be named.
#include "restore.h"

int wmain(int argc, wchar_t** argv) {
    return druquara::RestoreMain(argc, argv);
}
