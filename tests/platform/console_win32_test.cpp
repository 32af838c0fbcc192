// The console on Windows: redirected output keeps the code page 936 bytes
// (line feeds as CR LF) and leaves only at a flush; a console is handed the
// characters, which it shows whatever its code page; a pipe whose reader is
// gone is the interrupt "console closed". CTest runs this program on a
// pseudo-terminal, where Wine gives it a console.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/console.h"
#include "platform/interrupt.h"

namespace {

// "Path:C:\中文 niño.exe<TAB>Result:Safe<LF>" as the scan writes it: the
// path in its shown form (code page 936, "?" for the "ñ" it lacks).
const std::string kShownPath = "C:\\\xd6\xd0\xce\xc4 ni?o.exe";
const std::wstring kShownPathChars = L"C:\\\x4e2d\x6587 ni?o.exe";

void WriteResultLine() {
    platform::ConsoleWrite(L"Path:");
    platform::ConsoleWriteText(kShownPath);
    platform::ConsoleWrite(L"\tResult:Safe\n");
}

// Standard output pointed at something else for one test, and back.
class StdoutSwap {
  public:
    explicit StdoutSwap(HANDLE replacement) : saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {
        SetStdHandle(STD_OUTPUT_HANDLE, replacement);
    }
    ~StdoutSwap() { SetStdHandle(STD_OUTPUT_HANDLE, saved_); }
    StdoutSwap(const StdoutSwap&) = delete;
    StdoutSwap& operator=(const StdoutSwap&) = delete;

  private:
    HANDLE saved_;
};

class Pipe {
  public:
    Pipe() { EXPECT_TRUE(CreatePipe(&read_, &write_, nullptr, 1 << 16)); }
    ~Pipe() {
        CloseReadEnd();
        CloseHandle(write_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    HANDLE WriteEnd() const { return write_; }
    void CloseReadEnd() {
        if (read_ != nullptr) {
            CloseHandle(read_);
            read_ = nullptr;
        }
    }
    // Everything in the pipe now.
    std::string Available() {
        DWORD waiting = 0;
        EXPECT_TRUE(PeekNamedPipe(read_, nullptr, 0, nullptr, &waiting, nullptr));
        std::string bytes(waiting, '\0');
        DWORD got = 0;
        if (waiting > 0) {
            EXPECT_TRUE(ReadFile(read_, &bytes[0], waiting, &got, nullptr));
        }
        bytes.resize(got);
        return bytes;
    }

  private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
};

TEST(ConsoleWin32, RedirectedOutputKeepsItsBytesAndLeavesAtTheFlush) {
    Pipe pipe;
    StdoutSwap swap(pipe.WriteEnd());
    platform::ConsoleWrite(L"Start Scanning...");
    WriteResultLine();
    EXPECT_EQ(pipe.Available(), "") << "handed on before the flush";
    platform::ConsoleFlush();
    EXPECT_EQ(pipe.Available(), "Start Scanning...Path:" + kShownPath + "\tResult:Safe\r\n");
    platform::ConsoleFlush();
    EXPECT_EQ(pipe.Available(), "");
    EXPECT_FALSE(platform::InterruptRequested());
}

// Only a pipe without a reader closes the console: output that cannot be
// written for another reason (no standard output at all) is dropped, and
// the scan goes on.
TEST(ConsoleWin32, APipeWithoutItsReaderIsTheInterruptConsoleClosed) {
    {
        StdoutSwap swap(nullptr);
        WriteResultLine();
        platform::ConsoleFlush();
        EXPECT_FALSE(platform::InterruptRequested());
    }
    Pipe pipe;
    StdoutSwap swap(pipe.WriteEnd());
    WriteResultLine();
    platform::ConsoleFlush();
    EXPECT_FALSE(platform::InterruptRequested());
    pipe.CloseReadEnd();
    WriteResultLine();
    platform::ConsoleFlush();
    EXPECT_TRUE(platform::InterruptRequested());
    EXPECT_STREQ(platform::InterruptName(), "console closed");
    // Later text is dropped the same way; the first interrupt stays.
    WriteResultLine();
    platform::ConsoleFlush();
    EXPECT_STREQ(platform::InterruptName(), "console closed");
    platform::ForgetInterrupt();
}

// A console shows the characters the log holds, also where its code page
// is not 936 (the system's OEM code page, 437 here): written as bytes,
// "中文" would show as four other characters.
TEST(ConsoleWin32, AConsoleShowsTheCharactersWhateverItsCodePage) {
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(console, &mode)) << "no console: run on a terminal";
    const UINT saved_code_page = GetConsoleOutputCP();
    ASSERT_TRUE(SetConsoleOutputCP(437));
    platform::ConsoleWrite(L"\n");
    platform::ConsoleFlush();
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    const COORD line_start = {0, info.dwCursorPosition.Y};
    platform::ConsoleWrite(L"Path:");
    platform::ConsoleWriteText(kShownPath);
    platform::ConsoleFlush();

    const std::wstring expected = L"Path:" + kShownPathChars;
    std::wstring shown(expected.size(), L'\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, &shown[0], static_cast<DWORD>(shown.size()),
                                            line_start, &got));
    shown.resize(got);
    platform::ConsoleWrite(L"\n");
    platform::ConsoleFlush();
    SetConsoleOutputCP(saved_code_page);
    EXPECT_EQ(shown, expected);
}

}  // namespace
