// The Windows progress display: the console window's title shows the
// counts and the folder, at most once per refresh interval, and the title
// the console had comes back at the end.
#include <windows.h>

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

std::wstring ConsoleTitle() {
    static wchar_t title[8192];
    title[0] = L'\0';
    GetConsoleTitleW(title, 8192);
    return title;
}

TEST(ScanProgressWin32, TitleShowsTheProgressAndIsRestoredAtTheEnd) {
    // Wine gives a program a console with a title only on a terminal: CTest
    // runs this test under a pseudo-terminal.
    ASSERT_TRUE(SetConsoleTitleW(L"before the scan")) << "no console: run on a terminal";
    ResetScanStats();
    g_now = 100000;
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    progress.Start();
    ASSERT_TRUE(display.IsOpen());

    CountScan(ScanCounter::FilesSeen);
    CountScan(ScanCounter::FilesSeen);
    CountScan(ScanCounter::FilesSeen);
    g_now += kProgressRefreshMs - 1;
    progress.At(L"C:\\data");
    EXPECT_EQ(ConsoleTitle(), L"before the scan") << "refreshed before the interval passed";

    g_now += 1;
    progress.At(L"C:\\data");
    EXPECT_EQ(ConsoleTitle(), L"ZQCindervane - 3 files, 0 images, 0 fixed, 0 errors - C:\\data");

    CountScan(ScanCounter::ImagesExamined);
    CountScan(ScanCounter::Fixed);
    progress.BeforeConsoleLine();  // the title is not in the console's text
    g_now += kProgressRefreshMs;
    progress.At(L"C:\\data\\\x4E2D\x6587");
    EXPECT_EQ(ConsoleTitle(),
              L"ZQCindervane - 3 files, 1 images, 1 fixed, 0 errors - C:\\data\\\x4E2D\x6587");

    progress.End();
    EXPECT_EQ(ConsoleTitle(), L"before the scan");
    g_now += kProgressRefreshMs;
    progress.At(L"C:\\data");
    EXPECT_EQ(ConsoleTitle(), L"before the scan") << "shown after the end";
    ResetScanStats();
}

TEST(ScanProgressWin32, AFolderPathLongerThanTheTitleIsCutNotOverrun) {
    ASSERT_TRUE(SetConsoleTitleW(L"kept")) << "no console: run on a terminal";
    ResetScanStats();
    const std::wstring folder = L"C:\\" + std::wstring(5000, L'x');
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    progress.Start();
    g_now += kProgressRefreshMs;
    progress.At(folder.c_str());
    const std::wstring shown = ConsoleTitle();
    EXPECT_EQ(shown.rfind(L"ZQCindervane - 0 files, 0 images, 0 fixed, 0 errors - C:\\xxx", 0), 0u)
        << "title: " << shown.size() << " characters";
    progress.End();
    EXPECT_EQ(ConsoleTitle(), L"kept");
}

// A title longer than the display's first buffer comes back whole, not
// cut to that buffer.
TEST(ScanProgressWin32, ALongTitleComesBackWhole) {
    std::wstring long_title;
    for (size_t i = 0; i < 3000; ++i) {
        long_title += static_cast<wchar_t>(L'a' + i % 26);
    }
    ASSERT_TRUE(SetConsoleTitleW(long_title.c_str())) << "no console: run on a terminal";
    ASSERT_EQ(ConsoleTitle().size(), long_title.size());
    ResetScanStats();
    platform::ProgressDisplay display;
    ScanProgress progress(&display, &FakeClock);
    progress.Start();
    g_now += kProgressRefreshMs;
    progress.At(L"C:\\data");
    EXPECT_EQ(ConsoleTitle().rfind(L"ZQCindervane - ", 0), 0u);
    progress.End();
    const std::wstring restored = ConsoleTitle();
    EXPECT_EQ(restored.size(), long_title.size());
    EXPECT_TRUE(restored == long_title);
    SetConsoleTitleW(L"");
}

}  // namespace
