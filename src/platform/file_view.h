// A read-only view of a whole open file. The view covers the file's bytes
// and, up to the end of its last page of 4096 bytes, zeros after the end.
// Windows maps the file (CreateFileMappingW PAGE_READONLY) but views only
// what is read (MapViewOfFile FILE_MAP_READ: the first page, and a small view
// of its own for bytes beyond it), so the address space it takes does not
// grow with the file; POSIX reads the asked bytes with pread and fills what
// lies past the end of the file with zeros, which gives the same bytes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file.h"
#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

// The code of a mapping or view refused for want of memory (Windows
// ERROR_NOT_ENOUGH_MEMORY, 8; POSIX ENOMEM).
extern const OsError kErrorNoMemory;

// Whether a failed mapping or view failed for want of the system's
// resources (memory, address space, commit, handles), which another try may
// find free once others have given theirs back, rather than for the file's
// or the disk's sake (an in-page error, a failed read), which a second try
// would only wait through again. Windows: 8, 14, 1450, 1455; POSIX: ENOMEM,
// EAGAIN, ENOBUFS, ENFILE, EMFILE.
bool IsResourceError(OsError code);

enum class ViewStep {
    None,
    Mapping,  // CreateFileMappingW
    View,     // MapViewOfFile (POSIX: reading the view's bytes)
};

class FileView {
  public:
    static constexpr uint64_t kPageSize = 4096;

    FileView();
    // Releases the view, then the mapping.
    ~FileView();
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    // Maps the whole of `file`, whose size (low 32 bits) is `size_low`.
    StepResult<ViewStep> Map(const File& file, uint32_t size_low);

    // The view's length: `size_low` rounded up to a whole page, and on
    // Windows never more than the pages really mapped (a file shortened
    // after its size was queried maps fewer).
    uint64_t Length() const { return length_; }

    // Copies `count` bytes at `offset` of the view. The caller has checked
    // that they lie within Length(). False, with Error(), when the bytes
    // cannot be read: POSIX a failed read; Windows a view that cannot be
    // mapped, or a page whose data the system cannot bring in (read through
    // ReadProcessMemory, so a disk error or a file cut on its server fails
    // the copy instead of raising EXCEPTION_IN_PAGE_ERROR).
    bool Copy(uint64_t offset, void* out, uint32_t count);

    // Whether the view already holds the `count` bytes at `offset`, so that
    // Copy takes them without mapping or reading more (Windows: within the
    // first page's view; POSIX: within the first page read when it was made).
    bool Holds(uint64_t offset, uint32_t count) const;

    // Releases the view and the mapping (done by the destructor too).
    void Unmap();

    // The OS code of the last failed Copy.
    OsError Error() const { return error_; }

  private:
    struct State;
    std::unique_ptr<State> state_;
    uint64_t length_ = 0;
    OsError error_ = 0;
};

}  // namespace platform
