#include "interrupt_exit.h"

bool EndedByTheUsualInterrupt(int status) {
    return static_cast<unsigned>(status) == 0xC000013Au;  // STATUS_CONTROL_C_EXIT
}
