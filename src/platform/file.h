// An open file, owned: one handle (Windows) or descriptor (POSIX), closed by
// the destructor. Each operation is one step of the system's file handling
// and reports failure with the OS's own error code, captured on the failing
// line (Error()).
#pragma once

#include <cstdint>

#include "platform/file_ref.h"
#include "platform/types.h"

namespace platform {

enum class FileAccess {
    Read,       // GENERIC_READ / O_RDONLY
    ReadWrite,  // GENERIC_READ | GENERIC_WRITE / O_RDWR
};

// Sharing granted to other openers (Windows' FILE_SHARE_* bits; POSIX has no
// mandatory sharing and ignores them).
enum FileShare : uint32_t {
    kShareRead = 1,
    kShareWrite = 2,
    kShareDelete = 4,
    kShareAll = 7,
};

// The attributes passed at open (FILE_ATTRIBUTE_NORMAL 0x80 or
// FILE_ATTRIBUTE_ARCHIVE 0x20); they do not change an existing file.
enum class FileAttribute {
    Normal,
    Archive,
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

class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file (OPEN_EXISTING). False on failure.
    bool Open(const PathChar* path, FileAccess access, uint32_t share, FileAttribute attribute);

    // Opens the file `ref` names, as file_ref.h describes (POSIX: relative to
    // its folder, no link followed, no blocking, a regular file on the
    // folder's filesystem, the same file as the first open through `ref`;
    // Windows: by path, and for ReadWrite never through a reparse point).
    // The refusals fail with kErrorNotRegular, kErrorOtherFilesystem,
    // kErrorFileReplaced or kErrorReparsePoint.
    bool Open(FileRef& ref, FileAccess access, uint32_t share, FileAttribute attribute);

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

    void Close();
    bool IsOpen() const;

    // The OS error code of the last failed operation.
    OsError Error() const { return error_; }

    // The native handle or descriptor, for other platform services of the
    // same backend (file mapping). Opaque to the logic.
    intptr_t NativeHandle() const { return handle_; }

  private:
    intptr_t handle_ = -1;  // INVALID_HANDLE_VALUE / -1 when closed
    OsError error_ = 0;
    // The file position where the backend keeps it itself (POSIX reads and
    // writes with pread/pwrite at it); unused on Windows.
    int64_t position_ = 0;
};

}  // namespace platform
