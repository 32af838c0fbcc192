// The POSIX stand-in for the debug privilege: the file-access capabilities.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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
