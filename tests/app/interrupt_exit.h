// How a process ends when the platform's usual interrupt ends it without a
// handler: exit code 0xC000013A on Windows, death by SIGINT on POSIX.
#pragma once

// For EXPECT_EXIT: true when `status` (as the death test reports it) is that
// end.
bool EndedByTheUsualInterrupt(int status);

// True when `status` is the end of a run whose console closed: death by
// SIGPIPE on POSIX (the run ends its log, then takes SIGPIPE's default
// action, as the shell expects); Windows has its own end-to-end test.
bool EndedByAClosedConsole(int status);

// Makes standard output a pipe whose reading end is closed (POSIX), so that
// the next write to it fails with EPIPE. Nothing on Windows.
void CloseStandardOutputReader();
