// The debug privilege on Win32: OpenProcessToken (TOKEN_ADJUST_PRIVILEGES
// only), LookupPrivilegeValueW ("SeDebugPrivilege" on the local system),
// AdjustTokenPrivileges with one enabled entry; the privilege is in effect
// when the last error is 0 afterwards (ERROR_NOT_ALL_ASSIGNED otherwise).
// The privilege opens other processes and threads whatever their security;
// it grants nothing on files, which are opened with the rights the token has
// in each file's access control list.
//
// Once the debug privilege's calls went through, the backup privilege
// (SeBackupPrivilege, held by administrators and SYSTEM) is enabled too, by
// the same two calls, silently: an open that asks for backup semantics
// (FILE_FLAG_BACKUP_SEMANTICS) then reads a file whatever its access control
// list says, so that a program in a folder denied to administrators is still
// examined (file.h: the image test's and the check's opens). It grants no
// writing: that takes the restore privilege, never enabled, and the
// repair's open asks for no backup semantics. Where it cannot be had, such
// files stay unreadable as before.
#include <windows.h>

#include "platform/privilege.h"
#include "platform/win32/fault_last_error.h"
#include "platform/win32/win32_handles.h"

namespace platform {

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry is 16 bytes");

StepResult<PrivilegeStep> EnableDebugPrivilege(bool* enabled) {
    using Result = StepResult<PrivilegeStep>;
    *enabled = false;
    win32::KernelHandle token;
    if (InjectedFailure(fault::Op::Token) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) {
        return Result::Failed(PrivilegeStep::OpenToken, GetLastError());
    }
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof privileges);
    if (InjectedFailure(fault::Op::Lookup) ||
        !LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        return Result::Failed(PrivilegeStep::LookupPrivilege, GetLastError());
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (InjectedFailure(fault::Op::Adjust) ||
        !AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, nullptr,
                               nullptr)) {
        return Result::Failed(PrivilegeStep::AdjustPrivileges, GetLastError());
    }
    *enabled = GetLastError() == ERROR_SUCCESS;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    }
    return Result();
}

}  // namespace platform
