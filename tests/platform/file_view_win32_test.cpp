// The Windows view over a file cut after it was mapped: a page whose data
// the system cannot bring in fails the copy (ReadProcessMemory) instead of
// raising EXCEPTION_IN_PAGE_ERROR. Windows itself refuses to cut a file
// that has a mapped view, but a file on a server can be cut by another
// machine; under Wine the cut is made from the Linux side.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "platform/file_view.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileView;

// The file `path` cut to `size` bytes by Linux's truncate, when this runs
// under Wine; false elsewhere.
bool CutFromLinux(const PathString& path, uint32_t size) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const UnixName unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_name == nullptr) {
        return false;
    }
    char* name = unix_name(path.c_str());
    if (name == nullptr) {
        return false;
    }
    const std::string narrow(name);
    HeapFree(GetProcessHeap(), 0, name);
    std::wstring command = L"truncate -s " + std::to_wstring(size) + L" \"" +
                           std::wstring(narrow.begin(), narrow.end()) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\usr\\bin\\truncate", &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine's handle of a Linux process is not waited on: the size tells.
    for (int waited = 0; waited < 600; ++waited) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            data.nFileSizeHigh == 0 && data.nFileSizeLow == size) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

TEST(FileViewWin32Test, AFileCutAfterItWasMappedFailsTheCopyInsteadOfTheScan) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("cut.bin");
    const uint32_t size = 200000;
    testsupport::WriteFile(path, testsupport::PatternBytes(size, 5));
    File file;
    ASSERT_TRUE(file.Open(path.c_str(), platform::FileIntent::ExamineImage)) << file.Error();
    FileView view;
    ASSERT_TRUE(view.Map(file, size).Succeeded());
    uint8_t bytes[248];
    ASSERT_TRUE(view.Copy(150000, bytes, sizeof bytes)) << view.Error();
    if (!CutFromLinux(path, 0)) {
        GTEST_SKIP() << "the file cannot be cut under its view here (not Wine)";
    }
    // The first page, and a view of its own far into the file: neither can
    // be brought in any more.
    EXPECT_FALSE(view.Copy(0, bytes, 64));
    EXPECT_NE(0u, view.Error());
    EXPECT_FALSE(view.Copy(150000, bytes, sizeof bytes));
    EXPECT_NE(0u, view.Error());
}

}  // namespace
