// An open file, owned: one handle (Windows) or descriptor (POSIX), closed by
// the destructor. Each operation is one step of the system's file handling
// and reports failure with the OS's own error code, captured on the failing
// line (Error()).
#pragma once

#include <cstdint>

#include "platform/file_ref.h"
#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

// What a file is opened for; each backend opens it with its own flags.
// Windows (CreateFileW, OPEN_EXISTING):
//   ExamineImage    GENERIC_READ, every sharing, FILE_ATTRIBUTE_ARCHIVE,
//                   FILE_FLAG_BACKUP_SEMANTICS
//   CheckInfection  GENERIC_READ, every sharing, FILE_ATTRIBUTE_NORMAL,
//                   FILE_FLAG_BACKUP_SEMANTICS
//   (both also FILE_FLAG_OPEN_REPARSE_POINT, except for a file listed with a
//   reparse tag that is no link: a link put in the file's place is opened
//   as itself, and its target never read)
//   Repair          GENERIC_READ | GENERIC_WRITE, sharing reading only,
//                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT (without
//                   the flag, through the point, for a file listed with a reparse
//                   tag that is no link: file_ref.h)
// POSIX has no mandatory sharing: ExamineImage and CheckInfection open for
// reading (O_RDONLY), Repair for reading and writing (O_RDWR). (Tests that
// hold or change a file the scan is to meet open it their own way:
// tests/support/held_file.h.)
enum class FileIntent {
    ExamineImage,
    CheckInfection,
    Repair,
};

enum class SeekOrigin {
    Begin,  // FILE_BEGIN / SEEK_SET
    End,    // FILE_END / SEEK_END
};

// Why an open through a FileRef was refused; the OS's own codes of the
// nearest meaning, so that they print as any other failed open.
extern const OsError kErrorNotRegular;       // EINVAL: a FIFO, device, socket or folder
extern const OsError kErrorOtherFilesystem;  // EXDEV: not on the folder's filesystem
extern const OsError kErrorFileReplaced;     // ESTALE: not the file first opened
extern const OsError kErrorReparsePoint;     // Windows: ERROR_STOPPED_ON_SYMLINK (681)
// What a read or write that moved fewer bytes than asked is reported with
// by ReadExact and WriteExact: ERROR_HANDLE_EOF (38) on Windows, EIO on
// POSIX.
extern const OsError kErrorShortTransfer;
// What an open reports when another holder of the file shares it with no
// one of the intent: ERROR_SHARING_VIOLATION (32) on Windows, where the
// system keeps some files open so (the registry hives, the paging files);
// on POSIX, which has no mandatory sharing, ETXTBSY, never the answer to an
// open for reading.
extern const OsError kErrorSharingViolation;

class File {
  public:
    File() = default;
    File(File&& other) noexcept = default;
    File& operator=(File&& other) noexcept = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens the existing file `path` for `intent` (Windows: by its extended
    // form, path_forms.h). False on failure.
    bool Open(const PathChar* path, FileIntent intent);

    // Opens the file `ref` names, as file_ref.h describes (POSIX: relative to
    // its folder, no link followed, no blocking, a regular file on the
    // folder's filesystem, the same file as the first open through `ref`;
    // Windows: by path, and for Repair never through a reparse point; a
    // file the walk listed is opened for reading without a further query).
    // The refusals fail with kErrorNotRegular, kErrorOtherFilesystem,
    // kErrorFileReplaced or kErrorReparsePoint.
    bool Open(FileRef& ref, FileIntent intent);

    // The low 32 bits of the file's size. False when the size cannot be had;
    // 0xFFFFFFFF (INVALID_FILE_SIZE) counts as failure, as GetFileSize
    // without the high part reports it.
    bool SizeLow(uint32_t* size);

    // Moves the file position by a signed 32-bit distance from the origin.
    // A position before the start of the file fails.
    bool Seek(int32_t distance, SeekOrigin origin);

    // Reads up to `count` bytes at the current position. True when the read
    // call succeeded; like ReadFile, a read that delivers fewer bytes (end of
    // file) still succeeds. `*done` (optional) receives the count delivered.
    bool Read(void* buffer, uint32_t count, uint32_t* done = nullptr);

    // Writes `count` bytes at the current position. True when the write call
    // succeeded; `*done` (optional) receives the count written.
    bool Write(const void* buffer, uint32_t count, uint32_t* done = nullptr);

    // Read and Write that must move exactly `count` bytes: false also when
    // the call succeeded short, with Error() kErrorShortTransfer.
    bool ReadExact(void* buffer, uint32_t count);
    bool WriteExact(const void* buffer, uint32_t count);

    // Ends the file at the current position (SetEndOfFile / ftruncate).
    bool SetEnd();

    void Close() { handle_.Reset(); }

    // Test hook (builds with the tests only): takes over `native`, a handle
    // or descriptor the tests opened themselves.
    void AdoptForTesting(intptr_t native);
    bool IsOpen() const { return handle_.IsValid(); }

    // The OS error code of the last failed operation.
    OsError Error() const { return error_; }

    // The native handle or descriptor, for other platform services of the
    // same backend (file mapping). Opaque to the logic.
    intptr_t NativeHandle() const { return handle_.Get(); }

    // The handle's kind: INVALID_HANDLE_VALUE / -1 when closed; the backend
    // closes it.
    struct HandleTraits {
        using Value = intptr_t;
        static Value Invalid() { return -1; }
        static bool IsValid(Value value) { return value != -1; }
        static void Close(Value value);
    };

  private:
    ScopedHandle<HandleTraits> handle_;
    OsError error_ = 0;
    // The file position where the backend keeps it itself (POSIX reads and
    // writes with pread/pwrite at it); unused on Windows.
    int64_t position_ = 0;
};

}  // namespace platform
