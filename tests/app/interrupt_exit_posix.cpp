// How a process ends when SIGINT, the usual interrupt on POSIX, ends it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "interrupt_exit.h"

bool EndedByTheUsualInterrupt(int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
}

bool EndedByAClosedConsole(int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE;
}

void CloseStandardOutputReader() {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
    close(ends[1]);
}
