// The log of a program started from a long path (Windows): beside the
// executable, whole, or nowhere, never in another folder. The test program
// copies itself to executable paths of 259, 260, 267 and 307 characters and
// runs each copy, which starts the log as the scan does. Where the system
// starts no program from such a path (Wine from 260 characters on), the
// copy's part runs in the test program: the executable's path read as
// GetModuleFileNameW would give it, and the log started beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "log/logger.h"
#include "platform/module_path.h"
#include "support/temp_dir.h"

namespace {

const wchar_t kProbeVariable[] = L"ZQ_MODULE_PATH_PROBE";

std::wstring Long(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ThisProgram() {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

// Starts the log at `log_path` as the scan does, and stops it.
void StartLog(const PathString& log_path) {
    g_Logger.Init(log_path.c_str());
    g_Logger.Write("Start...");
    g_Logger.Stop();
}

// Run in the copy: starts the log beside the executable as the scan does.
TEST(ModulePathProbe, StartsTheLogBesideItself) {
    if (GetEnvironmentVariableW(kProbeVariable, nullptr, 0) == 0) {
        GTEST_SKIP() << "runs only in a copy started by the test below";
    }
    StartLog(platform::PathBesideExecutable(ZQ_T("ZQCindervane.log")));
}

// The path of the executable `exe` as GetModuleFileNameW gives it into a
// buffer of `capacity` characters: a path that does not fit is cut to the
// buffer, without its terminator (as older systems do).
size_t ReadModulePath(const std::wstring& exe, PathChar* buffer, size_t capacity) {
    const size_t length = std::min(exe.size(), capacity);
    exe.copy(buffer, length);
    if (length < capacity) {
        buffer[length] = 0;
    }
    return length;
}

TEST(ModulePathLong, TheLogOfALongExecutablePathLiesBesideItOrNowhere) {
    const std::wstring self = ThisProgram();
    ASSERT_FALSE(self.empty());
    testsupport::TempDir dir;
    const std::wstring base = dir.Path().native();
    ASSERT_LT(base.size(), 150u);
    for (size_t length : {259u, 260u, 267u, 307u}) {
        SCOPED_TRACE(length);
        // base\<length>\ddd...\<name>.exe with folders of at most 100
        // characters and the name making up the rest.
        std::wstring folder = base + L"\\" + std::to_wstring(length);
        ASSERT_TRUE(CreateDirectoryW(Long(folder).c_str(), nullptr));
        const std::wstring top = folder;
        while (length - folder.size() - 1 > 100) {
            folder +=
                L"\\" + std::wstring(std::min<size_t>(90, length - folder.size() - 1 - 20), L'd');
            ASSERT_TRUE(CreateDirectoryW(Long(folder).c_str(), nullptr));
        }
        const std::wstring exe =
            folder + L"\\" + std::wstring(length - folder.size() - 1 - 4, L'p') + L".exe";
        ASSERT_EQ(exe.size(), length);
        ASSERT_TRUE(CopyFileW(Long(self).c_str(), Long(exe).c_str(), FALSE));

        SetEnvironmentVariableW(kProbeVariable, L"1");
        std::wstring command = L"\"" + exe + L"\" --gtest_filter=ModulePathProbe.*";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
        if (!started) {
            // Past MAX_PATH only the long form may start it.
            started = CreateProcessW(Long(exe).c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &process);
        }
        SetEnvironmentVariableW(kProbeVariable, nullptr);
        if (started) {
            WaitForSingleObject(process.hProcess, 120000);
            DWORD code = 1;
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            EXPECT_EQ(code, 0u);
        } else {
            std::printf(
                "length %u: the system does not start a program there (error %lu); "
                "its part runs here\n",
                static_cast<unsigned>(length), GetLastError());
            const PathString module_path = platform::ReadWholePath(
                [&exe](PathChar* buffer, size_t capacity) {
                    return ReadModulePath(exe, buffer, capacity);
                },
                MAX_PATH, 65534);
            ASSERT_EQ(exe, module_path);
            StartLog(platform::PathBesideModule(module_path, ZQ_T("ZQCindervane.log")));
        }

        EXPECT_TRUE(Exists(folder + L"\\ZQCindervane.log")) << "no log beside the executable";
        // Never in a folder above it.
        for (std::wstring above = folder; above.size() > top.size();) {
            above = above.substr(0, above.find_last_of(L'\\'));
            EXPECT_FALSE(Exists(above + L"\\ZQCindervane.log"))
                << "a log above, at " << above.size();
        }
        EXPECT_FALSE(Exists(base + L"\\ZQCindervane.log"));
    }
}

}  // namespace
