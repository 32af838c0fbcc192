// platform::FileView on Win32: CreateFileMappingW (PAGE_READONLY, the whole
// file) and MapViewOfFile (FILE_MAP_READ, the whole mapping); released with
// UnmapViewOfFile and CloseHandle, in that order. The view's length is what
// was really mapped (VirtualQuery of the view), capped by the size the caller
// queried: another process may shorten the file (opened with full sharing)
// between the size query and the mapping, which then ends earlier.
#include <windows.h>

#include <string.h>

#include "platform/fault_seam.h"
#include "platform/file_view.h"

namespace platform {

struct FileView::State {
    HANDLE mapping = nullptr;
    const uint8_t* view = nullptr;
};

FileView::FileView() = default;
FileView::~FileView() {
    Unmap();
}

bool FileView::Map(const File& file, uint32_t size_low) {
    Unmap();
    std::unique_ptr<State> state(new State());
    const fault::Verdict map_fault = fault::Hit(fault::Op::Map);
    if (map_fault.effect == fault::Effect::Fail) {
        error_ = map_fault.code;
        failed_step_ = ViewStep::Mapping;
        return false;
    }
    state->mapping = CreateFileMappingW(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr,
                                        PAGE_READONLY, 0, 0, nullptr);
    if (state->mapping == nullptr) {
        error_ = GetLastError();
        failed_step_ = ViewStep::Mapping;
        return false;
    }
    const fault::Verdict view_fault = fault::Hit(fault::Op::View);
    if (view_fault.effect == fault::Effect::Fail) {
        error_ = view_fault.code;
        failed_step_ = ViewStep::View;
        CloseHandle(state->mapping);
        return false;
    }
    state->view =
        static_cast<const uint8_t*>(MapViewOfFile(state->mapping, FILE_MAP_READ, 0, 0, 0));
    if (state->view == nullptr) {
        error_ = GetLastError();
        failed_step_ = ViewStep::View;
        CloseHandle(state->mapping);
        return false;
    }
    MEMORY_BASIC_INFORMATION region;
    uint64_t mapped = 0;
    if (VirtualQuery(state->view, &region, sizeof region) == sizeof region) {
        mapped = region.RegionSize;
    }
    if (view_fault.effect == fault::Effect::Short && view_fault.bytes < mapped) {
        mapped = view_fault.bytes;  // as if fewer pages had been mapped
    }
    state_ = std::move(state);
    const uint64_t asked =
        (static_cast<uint64_t>(size_low) + kPageSize - 1) / kPageSize * kPageSize;
    // A view whose extent cannot be had is taken as empty: nothing is read.
    length_ = mapped < asked ? mapped : asked;
    return true;
}

bool FileView::Copy(uint64_t offset, void* out, uint32_t count) {
    memcpy(out, state_->view + offset, count);
    return true;
}

void FileView::Unmap() {
    if (state_) {
        UnmapViewOfFile(state_->view);
        CloseHandle(state_->mapping);
        state_.reset();
    }
    length_ = 0;
}

}  // namespace platform
