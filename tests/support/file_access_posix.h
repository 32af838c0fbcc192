// Takes the file-access capabilities (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH)
// out of the calling thread's effective set for a test, so that file
// permissions apply even to root; puts them back at destruction.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

class WithoutFileAccess {
  public:
    WithoutFileAccess() {
        ok_ = syscall(SYS_capget, &header_, saved_) == 0;
        if (ok_) {
            __user_cap_data_struct lowered[_LINUX_CAPABILITY_U32S_3];
            for (int i = 0; i < _LINUX_CAPABILITY_U32S_3; ++i) {
                lowered[i] = saved_[i];
            }
            lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
            ok_ = syscall(SYS_capset, &header_, lowered) == 0;
        }
    }
    ~WithoutFileAccess() {
        if (ok_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutFileAccess(const WithoutFileAccess&) = delete;
    WithoutFileAccess& operator=(const WithoutFileAccess&) = delete;

    bool Ok() const { return ok_; }

  private:
    __user_cap_header_struct header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[_LINUX_CAPABILITY_U32S_3] = {};
    bool ok_ = false;
};

}  // namespace testsupport
