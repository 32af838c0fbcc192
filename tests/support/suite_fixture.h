// What the quarantine tests need from the machine, one implementation per
// OS: the suite's registry key (the real registry on Windows, a key file in
// a temporary folder on POSIX), whether a library is loaded in this process,
// and the codes each OS reports.
#pragma once

#include <string>

#include "platform/types.h"

namespace quarantinetest {

// Owns the suite's key "SOFTWARE\Morlane\QRVCommon" for one test: absent at
// construction, removed again at destruction.
class SuiteRegistry {
  public:
    SuiteRegistry();
    ~SuiteRegistry();
    SuiteRegistry(const SuiteRegistry&) = delete;
    SuiteRegistry& operator=(const SuiteRegistry&) = delete;

    // Creates the key with no "ProgramPath" value.
    void CreateKey();
    // Stores "ProgramPath" as a string with its terminator (REG_SZ; a
    // `ProgramPath=` line on POSIX).
    void SetInstallPath(const PathString& path);
    // Stores "ProgramPath" as exactly the path's characters, without a
    // terminator (on POSIX every value is stored so).
    void SetInstallPathWithoutTerminator(const PathString& path);
    // False when the machine already had the key (a real suite): the test
    // must not touch it.
    bool Usable() const { return usable_; }

  private:
    bool usable_ = true;
};

// Whether the library at `path` is loaded in this process.
bool IsLibraryLoaded(const PathString& path);

// A path the build hands over (a compile definition) as a path of this
// process (Wine runs Windows programs with the build's paths on drive Z:).
PathString BuildPath(const char* path);

// Codes in the log lines: the load of a missing library (ERROR_MOD_NOT_FOUND
// / ENOENT), the load of an empty path (ERROR_INVALID_NAME / ENOENT) and the
// lookup of a missing export (ERROR_PROC_NOT_FOUND / ENOSYS).
extern const int kLibraryMissingCode;
extern const int kNothingToLoadCode;
extern const int kExportMissingCode;

}  // namespace quarantinetest
