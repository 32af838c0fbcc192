// The console on Windows: the "chs" locale, text converted to code page 936
// by PathText (a character it cannot show becomes "?", and the rest of the
// text follows) and written as bytes, and the command processor's "pause".
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include "platform/console.h"
#include "platform/path_text.h"

namespace platform {

void SetConsoleLocale() {
    setlocale(LC_ALL, "chs");
}

void ConsoleWrite(const PathChar* text) {
    ConsoleWriteText(PathText(text));
}

void ConsoleWriteText(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
}

void ConsoleFlush() {
    fflush(stdout);
}

void PauseForKey() {
    fflush(stdout);  // the prompt comes after everything printed so far
    system("pause");
}

}  // namespace platform
