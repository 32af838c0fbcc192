// The console: text on standard output, the locale that converts it, and
// the closing "press a key" pause.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform {

// Sets the locale of every category: "chs" on Windows (wide text, paths
// included, is converted through code page 936 for the console); the user's
// own locale on POSIX. The result is not examined.
void SetConsoleLocale();

// Writes `text` to standard output without adding a line break: wide text
// converted through the locale on Windows, the bytes as they are on POSIX.
void ConsoleWrite(const PathChar* text);

// Writes narrow text already in the console's encoding (a path's shown form
// from PathText) to standard output, byte for byte, without a line break.
void ConsoleWriteText(const std::string& text);

// Hands what was written so far to the system, so that a console captured
// in a file or pipe keeps it when the program is killed or hangs.
void ConsoleFlush();

// Waits for a key after showing "Press any key to continue . . . ": the
// command processor's "pause" on Windows. POSIX shows the same prompt and
// reads one key, returning at once when standard input is not a terminal or
// is at its end.
void PauseForKey();

}  // namespace platform
