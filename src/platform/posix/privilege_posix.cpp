// The debug privilege's stand-in on Linux: the capabilities that let a
// process read every file (CAP_DAC_READ_SEARCH, CAP_DAC_OVERRIDE), raised
// from the permitted into the effective set with the capget/capset system
// calls. Enabled when at least one of them is in effect afterwards; a
// process permitted neither is left as it is.
#include <errno.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/fault_errno.h"
#include "platform/privilege.h"

namespace platform {

namespace {

constexpr uint32_t kFileAccessCapabilities =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);  // both in the first word

}  // namespace

StepResult<PrivilegeStep> EnableDebugPrivilege(bool* enabled) {
    using Result = StepResult<PrivilegeStep>;
    *enabled = false;
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (InjectedFailure(fault::Op::Token) || syscall(SYS_capget, &header, data) != 0) {
        return Result::Failed(PrivilegeStep::OpenToken, static_cast<OsError>(errno));
    }
    const uint32_t wanted = data[0].permitted & kFileAccessCapabilities;
    if (wanted == 0) {
        return Result();  // not permitted: not enabled, and nothing failed
    }
    if ((data[0].effective & wanted) != wanted) {
        data[0].effective |= wanted;
        if (InjectedFailure(fault::Op::Adjust) || syscall(SYS_capset, &header, data) != 0) {
            return Result::Failed(PrivilegeStep::AdjustPrivileges, static_cast<OsError>(errno));
        }
    }
    *enabled = true;
    return Result();
}

}  // namespace platform
