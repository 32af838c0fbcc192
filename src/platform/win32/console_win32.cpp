// The console on Windows: the "chs" locale, wide text through the runtime's
// wide output (converted through the locale's code page on a byte stream),
// and the command processor's "pause".
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include "platform/console.h"

namespace platform {

void SetConsoleLocale() {
    setlocale(LC_ALL, "chs");
}

void ConsoleWrite(const PathChar* text) {
    wprintf(L"%ls", text);
}

void PauseForKey() {
    fflush(stdout);  // the prompt comes after everything printed so far
    system("pause");
}

}  // namespace platform
