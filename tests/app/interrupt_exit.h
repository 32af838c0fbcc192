// How a process ends when the platform's usual interrupt ends it without a
// handler: exit code 0xC000013A on Windows, death by SIGINT on POSIX.
#pragma once

// For EXPECT_EXIT: true when `status` (as the death test reports it) is that
// end.
bool EndedByTheUsualInterrupt(int status);
