// Whether a standard stream is the operator's terminal: on POSIX a terminal
// device (isatty), on Windows the console (a console handle). A file, a
// pipe or the null device is none, also where the C runtime calls the null
// device a character device.
#pragma once

namespace platform {

enum class StdStream { Input, Output, Error };

bool IsTerminal(StdStream stream);

// Whether standard output and standard error reach the same place, so that
// text on one continues the line the other left open: both the terminal
// (console), or the same file (POSIX: the same device and inode; Windows:
// the same disk file by volume serial and file index). Pipes and devices
// that cannot be told apart count as different.
bool OutputSharedWithError();

}  // namespace platform
