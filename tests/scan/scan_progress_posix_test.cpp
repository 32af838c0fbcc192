// The POSIX progress line: drawn on standard error only when that is a
// terminal, rewritten in place, cleared before console output and at the
// end, safe to show whatever bytes a path holds, never wider than the
// terminal; nothing at all when standard error is a file.
#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/progress_display.h"
#include "scan/scan_progress.h"
#include "scan/scan_stats.h"

namespace {

uint32_t g_now = 0;
uint32_t FakeClock() {
    return g_now;
}

// A pseudo-terminal whose slave side replaces a standard stream while the
// object lives; what was written there is read back from the master side,
// byte for byte (the slave is raw: no "\n" to "\r\n" translation).
class PtyStream {
  public:
    PtyStream(int stream, unsigned short columns) : stream_(stream) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        const int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
        EXPECT_GE(slave, 0);
        struct termios raw;
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        struct winsize size = {};
        size.ws_col = columns;
        size.ws_row = 24;
        ioctl(slave, TIOCSWINSZ, &size);
        fflush(stdout);
        fflush(stderr);
        saved_ = dup(stream_);
        dup2(slave, stream_);
        close(slave);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~PtyStream() {
        fflush(stdout);
        fflush(stderr);
        dup2(saved_, stream_);
        close(saved_);
        close(master_);
    }
    std::string Read() {
        fflush(stdout);
        fflush(stderr);
        std::string got;
        char buffer[4096];
        ssize_t n;
        while ((n = read(master_, buffer, sizeof(buffer))) > 0) {
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

  private:
    int stream_;
    int master_ = -1;
    int saved_ = -1;
};

class ScanProgressPosix : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetScanStats();
        g_now = 5000;
    }
    void TearDown() override { ResetScanStats(); }
};

TEST_F(ScanProgressPosix, LineIsDrawnThrottledClearedBeforeOutputAndAtTheEnd) {
    PtyStream err(STDERR_FILENO, 200);
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    progress.Start();
    CountScan(ScanCounter::FilesSeen);
    CountScan(ScanCounter::FilesSeen);
    g_now += kProgressRefreshMs - 1;
    progress.At("/data");
    EXPECT_EQ(err.Read(), "") << "refreshed before the interval passed";

    g_now += 1;
    progress.At("/data");
    EXPECT_EQ(err.Read(), "\r2 files, 0 images, 0 fixed, 0 errors  /data\x1b[K");

    CountScan(ScanCounter::ImagesExamined);
    CountScan(ScanCounter::Fixed);
    CountScan(ScanCounter::ImagesExamined);
    CountScan(ScanCounter::Error);
    g_now += 10;
    progress.At("/data/sub");
    EXPECT_EQ(err.Read(), "");
    progress.BeforeConsoleLine();
    EXPECT_EQ(err.Read(), "\r\x1b[K");
    progress.BeforeConsoleLine();
    EXPECT_EQ(err.Read(), "") << "a line that is not shown is not cleared again";

    g_now += kProgressRefreshMs;
    progress.At("/data/sub");
    EXPECT_EQ(err.Read(), "\r2 files, 2 images, 1 fixed, 1 errors  /data/sub\x1b[K");
    progress.End();
    EXPECT_EQ(err.Read(), "\r\x1b[K");
    g_now += kProgressRefreshMs;
    progress.At("/data");
    EXPECT_EQ(err.Read(), "") << "shown after the end";
}

TEST_F(ScanProgressPosix, ConsoleLineLeftOpenKeepsItsTextTheStatusGoesBelow) {
    // Both streams on one terminal, the console's "Start Scanning..." not yet
    // ended: the status starts on the next line, and only once.
    PtyStream out(STDOUT_FILENO, 200);
    PtyStream err(STDERR_FILENO, 200);
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    fputs("Start Scanning...", stdout);
    progress.Start();
    g_now += kProgressRefreshMs;
    progress.At("/a");
    EXPECT_EQ(out.Read(), "Start Scanning...");
    EXPECT_EQ(err.Read(), "\n\r0 files, 0 images, 0 fixed, 0 errors  /a\x1b[K");
    g_now += kProgressRefreshMs;
    progress.At("/b");
    EXPECT_EQ(err.Read(), "\r0 files, 0 images, 0 fixed, 0 errors  /b\x1b[K");
    progress.End();
    EXPECT_EQ(err.Read(), "\r\x1b[K");
}

TEST_F(ScanProgressPosix, PathBytesThatCouldSteerTheTerminalAreShownAsQuestionMarks) {
    setlocale(LC_CTYPE, "C.UTF-8");
    struct Case {
        const char* folder;
        const char* shown;
    } cases[] = {
        {"/plain", "/plain"},
        {"/esc\x1b[2Jclear", "/esc?[2Jclear"},
        {"/new\nline\r", "/new?line?"},
        {"/bell\a\x7f", "/bell??"},
        {"/caf\xc3\xa9", "/caf\xc3\xa9"},  // é, printable
        {"/c1\xc2\x9b"
         "31m",
         "/c1??31m"},                  // U+009B, a C1 control (CSI)
        {"/bad\xff\xfe", "/bad??"},    // not UTF-8
        {"/cut\xe6\x97", "/cut??"},    // a sequence cut short
        {"/long\xc0\xaf", "/long??"},  // an over-long "/"
    };
    PtyStream err(STDERR_FILENO, 200);
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    progress.Start();
    for (const Case& c : cases) {
        g_now += kProgressRefreshMs;
        progress.At(c.folder);
        EXPECT_EQ(err.Read(),
                  std::string("\r0 files, 0 images, 0 fixed, 0 errors  ") + c.shown + "\x1b[K")
            << c.folder;
    }
    progress.End();
    setlocale(LC_CTYPE, "C");
}

TEST_F(ScanProgressPosix, LineIsCutToTheTerminalWidthKeepingTheFolderEnd) {
    // 40 columns: 39 characters at most; the counts take 39 - 2 - 3.
    struct Case {
        unsigned short columns;
        const char* folder;
        const char* shown;
    } cases[] = {
        {60, "/short", "0 files, 0 images, 0 fixed, 0 errors  /short"},
        {50, "/a/rather/long/folder/name", "0 files, 0 images, 0 fixed, 0 errors  ...der/name"},
        {40, "/a/b", "0 files, 0 images, 0 fixed, 0 errors  "},
        {20, "/a/b", "0 files, 0 images, "},
    };
    for (const Case& c : cases) {
        PtyStream err(STDERR_FILENO, c.columns);
        platform::ProgressDisplay display;
        ScanProgress progress(&display, &FakeClock);
        progress.Start();
        g_now += kProgressRefreshMs;
        progress.At(c.folder);
        const std::string got = err.Read();
        EXPECT_EQ(got, std::string("\r") + c.shown + "\x1b[K") << c.columns << " " << c.folder;
        EXPECT_LT(got.size() - 4, c.columns) << "the line would wrap";
        progress.End();
    }
}

TEST_F(ScanProgressPosix, NothingIsWrittenWhenStandardErrorIsAFile) {
    char name[] = "/tmp/zq_progress_XXXXXX";
    const int file = mkstemp(name);
    ASSERT_GE(file, 0);
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    {
        platform::ProgressDisplay display;
        ScanProgress progress(&display, &FakeClock);
        progress.Start();
        EXPECT_FALSE(display.IsOpen());
        CountScan(ScanCounter::FilesSeen);
        for (int i = 0; i < 4; ++i) {
            g_now += kProgressRefreshMs;
            progress.At("/data");
            progress.BeforeConsoleLine();
        }
        progress.End();
    }
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(lseek(file, 0, SEEK_END), 0) << "the progress line reached a file";
    close(file);
    unlink(name);
}

}  // namespace
