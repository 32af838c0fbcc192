// Windows: the end of the file is moved with SetFilePointerEx and
// SetEndOfFile, which Wine turns into ftruncate (a sparse file on the Unix
// filesystem) instead of writing zeros.
#include <windows.h>

#include "sparse_file.h"

namespace scantest {

bool MakeSparseFile(const PathChar* path, uint64_t size) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

}  // namespace scantest
