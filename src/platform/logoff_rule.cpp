// The logoff rule: ignored only in the isolated session 0.
#include "platform/logoff_rule.h"

namespace platform {

bool LogoffEndsRun(bool session_known, uint32_t session_id, bool session_zero_isolated) {
    return !(session_known && session_id == 0 && session_zero_isolated);
}

}  // namespace platform
