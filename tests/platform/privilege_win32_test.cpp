// The debug privilege on Windows: in effect in the process token after
// CommFunc::SetDebugPrivilege, and each failed call's own line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fault_seam.h"
#include "scan/comm_func.h"
#include "support/log_capture.h"

namespace {

using platform::fault::Op;
using platform::fault::Rule;
using platform::fault::Scoped;

// Whether the privilege `name` is enabled in the process token, as the
// token itself reports it (GetTokenInformation).
bool PrivilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ADD_FAILURE() << "OpenProcessToken: " << GetLastError();
        return false;
    }
    LUID debug = {};
    DWORD size = 0;
    std::vector<BYTE> buffer;
    bool enabled = false;
    if (!LookupPrivilegeValueW(nullptr, name, &debug)) {
        ADD_FAILURE() << "LookupPrivilegeValueW: " << GetLastError();
    } else if (GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size) ||
               GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        ADD_FAILURE() << "GetTokenInformation gave no size: " << GetLastError();
    } else {
        buffer.resize(size);
        if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
            ADD_FAILURE() << "GetTokenInformation: " << GetLastError();
        } else {
            const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
            for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
                const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
                if (entry.Luid.LowPart == debug.LowPart && entry.Luid.HighPart == debug.HighPart) {
                    enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
                }
            }
        }
    }
    CloseHandle(token);
    return enabled;
}

bool DebugPrivilegeEnabled() {
    return PrivilegeEnabled(L"SeDebugPrivilege");
}

// Takes the privilege `name` out of effect again, so each test sees it
// raised by the call under test alone.
void DisablePrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = 0;
    const bool looked_up = LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid);
    const bool adjusted = looked_up && AdjustTokenPrivileges(token, FALSE, &privileges,
                                                             sizeof privileges, nullptr, nullptr);
    CloseHandle(token);
    ASSERT_TRUE(adjusted) << GetLastError();
    ASSERT_FALSE(PrivilegeEnabled(name));
}

void DisableDebugPrivilege() {
    DisablePrivilege(L"SeDebugPrivilege");
}

// The backup privilege comes into effect with it: the reads of the image
// test and the check ask for backup semantics, and then read files whose
// access control list denies administrators.
TEST(PrivilegeWin32Test, TheCallPutsThePrivilegeIntoEffectAndAnswersTrue) {
    DisableDebugPrivilege();
    DisablePrivilege(L"SeBackupPrivilege");
    testsupport::LogCapture log;
    EXPECT_EQ(TRUE, CommFunc::SetDebugPrivilege());
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(DebugPrivilegeEnabled());
    EXPECT_TRUE(PrivilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_FALSE(PrivilegeEnabled(L"SeRestorePrivilege"));  // never writing
}

TEST(PrivilegeWin32Test, EachFailedCallLogsItsLineAndLeavesThePrivilegeOff) {
    struct Case {
        Op step;
        OsError code;
        const char* line;
    };
    const Case cases[] = {
        {Op::Token, ERROR_ACCESS_DENIED,
         "[CommFunc::SetDebugPrivilege][20]Call OpenProcessToken failed: 5"},
        {Op::Lookup, ERROR_NO_SUCH_PRIVILEGE,
         "[CommFunc::SetDebugPrivilege][30]Call LookupPrivilegeValue failed: 1313"},
        {Op::Adjust, ERROR_INVALID_HANDLE,
         "[CommFunc::SetDebugPrivilege][36]Call AdjustTokenPrivileges failed: 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        DisableDebugPrivilege();
        std::vector<std::string> lines;
        BOOL answer = TRUE;
        {
            Rule rule;
            rule.op = c.step;
            rule.code = c.code;
            Scoped fault(rule);
            testsupport::LogCapture log;
            answer = CommFunc::SetDebugPrivilege();
            lines = log.Lines();
        }
        EXPECT_EQ(FALSE, answer);
        EXPECT_EQ(std::vector<std::string>{c.line}, lines);
        EXPECT_FALSE(DebugPrivilegeEnabled());
    }
}

}  // namespace
