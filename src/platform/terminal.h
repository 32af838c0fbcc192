// Whether a standard stream is the operator's terminal: on POSIX a terminal
// device (isatty), on Windows the console (a console handle). A file, a
// pipe or the null device is none, also where the C runtime calls the null
// device a character device.
#pragma once

namespace platform {

enum class StdStream { Input, Output, Error };

bool IsTerminal(StdStream stream);

}  // namespace platform
