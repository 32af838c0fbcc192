// A bind mount of a folder's ancestor inside the walk (POSIX, root, in a
// child's own mount namespace): where the kernel tells mounts apart it is
// passed over as a mount (line 298); where it cannot (no statx, so no
// mount IDs) the walk enters it as a folder of the same filesystem, finds
// it already open above and leaves it (line 297). Either way it is walked
// once, never again through itself.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <stddef.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kNoNamespace = 77;

// From here on this process's statx calls fail with ENOSYS, as on a kernel
// that lacks the call. Not undone: only for a child that exits afterwards.
bool WithoutStatx() {
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_statx, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                                 filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Scans `top` in a child with `top` bound onto `top`/a/up in its own mount
// namespace; the log's messages come back through a pipe. False when the
// child could not make its namespace.
bool ScanWithAncestorBound(const std::string& top, bool without_statx, Lines* lines) {
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "pipe: " << errno;
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork: " << errno;
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        const std::string up = top + "/a/up";
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(top.c_str(), up.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            _exit(kNoNamespace);
        }
        if (without_statx && !WithoutStatx()) {
            _exit(1);
        }
        std::string text;
        {
            testsupport::LogCapture log;
            ::testing::internal::CaptureStdout();
            ScanFolder(top.c_str());
            ::testing::internal::GetCapturedStdout();
            for (const std::string& line : log.Lines()) {
                text += line + "\n";
            }
        }
        const bool sent =
            write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(sent ? 0 : 2);
    }
    close(channel[1]);
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    EXPECT_EQ(child, waitpid(child, &status, 0));
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace) {
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    std::istringstream split(text);
    std::string line;
    while (std::getline(split, line)) {
        lines->push_back(line);
    }
    return true;
}

TEST(ScanFolderBindMountPosixTest, AnAncestorBoundInsideTheWalkIsNeverWalkedAgain) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace";
    }
    struct Case {
        const char* name;
        bool without_statx;
        const char* line;  // what the bound folder gets
    };
    const Case cases[] = {
        {"mounts told apart", false, "[ScanFolder][298]Mount inside the walk, not scanned:"},
        {"no mount IDs", true, "[ScanFolder][297]Folder already open above, not scanned again:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const std::string top = dir.Path().string();
        const std::string tool = top + "/a/tool.exe";
        testsupport::WriteFile(tool, sample::BuildPe(1024));
        std::filesystem::create_directories(top + "/a/up");

        Lines lines;
        if (!ScanWithAncestorBound(top, c.without_statx, &lines)) {
            GTEST_SKIP() << "no mount namespace here";
        }
        Lines expected = {"[ScanFolder][300]Start Scanning Folder:" + top + "/a",
                          std::string(c.line) + top + "/a/up",
                          "[ScanFolder][309]Start Scanning File:" + tool,
                          "[ScanFolder][334]Path:" + tool + ", Result:0"};
        std::sort(expected.begin(), expected.end());
        std::sort(lines.begin(), lines.end());
        EXPECT_EQ(expected, lines);
    }
}

}  // namespace
