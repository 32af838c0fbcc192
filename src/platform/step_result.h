// The outcome of an operation made of several system calls: the step that
// failed, if one did, and the OS's own code for it (0 for a step that is no
// system call, such as an allocation). `Step` is the operation's enum of its
// calls; its `None` means every call succeeded.
#pragma once

#include "platform/types.h"

namespace platform {

template <typename Step>
struct StepResult {
    Step step = Step::None;
    OsError code = 0;

    bool Succeeded() const { return step == Step::None; }

    static StepResult Failed(Step failed_step, OsError failed_code) {
        StepResult result;
        result.step = failed_step;
        result.code = failed_code;
        return result;
    }
};

}  // namespace platform
