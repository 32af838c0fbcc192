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

// Writes `text` to standard output without adding a line break: on Windows
// converted to code page 936 as PathText converts a path, the bytes as they
// are on POSIX.
void ConsoleWrite(const PathChar* text);

// Writes narrow text already in the console's encoding (a path's shown form
// from PathText) to standard output, without a line break. Where standard
// output is a file or pipe the bytes go out as they are (on Windows each
// line feed as CR LF); a Windows console is handed the same characters as
// UTF-16 (WriteConsoleW), so that it shows them whatever its code page.
void ConsoleWriteText(const std::string& text);

// Hands what was written so far to the system, so that a console captured
// in a file or pipe keeps it when the program is killed or hangs. On
// Windows a write that finds standard output a pipe whose reading end is
// gone records the interrupt "console closed" (NoteConsoleClosed); the text
// is dropped.
void ConsoleFlush();

// Writes narrow text in the console's encoding to standard error and hands
// it to the system at once, without adding a line break: the operator's
// lines beside the console's text. It takes the same forms as standard
// output's text (on Windows a console gets the characters as UTF-16, a file
// or pipe the bytes with each line feed as CR LF). A failed write is not
// reported.
void ErrorWriteText(const std::string& text);

// Waits for a key after showing "Press any key to continue . . . ": the
// command processor's "pause" on Windows. POSIX shows the same prompt and
// reads one key, returning at once when standard input is not a terminal or
// is at its end. The program asks for it only when standard output and
// standard input are both the console (platform/terminal.h).
void PauseForKey();

}  // namespace platform
