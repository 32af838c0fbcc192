// The first page of several files read at once, for the walk's readers: on
// Linux through an io_uring of the reader's own, one submission for a batch
// of files, each file a linked chain open (into a registered slot, so no
// descriptor of the process's is taken) -> posix_fadvise(RANDOM) (a cold
// disk reads no more than asked) -> read of the first page -> close. Windows
// has no such ring: its backend never starts, and each file takes the
// per-file path (File, FileView).
//
// The batch only ever reads: every open it makes is the open for reading
// that File::Open makes for the image test (relative to the folder's open
// descriptor, never following a link, never blocking). Whatever did not go
// plainly (an open or a read that failed, a read cut short) is left to the
// caller's per-file path, which meets the same case again and reports it
// as it always has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file_ref.h"
#include "platform/types.h"

namespace platform {

class PageBatch {
  public:
    static constexpr uint32_t kPageBytes = 4096;
    static constexpr size_t kMostFiles = 16;

    // One file of a batch.
    struct Page {
        const FileRef* ref = nullptr;  // a listed file (DirSearch::Locate)
        uint8_t* bytes = nullptr;      // room for `length` bytes
        uint32_t length = kPageBytes;  // the bytes to read from the start, at most a page
        // Out: the page was read: `got` bytes, zeros after them up to
        // `length`. A page not read is left to the per-file path.
        bool read = false;
        uint32_t got = 0;
    };

    // Whether a ring can be set up here at all (one made and closed again).
    static bool Available();

    PageBatch();
    ~PageBatch();
    PageBatch(const PageBatch&) = delete;
    PageBatch& operator=(const PageBatch&) = delete;

    // Sets the ring up. False when the system has none or refuses it (no
    // io_uring, io_uring_disabled, a seccomp profile that forbids it, a
    // kernel without one of the operations or registered slots; always on
    // Windows): the caller reads each file on its own.
    bool Start();
    bool Started() const;

    // Reads the first page of at most kMostFiles files. False when the
    // ring failed as a whole or refused an operation (ENOSYS, EPERM,
    // EINVAL, EOPNOTSUPP): it is then stopped, and every page it did not
    // read is the caller's.
    bool Read(Page* pages, size_t count);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
