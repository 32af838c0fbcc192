// Whether a console's logoff event ends the run. Windows sends
// CTRL_LOGOFF_EVENT to the console programs that are still running when a
// user logs off, without saying which user: the interactive programs of the
// session that ends are ended before it, so only programs outside it see
// the event. A run as SYSTEM outside any interactive session (session 0
// from Windows Vista on, where services and scheduled tasks run) is never
// the one whose user logs off: it goes on. Where session 0 is also the
// console's interactive session (Windows XP), or where the session cannot be
// told, the event ends the run as before. A plain function of the answers,
// built on every platform so that each case can be checked.
#pragma once

#include <cstdint>

namespace platform {

// `session_known`: the process's session could be had (`session_id`);
// `session_zero_isolated`: the system keeps session 0 for services alone
// (Windows Vista and later).
bool LogoffEndsRun(bool session_known, uint32_t session_id, bool session_zero_isolated);

}  // namespace platform
