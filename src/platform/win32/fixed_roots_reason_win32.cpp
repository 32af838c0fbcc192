// Why the Win32 drive list gave no root, for the operator.
#include <string>

#include "platform/fixed_roots.h"

namespace platform {

std::string NoRootsReason(const StepResult<RootListStep>& listed) {
    switch (listed.step) {
        case RootListStep::SizeQuery:
        case RootListStep::FillQuery:
            return "the drive list could not be read (error " + std::to_string(listed.code) + ")";
        case RootListStep::Alloc:
            return "the drive list could not be read (no memory for it)";
        case RootListStep::None:
            break;
    }
    return "the drive list holds no fixed drive";
}

}  // namespace platform
