// zqrestore BACKUP OUT: the restore program's entry on POSIX.
#include "restore.h"

int main(int argc, char** argv) {
    return druquara::RestoreMain(argc, argv);
}
