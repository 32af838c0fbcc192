// The debug privilege on Win32: OpenProcessToken (TOKEN_ADJUST_PRIVILEGES
// only), LookupPrivilegeValueW ("SeDebugPrivilege" on the local system),
// AdjustTokenPrivileges with one enabled entry; the privilege is in effect
// when the last error is 0 afterwards (ERROR_NOT_ALL_ASSIGNED otherwise).
#include <windows.h>

#include "platform/privilege.h"
#include "platform/win32/fault_last_error.h"

namespace platform {

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry is 16 bytes");

PrivilegeOutcome EnableDebugPrivilege() {
    PrivilegeOutcome outcome;
    HANDLE token = nullptr;
    if (InjectedFailure(fault::Op::Token) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        outcome.failed_step = PrivilegeStep::OpenToken;
        outcome.error = GetLastError();
        return outcome;
    }
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof privileges);
    if (InjectedFailure(fault::Op::Lookup) ||
        !LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        outcome.failed_step = PrivilegeStep::LookupPrivilege;
        outcome.error = GetLastError();
        CloseHandle(token);
        return outcome;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (InjectedFailure(fault::Op::Adjust) ||
        !AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
        outcome.failed_step = PrivilegeStep::AdjustPrivileges;
        outcome.error = GetLastError();
        CloseHandle(token);
        return outcome;
    }
    outcome.enabled = GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return outcome;
}

}  // namespace platform
