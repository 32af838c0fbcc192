// Held files on Windows: CreateFileW with each case's access and sharing.
#include <windows.h>

#include "support/held_file.h"

namespace testsupport {

bool OpenHeld(platform::File* file, const PathChar* path, Hold how) {
    DWORD access = GENERIC_READ;
    DWORD share = 0;
    switch (how) {
        case Hold::Update:
            access = GENERIC_READ | GENERIC_WRITE;
            share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            break;
        case Hold::KeepWriters:
            share = FILE_SHARE_READ;
            break;
        case Hold::Exclusive:
            break;
    }
    const HANDLE handle =
        CreateFileW(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    file->AdoptForTesting(reinterpret_cast<intptr_t>(handle));
    return true;
}

}  // namespace testsupport
