// The POSIX stand-in for the debug privilege: the file-access capabilities,
// raised when permitted, and each failed call's own line.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/privilege.h"
#include "scan/comm_func.h"
#include "support/log_capture.h"

namespace {

constexpr uint32_t kFileAccess = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool ReadCapabilities(__user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3]) {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

TEST(PrivilegePosixTest, PermittedCapabilitiesAreRaisedIntoTheEffectiveSet) {
    __user_cap_data_struct before[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_TRUE(ReadCapabilities(before));
    const bool permitted = (before[0].permitted & kFileAccess) != 0;
    testsupport::LogCapture log;
    EXPECT_EQ(permitted ? TRUE : FALSE, CommFunc::SetDebugPrivilege());
    EXPECT_TRUE(log.Lines().empty());
    __user_cap_data_struct after[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_TRUE(ReadCapabilities(after));
    EXPECT_EQ(before[0].permitted & kFileAccess, after[0].effective & kFileAccess);
}

// Takes the file-access capabilities out of the effective set (they stay
// permitted), so the call has to set them again.
bool DropEffective(uint32_t* dropped) {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    *dropped = data[0].effective & kFileAccess;
    data[0].effective &= ~kFileAccess;
    return syscall(SYS_capset, &header, data) == 0;
}

void RestoreEffective(uint32_t dropped) {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_EQ(0, syscall(SYS_capget, &header, data));
    data[0].effective |= dropped;
    ASSERT_EQ(0, syscall(SYS_capset, &header, data));
}

TEST(PrivilegePosixTest, EachFailedCallLogsItsLineAndAnswersFalse) {
    __user_cap_data_struct before[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_TRUE(ReadCapabilities(before));
    if ((before[0].permitted & kFileAccess) == 0) {
        GTEST_SKIP() << "the capabilities are not permitted: the setting call is never made";
    }
    struct Case {
        platform::fault::Op step;
        OsError code;
        const char* line;
    };
    const Case cases[] = {
        {platform::fault::Op::Token, EPERM,
         "[CommFunc::SetDebugPrivilege][20]Call OpenProcessToken failed: 1"},
        {platform::fault::Op::Adjust, EINVAL,
         "[CommFunc::SetDebugPrivilege][36]Call AdjustTokenPrivileges failed: 22"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        uint32_t dropped = 0;
        ASSERT_TRUE(DropEffective(&dropped));
        std::vector<std::string> lines;
        BOOL answer = TRUE;
        {
            platform::fault::Rule rule;
            rule.op = c.step;
            rule.code = c.code;
            platform::fault::Scoped fault(rule);
            testsupport::LogCapture log;
            answer = CommFunc::SetDebugPrivilege();
            lines = log.Lines();
        }
        __user_cap_data_struct after[_LINUX_CAPABILITY_U32S_3] = {};
        ASSERT_TRUE(ReadCapabilities(after));
        RestoreEffective(dropped);
        EXPECT_EQ(FALSE, answer);
        EXPECT_EQ(std::vector<std::string>{c.line}, lines);
        EXPECT_EQ(0u, after[0].effective & kFileAccess) << "raised despite the failed call";
    }
}

TEST(PrivilegePosixTest, ProcessNotPermittedGetsFalseWithoutAFailedCall) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Give up the capabilities for good, then ask for them.
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        if (syscall(SYS_capget, &header, data) != 0) {
            _exit(10);
        }
        data[0].effective &= ~kFileAccess;
        data[0].permitted &= ~kFileAccess;
        data[0].inheritable &= ~kFileAccess;
        if (syscall(SYS_capset, &header, data) != 0) {
            _exit(11);
        }
        bool enabled = true;
        const platform::StepResult<platform::PrivilegeStep> outcome =
            platform::EnableDebugPrivilege(&enabled);
        _exit(!enabled && outcome.Succeeded() ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
