// The console on Windows: the "chs" locale, text in code page 936 (paths
// converted by PathText: a character it cannot show becomes "?", and the
// rest of the text follows), held until ConsoleFlush and then handed to
// standard output, and the command processor's "pause".
//
// Where standard output goes decides how the text is written:
// - a console (GetConsoleMode succeeds on it): as UTF-16 with WriteConsoleW,
//   the characters of the code page 936 text, which the console then shows
//   whatever its own code page;
// - anything else (a file, a pipe, the null device): the code page 936
//   bytes with WriteFile, each line feed written as CR LF, byte for byte
//   what the runtime's text-mode stdout wrote before.
// A write to a pipe whose reading end is gone fails with ERROR_NO_DATA (a
// pipe being closed), ERROR_BROKEN_PIPE or ERROR_PIPE_NOT_CONNECTED (what
// Wine reports): the console is closed, and the scan is told so
// (NoteConsoleClosed) and ends as interrupted.
#include <windows.h>

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/path_text.h"

namespace platform {

namespace {

constexpr UINT kChsCodePage = 936;
// Text held beyond this is handed on before the next flush, as a runtime's
// stream buffer would be.
constexpr size_t kHeldBytes = 4096;
// Characters per WriteConsoleW call: older consoles refuse one large write
// (the buffer is passed through a shared heap of 64 KiB).
constexpr size_t kConsoleChunk = 8192;

bool IsClosedPipe(DWORD error) {
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

// The UTF-16 form of code page 936 text: what the console shows.
std::wstring FromChs(const std::string& text) {
    std::wstring wide;
    if (text.empty()) {
        return wide;
    }
    // At most one UTF-16 unit per byte.
    wide.resize(text.size());
    int done = MultiByteToWideChar(kChsCodePage, 0, text.data(), static_cast<int>(text.size()),
                                   &wide[0], static_cast<int>(wide.size()));
    if (done <= 0) {
        // No code page 936 on this system (PathText then wrote ASCII and
        // "?" only): ASCII as it is, anything else "?".
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char byte = static_cast<unsigned char>(text[i]);
            wide[i] = byte < 0x80 ? static_cast<wchar_t>(byte) : L'?';
        }
        done = static_cast<int>(text.size());
    }
    wide.resize(static_cast<size_t>(done));
    return wide;
}

bool WriteToConsole(HANDLE console, const std::string& text) {
    const std::wstring wide = FromChs(text);
    size_t done = 0;
    while (done < wide.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min(kConsoleChunk, wide.size() - done));
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool WriteToFile(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// The text accepted and not yet handed to standard output, with its line
// feeds already CR LF. Written by the scan's thread only; what is left at
// exit is handed on then.
class HeldOutput {
  public:
    HeldOutput() = default;
    ~HeldOutput() { Flush(); }
    HeldOutput(const HeldOutput&) = delete;
    HeldOutput& operator=(const HeldOutput&) = delete;

    void Append(const std::string& text) {
        for (const char c : text) {
            if (c == '\n') {
                held_ += '\r';
            }
            held_ += c;
        }
        if (held_.size() >= kHeldBytes) {
            Flush();
        }
    }

    // Hands the text on, whole lines and all, in one write where the system
    // takes it so. The text is dropped whatever happens: a destination that
    // refuses it will not take it later either.
    void Flush() {
        if (held_.empty()) {
            return;
        }
        // Asked each time: a caller (a test capturing the output) may have
        // pointed standard output elsewhere since.
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        const bool written =
            GetConsoleMode(out, &mode) ? WriteToConsole(out, held_) : WriteToFile(out, held_);
        const DWORD error = written ? ERROR_SUCCESS : GetLastError();
        held_.clear();
        if (!written && IsClosedPipe(error)) {
            NoteConsoleClosed();
        }
    }

  private:
    std::string held_;
};

HeldOutput& Held() {
    static HeldOutput held;
    return held;
}

}  // namespace

void SetConsoleLocale() {
    setlocale(LC_ALL, "chs");
}

void ConsoleWrite(const PathChar* text) {
    Held().Append(PathText(text));
}

void ConsoleWriteText(const std::string& text) {
    Held().Append(text);
}

void ConsoleFlush() {
    Held().Flush();
}

void ErrorWriteText(const std::string& text) {
    std::string bytes;
    for (const char c : text) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    // What the runtime's stderr holds first (nothing of the program's own).
    fflush(stderr);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;  // no standard error at all
    }
    if (GetConsoleMode(error, &mode)) {
        WriteToConsole(error, bytes);
    } else {
        WriteToFile(error, bytes);
    }
}

void PauseForKey() {
    // The prompt comes after everything printed so far.
    Held().Flush();
    fflush(stdout);
    system("pause");
}

}  // namespace platform
