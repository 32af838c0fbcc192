// The fixed-drive roots on Win32: GetLogicalDriveStringsW, asked first for
// the length and then for the block (a zero-filled block from the process
// heap, asked for again while drives are being added), GetDriveTypeW on each
// drive's two-character root, and QueryDosDeviceW to leave SUBST drives out.
#include <windows.h>

#include "platform/drive_strings.h"
#include "platform/entry_rules.h"
#include "platform/fixed_roots.h"
#include "platform/heap_block.h"
#include "platform/win32/fault_last_error.h"

namespace platform {

static_assert(kDriveFixed == DRIVE_FIXED, "GetDriveTypeW's own value");

namespace {

// Whether the drive `root` ("X:") is a SUBST drive: its DOS device is
// another drive's folder ("\??\C:\..."). A drive whose device cannot be
// had is taken as a drive of its own.
bool IsSubst(const PathChar* root) {
    wchar_t device[1024];
    if (QueryDosDeviceW(root, device, sizeof device / sizeof device[0]) == 0) {
        return false;
    }
    return IsSubstDrive(device);
}

}  // namespace

StepResult<RootListStep> ListFixedRoots(std::vector<PathString>* roots) {
    HeapBlock block;
    PathChar* strings = nullptr;
    const StepResult<RootListStep> read = ReadDriveStrings(
        [](uint32_t length, PathChar* buffer, OsError* error) -> uint32_t {
            const DWORD written = InjectedFailure(fault::Op::DriveStrings)
                                      ? 0
                                      : GetLogicalDriveStringsW(length, buffer);
            if (written == 0) {
                *error = GetLastError();
            }
            return written;
        },
        [&block](uint32_t chars) -> PathChar* {
            if (InjectedFailure(fault::Op::DriveBlock) ||
                !block.Allocate(chars * sizeof(wchar_t))) {
                return nullptr;
            }
            return reinterpret_cast<PathChar*>(block.Data());
        },
        &strings);
    if (!read.Succeeded()) {
        return read;
    }
    CollectFixedDriveRoots(
        strings, [](const PathChar* root) { return GetDriveTypeW(root); }, IsSubst, roots);
    return read;
}

}  // namespace platform
