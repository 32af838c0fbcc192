// Whether a logoff event ends the run, from made-up answers about the
// process's session and the system.
#include "platform/logoff_rule.h"

#include <gtest/gtest.h>

namespace {

TEST(LogoffRuleTest, OnlyTheIsolatedSessionZeroGoesOnThroughALogoff) {
    struct Case {
        const char* name;
        bool session_known;
        uint32_t session;
        bool isolated;
        bool ends;
    };
    const Case cases[] = {
        // A repair as SYSTEM (a service or a scheduled task): another
        // session's user logs off.
        {"session 0, Vista and later", true, 0, true, false},
        // An interactive session: its own user may be the one.
        {"interactive session, Vista and later", true, 1, true, true},
        {"remote session, Vista and later", true, 7, true, true},
        // XP: session 0 is the console's interactive session too.
        {"session 0, XP", true, 0, false, true},
        {"remote session, XP", true, 2, false, true},
        // Never left running on a guess.
        {"session unknown, Vista and later", false, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.ends, platform::LogoffEndsRun(c.session_known, c.session, c.isolated));
    }
}

}  // namespace
