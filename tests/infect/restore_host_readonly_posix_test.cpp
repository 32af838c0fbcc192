// RestoreHost on a read-only file, POSIX builds. The tests usually run as
// root, who may open any file for writing; the case therefore runs in a
// child process that gives up root first.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "infect/restore_host.h"
#include "sample_builder/sample_builder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

constexpr uid_t kNobody = 65534;

enum ChildResult { kPassed = 0, kNotDropped = 10, kRepaired = 11, kWrongLog = 12 };

// In the child: RestoreHost must fail at the open with EACCES (0xd).
int RepairWithoutRoot(const PathString& path) {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
        return kNotDropped;
    }
    testsupport::LogCapture log;
    if (RestoreHost(path.c_str()) != FALSE) {
        return kRepaired;
    }
    if (log.Lines() != std::vector<std::string>{"Call CreateFile failed: 0xd"}) {
        return kWrongLog;
    }
    return kPassed;
}

TEST(RestoreHostPosixTest, ReadOnlyFileFailsAtTheOpenAndStaysUnchanged) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("readonly.exe");
    const sample::Bytes content = sample::BuildInfected(sample::BuildPe(5000)).infected;
    testsupport::WriteFile(path, content);
    ASSERT_EQ(0, chmod(path.c_str(), 0444));
    ASSERT_EQ(0, chmod(dir.Path().c_str(), 0755));

    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        _exit(RepairWithoutRoot(path));
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(kPassed, WEXITSTATUS(status))
        << "10: could not give up root, 11: RestoreHost succeeded, 12: wrong log line";
    EXPECT_TRUE(content == testsupport::ReadFile(path));
}

}  // namespace
