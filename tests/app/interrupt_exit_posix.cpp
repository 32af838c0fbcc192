// How a process ends when SIGINT, the usual interrupt on POSIX, ends it.
#include <signal.h>
#include <sys/wait.h>

#include "interrupt_exit.h"

bool EndedByTheUsualInterrupt(int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
}
