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
#include "platform/win32/win32_handles.h"

namespace platform {

// Declared so that the view is released before the mapping.
struct FileView::State {
    win32::KernelHandle mapping;
    win32::MappedView view;
};

FileView::FileView() = default;
FileView::~FileView() {
    Unmap();
}

StepResult<ViewStep> FileView::Map(const File& file, uint32_t size_low) {
    using Result = StepResult<ViewStep>;
    Unmap();
    std::unique_ptr<State> state(new State());
    const fault::Verdict map_fault = fault::Hit(fault::Op::Map);
    if (map_fault.effect == fault::Effect::Fail) {
        return Result::Failed(ViewStep::Mapping, map_fault.code);
    }
    state->mapping.Reset(CreateFileMappingW(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr,
                                            PAGE_READONLY, 0, 0, nullptr));
    if (!state->mapping.IsValid()) {
        return Result::Failed(ViewStep::Mapping, GetLastError());
    }
    const fault::Verdict view_fault = fault::Hit(fault::Op::View);
    if (view_fault.effect == fault::Effect::Fail) {
        return Result::Failed(ViewStep::View, view_fault.code);
    }
    state->view.Reset(MapViewOfFile(state->mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!state->view.IsValid()) {
        return Result::Failed(ViewStep::View, GetLastError());
    }
    MEMORY_BASIC_INFORMATION region;
    uint64_t mapped = 0;
    if (VirtualQuery(state->view.Get(), &region, sizeof region) == sizeof region) {
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
    return Result();
}

bool FileView::Holds(uint64_t offset, uint32_t count) const {
    return state_ && count <= length_ && offset <= length_ - count;
}

bool FileView::Copy(uint64_t offset, void* out, uint32_t count) {
    memcpy(out, static_cast<const uint8_t*>(state_->view.Get()) + offset, count);
    return true;
}

void FileView::Unmap() {
    state_.reset();  // the view, then the mapping
    length_ = 0;
}

}  // namespace platform
