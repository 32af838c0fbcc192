// platform::FileView on POSIX: no mapping. The first page is read with one
// pread when the view is made (the headers a scan looks at nearly always lie
// there); other bytes are read when asked. Bytes past the end of the file
// read as zero, as in a mapped page; unlike a mapping, a file that shrinks
// meanwhile gives zeros instead of a fault.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "platform/bounds.h"
#include "platform/fault_seam.h"
#include "platform/file_view.h"

namespace platform {

const OsError kErrorNoMemory = ENOMEM;

bool IsResourceError(OsError code) {
    return code == ENOMEM || code == EAGAIN || code == ENOBUFS || code == ENFILE || code == EMFILE;
}

struct FileView::State {
    int fd = -1;
    uint64_t size_low = 0;     // where the file ends, as far as the view knows
    uint32_t head_length = 0;  // bytes of `head` that hold the view's first page
    uint8_t head[FileView::kPageSize];
};

namespace {

// Reads up to `count` bytes at `offset`, zero-filling what lies past the end.
// A short read that reaches `known_end` (the file's size as given to the
// view) is taken as the end without asking again; otherwise the reading
// goes on until the system reports the end.
bool ReadAt(int fd, uint64_t offset, uint8_t* out, uint32_t count, uint64_t known_end,
            OsError* error) {
    uint32_t total = 0;
    while (total < count) {
        const ssize_t got =
            pread(fd, out + total, count - total, static_cast<off_t>(offset + total));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = static_cast<OsError>(errno);
            return false;
        }
        if (got == 0) {
            break;
        }
        const bool short_read = static_cast<uint32_t>(got) < count - total;
        total += static_cast<uint32_t>(got);
        if (short_read && offset + total >= known_end) {
            break;
        }
    }
    memset(out + total, 0, count - total);
    return true;
}

}  // namespace

FileView::FileView() = default;
FileView::~FileView() {
    Unmap();
}

StepResult<ViewStep> FileView::Map(const File& file, uint32_t size_low) {
    using Result = StepResult<ViewStep>;
    Unmap();
    // No mapping here; the injected faults of the mapping and the view
    // steps stand at the same places as on Windows.
    const fault::Verdict map_fault = fault::Hit(fault::Op::Map);
    if (map_fault.effect == fault::Effect::Fail) {
        return Result::Failed(ViewStep::Mapping, map_fault.code);
    }
    const fault::Verdict view_fault = fault::Hit(fault::Op::View);
    if (view_fault.effect == fault::Effect::Fail) {
        return Result::Failed(ViewStep::View, view_fault.code);
    }
    std::unique_ptr<State> state(new State());
    state->fd = static_cast<int>(file.NativeHandle());
    state->size_low = size_low;
    uint64_t length = (static_cast<uint64_t>(size_low) + kPageSize - 1) / kPageSize * kPageSize;
    if (view_fault.effect == fault::Effect::Short && view_fault.bytes < length) {
        length = view_fault.bytes;  // as if fewer pages had been mapped
    }
    state->head_length = static_cast<uint32_t>(length < kPageSize ? length : kPageSize);
    OsError read_error = 0;
    if (!ReadAt(state->fd, 0, state->head, state->head_length, state->size_low, &read_error)) {
        return Result::Failed(ViewStep::View, read_error);
    }
    state_ = std::move(state);
    length_ = length;
    return Result();
}

bool FileView::Holds(uint64_t offset, uint32_t count) const {
    return state_ && FitsWithin(offset, count, state_->head_length);
}

bool FileView::Copy(uint64_t offset, void* out, uint32_t count) {
    const fault::Verdict read_fault = fault::Hit(fault::Op::View);
    if (read_fault.effect == fault::Effect::Fail) {
        error_ = read_fault.code;
        return false;
    }
    if (FitsWithin(offset, count, state_->head_length)) {
        memcpy(out, state_->head + offset, count);
        return true;
    }
    return ReadAt(state_->fd, offset, static_cast<uint8_t*>(out), count, state_->size_low, &error_);
}

void FileView::Unmap() {
    state_.reset();
    length_ = 0;
}

}  // namespace platform
