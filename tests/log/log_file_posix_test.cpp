// The log's path on POSIX holds something other than a regular file: the
// log never writes through a link, never creates a link's target, never
// blocks on a FIFO, and never rotates through a link; the scan's lines are
// then simply not written. Nor does a log start without shared memory.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log/logger.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

enum class AtLogPath { LinkToFile, DanglingLink, Fifo, FifoWithReader, Folder };

struct Case {
    const char* name;
    AtLogPath what;
};

TEST(LogFilePosix, OnlyARegularFileIsEverOpened) {
    const Case cases[] = {
        {"link to a file", AtLogPath::LinkToFile},
        {"dangling link", AtLogPath::DanglingLink},
        {"FIFO", AtLogPath::Fifo},
        {"FIFO with a reader", AtLogPath::FifoWithReader},
        {"folder", AtLogPath::Folder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const fs::path log = dir.Path() / "ZQCindervane.log";
        const fs::path target = dir.Path() / "target";
        // A target big enough to be rotated, were the link followed.
        const std::string content(600 * 1024, 'k');
        int reader = -1;
        switch (c.what) {
            case AtLogPath::LinkToFile:
                testsupport::WriteFile(target, content);
                fs::create_symlink(target, log);
                break;
            case AtLogPath::DanglingLink:
                fs::create_symlink(target, log);
                break;
            case AtLogPath::Fifo:
                ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
                break;
            case AtLogPath::FifoWithReader:
                ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
                reader = open(log.c_str(), O_RDONLY | O_NONBLOCK);
                ASSERT_GE(reader, 0);
                break;
            case AtLogPath::Folder:
                fs::create_directory(log);
                break;
        }
        ASSERT_EQ(g_Logger.Init(log.c_str()), 1);
        g_Logger.Write("Start...");
        g_Logger.Write("End...");
        g_Logger.Stop();  // returns: nothing blocked

        if (c.what == AtLogPath::LinkToFile) {
            EXPECT_EQ(testsupport::ReadText(target), content) << "written or rotated through";
            EXPECT_TRUE(fs::is_symlink(log));
            EXPECT_FALSE(fs::exists(dir.Path() / "ZQCindervane.log0"));
        } else if (c.what == AtLogPath::DanglingLink) {
            EXPECT_FALSE(fs::exists(target)) << "the link's target was created";
        } else if (reader >= 0) {
            char byte;
            EXPECT_LE(read(reader, &byte, 1), 0) << "a line reached the FIFO";
            close(reader);
        }
    }
}

}  // namespace

// Without shared memory (here /dev/shm read-only, in a mount namespace of a
// child process) the logging switch cannot be made: nobody can turn the log
// off, so it is kept as usual.
TEST(LogFilePosix, NoSharedMemoryStillKeepsTheLog) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace";
    }
    testsupport::TempDir dir;
    const fs::path log = dir.Path() / "ZQCindervane.log";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/dev/shm", "tmpfs", MS_RDONLY, nullptr) != 0) {
            _exit(77);
        }
        const int started = g_Logger.Init(log.c_str());
        const int written = g_Logger.Write("Start...");
        g_Logger.Stop();
        _exit(started == 1 && written > 0 &&
                      testsupport::ReadText(log).find("Start...\r\n") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no mount namespace here";
    }
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the log was not kept without its switch";
}
