// A file that another process holds with no sharing (as the system holds its
// registry hives, paging files and logs): the image test finds it in use
// (line 277, counted In use), not unreadable, and the scan goes on. The
// holder is this test program started again, running only its holder case.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_text.h"
#include "sample_builder/sample_builder.h"
#include "scan/comm_func.h"
#include "scan/scan_stats.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

constexpr DWORD kWaitMilliseconds = 60000;

// The environment that tells the started program what to hold and how to
// say so.
constexpr wchar_t kPathVariable[] = L"ZQ_HOLD_PATH";
constexpr wchar_t kHeldVariable[] = L"ZQ_HOLD_HELD_EVENT";
constexpr wchar_t kReleaseVariable[] = L"ZQ_HOLD_RELEASE_EVENT";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// The holder, run only in the started program: opens the file with no
// sharing, says so, and keeps it until told to let go (or a minute passed).
TEST(InUseHolder, DISABLED_HoldsTheFileUntilReleased) {
    const std::wstring path = Variable(kPathVariable);
    ASSERT_FALSE(path.empty());
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    const HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, Variable(kHeldVariable).c_str());
    const HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, Variable(kReleaseVariable).c_str());
    ASSERT_NE(held, nullptr);
    ASSERT_NE(release, nullptr);
    SetEvent(held);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(release, kWaitMilliseconds));
    CloseHandle(file);
    CloseHandle(held);
    CloseHandle(release);
}

TEST(InUseTest, AFileAnotherProcessHoldsWithoutSharingIsInUse) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("pagefile.sys");
    testsupport::WriteFile(std::filesystem::path(path), sample::BuildPe(4096));

    const std::wstring suffix = std::to_wstring(GetCurrentProcessId());
    const std::wstring held_name = L"zq_in_use_held_" + suffix;
    const std::wstring release_name = L"zq_in_use_release_" + suffix;
    const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, held_name.c_str());
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, release_name.c_str());
    ASSERT_NE(held, nullptr);
    ASSERT_NE(release, nullptr);
    SetEnvironmentVariableW(kPathVariable, path.c_str());
    SetEnvironmentVariableW(kHeldVariable, held_name.c_str());
    SetEnvironmentVariableW(kReleaseVariable, release_name.c_str());

    wchar_t program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(program) +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=InUseHolder.DISABLED_HoldsTheFileUntilReleased";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder = {};
    ASSERT_TRUE(CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &holder))
        << GetLastError();
    const HANDLE waits[] = {held, holder.hProcess};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kWaitMilliseconds);

    std::vector<std::string> lines;
    BOOL image_found = TRUE;
    ResetScanStats();
    if (woke == WAIT_OBJECT_0) {
        testsupport::LogCapture log;
        image_found = CommFunc::IsFilePE(path.c_str());
        lines = log.Lines();
    }
    SetEvent(release);
    WaitForSingleObject(holder.hProcess, kWaitMilliseconds);
    DWORD exit_code = 1;
    GetExitCodeProcess(holder.hProcess, &exit_code);
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    CloseHandle(held);
    CloseHandle(release);

    ASSERT_EQ(WAIT_OBJECT_0, woke) << "the holder did not hold the file";
    EXPECT_EQ(0u, exit_code);
    EXPECT_EQ(FALSE, image_found);
    EXPECT_EQ(std::vector<std::string>{"[ScanFolder][277]In use by the system, not examined:" +
                                       platform::PathText(path.c_str())},
              lines);
    const ScanStats stats = CurrentScanStats();
    EXPECT_EQ(1u, stats.in_use);
    EXPECT_EQ(0u, stats.unreadable);
    // Let go, the same file is an image again.
    EXPECT_EQ(TRUE, CommFunc::IsFilePE(path.c_str()));
}

}  // namespace
