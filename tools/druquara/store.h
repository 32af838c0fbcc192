// The operating-system services of the stand-in quarantine library and its
// restore program: where the library lies, folders, reading the original
// file, creating a copy that never replaces an existing file, and the
// thread's error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace druquara {

// The folder holding this library, without a trailing separator; empty when
// it cannot be found.
PathString LibraryFolder();

// Makes `folder` if it is not there yet. False when it neither exists nor
// could be made.
bool MakeFolder(const PathString& folder);

// Deletes a file; the result is ignored.
void RemoveFile(const PathString& path);

// The local time as "YYYY-MM-DD HH:MM:SS" and as "YYYYMMDD-HHMMSS" (for
// file names).
void LocalTimeTexts(std::string* readable, std::string* compact);

// A path or name as UTF-8 (Windows converts its UTF-16; POSIX passes bytes).
std::string ToUtf8(const PathChar* text);
PathString FromAscii(const std::string& text);

// The calling thread's last error code (GetLastError(); errno), and setting it.
uint32_t ThreadError();
void SetThreadError(uint32_t code);

// An existing file opened for reading, closed by the destructor.
class SourceFile {
  public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    bool Open(const PathChar* path);
    // Reads up to `capacity` bytes; `*got` 0 at the end of the file.
    bool Read(void* buffer, size_t capacity, size_t* got);

  private:
    intptr_t handle_ = -1;
};

enum class CreateResult { Created, Exists, Failed };

// A new file, created only when no file of that name exists; closed by the
// destructor.
class NewFile {
  public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    CreateResult Create(const PathString& path);
    bool Write(const void* data, size_t length);
    // Writes all of `data` at `offset` from the start; called after the last
    // Write (where a later Write would continue is the system's choice).
    bool WriteAt(uint64_t offset, const void* data, size_t length);
    // Flushes the file to the disk and closes it.
    bool Commit();

  private:
    intptr_t handle_ = -1;
};

}  // namespace druquara
