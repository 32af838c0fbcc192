// The fault seam for POSIX calls that fail with errno: an injected failure
// leaves its code in errno, as the call would have.
#pragma once

#include <errno.h>

#include "platform/fault_seam.h"

namespace platform {

// True, with the rule's code in errno, when the armed rule fails this call
// of `op`; the caller then skips the call itself.
inline bool InjectedFailure(fault::Op op) {
    const fault::Verdict verdict = fault::Hit(op);
    if (verdict.effect != fault::Effect::Fail) {
        return false;
    }
    errno = static_cast<int>(verdict.code);
    return true;
}

}  // namespace platform
