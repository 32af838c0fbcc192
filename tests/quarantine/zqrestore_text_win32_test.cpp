// zqrestore's lines on Windows go through the scan's console writer: a path
// with characters outside ASCII reaches a file or pipe in code page 936, as
// the scan's own console text does (a console is handed the characters as
// UTF-16), never as UTF-8 bytes that a 936 or 437 console shows garbled.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/suite_fixture.h"
#include "support/temp_dir.h"

namespace {

using quarantinetest::BuildPath;

// Runs zqrestore with `backup` and `out`; its standard error's bytes.
std::string StandardErrorOf(const std::wstring& backup, const std::wstring& out, DWORD* code) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe: " << GetLastError();
        return std::string();
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    const std::wstring program = BuildPath(ZQ_ZQRESTORE);
    std::wstring command = L"\"" + program + L"\" \"" + backup + L"\" \"" + out + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(write_end);
    std::string text;
    if (!started) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
        CloseHandle(read_end);
        return text;
    }
    char buffer[4096];
    DWORD got = 0;
    for (int reads = 0;
         reads < 64 && ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0;
         ++reads) {
        text.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(read_end);
    return text;
}

TEST(ZqrestoreTextTest, APathOutsideAsciiIsWrittenAsTheConsoleWriterWritesIt) {
    testsupport::TempDir dir;
    // "病毒" (virus): code page 936 gives B2 A1 B6 BE, UTF-8 E7 97 85 E6 AF 92.
    const std::wstring backup = dir.Path().native() + L"\\\x75c5\x6bd2.quar";
    DWORD code = 0;
    const std::string text = StandardErrorOf(backup, dir.Path().native() + L"\\out.exe", &code);
    EXPECT_EQ(1u, code);  // the backup is refused: it does not exist
    EXPECT_NE(std::string::npos, text.find("\xb2\xa1\xb6\xbe.quar")) << text;
    EXPECT_EQ(std::string::npos, text.find("\xe7\x97\x85\xe6\xaf\x92")) << text;
    EXPECT_EQ(0u, text.rfind("zqrestore: cannot open", 0)) << text;
    EXPECT_NE(std::string::npos, text.find("\r\n")) << text;
}

}  // namespace
