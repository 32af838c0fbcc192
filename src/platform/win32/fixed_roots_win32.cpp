// The fixed-drive roots on Win32: GetLogicalDriveStringsW, asked first for
// the length and then for the block (a zero-filled block from the process
// heap), and GetDriveTypeW on each drive's two-character root.
#include <windows.h>

#include "platform/drive_strings.h"
#include "platform/fixed_roots.h"
#include "platform/heap_block.h"
#include "platform/win32/fault_last_error.h"

namespace platform {

static_assert(kDriveFixed == DRIVE_FIXED, "GetDriveTypeW's own value");

StepResult<RootListStep> ListFixedRoots(std::vector<PathString>* roots) {
    using Result = StepResult<RootListStep>;
    const DWORD length =
        InjectedFailure(fault::Op::DriveStrings) ? 0 : GetLogicalDriveStringsW(0, nullptr);
    if (length == 0) {
        return Result::Failed(RootListStep::SizeQuery, GetLastError());
    }
    HeapBlock block;
    if (length > 0x7FFFFFFFu || InjectedFailure(fault::Op::DriveBlock) ||
        !block.Allocate(length * sizeof(wchar_t))) {
        return Result::Failed(RootListStep::Alloc, 0);
    }
    wchar_t* strings = reinterpret_cast<wchar_t*>(block.Data());
    if (InjectedFailure(fault::Op::DriveStrings) || GetLogicalDriveStringsW(length, strings) == 0) {
        return Result::Failed(RootListStep::FillQuery, GetLastError());
    }
    // The last character stays NUL whatever the second answer was, so the
    // walk ends inside the block.
    strings[length - 1] = 0;
    CollectFixedDriveRoots(
        strings, [](const PathChar* root) { return GetDriveTypeW(root); }, roots);
    return Result();
}

}  // namespace platform
