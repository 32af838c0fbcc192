// The fixed roots on POSIX without a mount table to read (an empty /proc in
// a child's own mount namespace, as in a bare chroot): the list fails at its
// first step with the system's own code.
#include <errno.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/fixed_roots.h"

namespace {

constexpr int kNoNamespace = 77;

TEST(FixedRootsPosixTest, WithoutAMountTableTheFirstStepFailsWithENOENT) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace";
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/proc", "tmpfs", MS_RDONLY, nullptr) != 0) {
            _exit(kNoNamespace);
        }
        std::vector<PathString> roots;
        const platform::StepResult<platform::RootListStep> listed =
            platform::ListFixedRoots(&roots);
        _exit(roots.empty() && listed.step == platform::RootListStep::SizeQuery &&
                      listed.code == ENOENT
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoNamespace) {
        GTEST_SKIP() << "no mount namespace here";
    }
    EXPECT_EQ(0, WEXITSTATUS(status)) << "listed, or failed at another step or with another code";
}

}  // namespace
