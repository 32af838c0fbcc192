// Gives back the original of a backup of the stand-in quarantine library
// (backup_format.h): the work of zqrestore.
#pragma once

#include <functional>
#include <string>

#include "platform/types.h"

namespace druquara {

// Each outcome is also zqrestore's exit code.
enum class RestoreStatus {
    Restored = 0,
    BackupRefused = 1,  // unreadable, not a backup, an unknown format or damaged
    Usage = 2,
    OutExists = 3,  // nothing written
    OutFailed = 4,  // OUT could not be written; nothing left there
};

struct RestoreOutcome {
    RestoreStatus status = RestoreStatus::BackupRefused;
    std::string message;  // one line for the user, without its line end
};

// Checks the whole backup first (header, body length, MD5 of the restored
// bytes), then creates `out`, which must not exist, and writes the original
// into it, checking it again as it goes. `out` is never an existing file
// overwritten; when anything fails after it was created, it is removed.
RestoreOutcome RestoreBackup(const PathChar* backup, const PathChar* out);

// Test hook (builds with the tests only): `between` runs in RestoreBackup
// after the backup has been checked through and before `out` is made and
// written (an empty function: nothing).
void SetBetweenPassesForTesting(std::function<void()> between);
void RunBetweenPassesForTesting();

// Where zqrestore's text goes, as UTF-8 with its line ends: `out` takes the
// outcome of a restore, `error` every other outcome and the usage.
struct RestoreOutput {
    std::function<void(const std::string& text)> out;
    std::function<void(const std::string& text)> error;
};

// zqrestore's command line: "zqrestore BACKUP OUT". Prints the outcome
// through `output` and returns the exit code. The form without `output`
// writes the UTF-8 bytes to standard output and standard error as they are
// (POSIX); on Windows the program hands them to its console writer
// instead, which a console of any code page shows.
int RestoreMain(int argc, PathChar** argv, const RestoreOutput& output);
int RestoreMain(int argc, PathChar** argv);

}  // namespace druquara
