// The fault seam for Win32 calls that fail with a false answer and the
// thread's last error: an injected failure leaves its code there, as the
// call would have.
#pragma once

#include <windows.h>

#include "platform/fault_seam.h"

namespace platform {

// True, with the rule's code as the last error, when the armed rule fails
// this call of `op`; the caller then skips the call itself.
inline bool InjectedFailure(fault::Op op) {
    const fault::Verdict verdict = fault::Hit(op);
    if (verdict.effect != fault::Effect::Fail) {
        return false;
    }
    SetLastError(verdict.code);
    return true;
}

}  // namespace platform
