// The fixed roots on POSIX without what the listing reads, as in a bare
// chroot: an empty /proc (no mount table: the first step fails with the
// system's own code) or an empty /sys (the table is read, but no device can
// be told a fixed disk: no root). Each in a child's own mount namespace, and
// each with the reason the operator is given. Without /proc the program
// still finds its own folder, where its log goes.
#include <errno.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fixed_roots.h"
#include "platform/module_path.h"

namespace {

constexpr int kNoNamespace = 77;

TEST(FixedRootsPosixTest, WithoutProcOrSysNothingIsListedAndTheReasonNamesIt) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace";
    }
    struct Case {
        const char* hidden;  // the folder an empty tmpfs covers
        platform::RootListStep step;
        OsError code;
        const char* reason;
    };
    const Case cases[] = {
        {"/proc", platform::RootListStep::SizeQuery, ENOENT,
         "/proc/self/mountinfo could not be read (error 2)"},
        {"/sys", platform::RootListStep::None, 0,
         "/sys could not be read (error 2), so no disk could be told fixed"},
    };
    const PathString log_path = platform::PathBesideExecutable(ZQ_T("ZQCindervane.log"));
    ASSERT_FALSE(log_path.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hidden);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", c.hidden, "tmpfs", MS_RDONLY, nullptr) != 0) {
                _exit(kNoNamespace);
            }
            std::vector<PathString> roots;
            const platform::StepResult<platform::RootListStep> listed =
                platform::ListFixedRoots(&roots);
            const bool as_expected =
                roots.empty() && listed.step == c.step && listed.code == c.code &&
                platform::NoRootsReason(listed) == c.reason &&
                platform::PathBesideExecutable(ZQ_T("ZQCindervane.log")) == log_path;
            _exit(as_expected ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == kNoNamespace) {
            GTEST_SKIP() << "no mount namespace here";
        }
        EXPECT_EQ(0, WEXITSTATUS(status))
            << "listed, failed at another step or with another code, another reason, or "
               "the executable's folder was not found";
    }
}

}  // namespace
