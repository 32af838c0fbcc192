// How a process ends when Ctrl+C, the usual interrupt on Windows, ends it.
#include "interrupt_exit.h"

bool EndedByTheUsualInterrupt(int status) {
    return static_cast<unsigned>(status) == 0xC000013Au;  // STATUS_CONTROL_C_EXIT
}

bool EndedByAClosedConsole(int /*status*/) {
    return false;
}

void CloseStandardOutputReader() {}
