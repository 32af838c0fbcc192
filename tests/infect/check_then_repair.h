// A scan's step on an infected file cut where another process may act: the
// check, which must find the file infected, then `between`, then the repair
// with the signature the check matched.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "infect/check_infection.h"
#include "infect/restore_host.h"
#include "platform/file_ref.h"
#include "support/log_capture.h"

namespace infecttest {

struct CheckedRepair {
    BOOL result = FALSE;             // the repair's
    std::vector<std::string> lines;  // logged from the check on
};

// Fills `*repair`; fails the test, fatally, when the check fails or finds
// the file clean.
inline void CheckThenRepair(platform::FileRef& file, const SignatureList& list,
                            const std::function<void()>& between, CheckedRepair* repair) {
    BOOL infected = FALSE;
    const char* matched = nullptr;
    testsupport::LogCapture log;
    ASSERT_EQ(TRUE, CheckInfection(file, &infected, list, &matched));
    ASSERT_EQ(TRUE, infected);
    between();
    repair->result = RestoreHost(file, SignatureList{&matched, 1});
    repair->lines = log.Lines();
}

}  // namespace infecttest
