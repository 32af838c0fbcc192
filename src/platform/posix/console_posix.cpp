// The console on POSIX: the user's locale, bytes to standard output, and a
// pause that reads one key from a terminal.
#include <errno.h>
#include <locale.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/interrupt.h"

namespace platform {

namespace {

// One key, without waiting for Enter and without echo, as "pause" does; the
// end of input counts as a key.
void ReadOneKey() {
    struct termios saved;
    const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        struct termios single = saved;
        single.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        single.c_cc[VMIN] = 1;
        single.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &single);
    }
    char key = 0;
    const ssize_t got = read(STDIN_FILENO, &key, 1);
    (void)got;  // a key, the end of input or a failure all end the pause
    if (raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
}

// A write to a pipe or terminal that is gone fails with EPIPE (SIGPIPE is
// ignored while the scan watches its interrupts): the scan ends as
// interrupted, with its log complete.
void NoteFailure(bool failed) {
    if (failed && errno == EPIPE) {
        NoteConsoleClosed();
    }
}

}  // namespace

void SetConsoleLocale() {
    setlocale(LC_ALL, "");
}

void ConsoleWrite(const PathChar* text) {
    NoteFailure(fputs(text, stdout) == EOF);
}

void ConsoleWriteText(const std::string& text) {
    NoteFailure(fwrite(text.data(), 1, text.size(), stdout) != text.size());
}

void ConsoleFlush() {
    NoteFailure(fflush(stdout) != 0);
}

void ErrorWriteText(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stderr);
    fflush(stderr);
}

void PauseForKey() {
    fputs("Press any key to continue . . . ", stdout);
    fflush(stdout);
    if (isatty(STDIN_FILENO)) {
        ReadOneKey();
    }
    fputs("\n", stdout);
    fflush(stdout);
}

}  // namespace platform
