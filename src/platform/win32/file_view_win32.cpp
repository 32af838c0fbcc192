// platform::FileView on Win32: CreateFileMappingW (PAGE_READONLY, the whole
// file) and small views of it (FILE_MAP_READ), released with
// UnmapViewOfFile and CloseHandle, in that order.
//
// Only what is read is mapped, so the address space a reader thread holds
// does not grow with the files it reads (up to 100 MB each): the head view
// covers the file's first page (its DOS header and the signature window at
// 1024..2099); bytes beyond it, such as an NT header block far into the
// file, are read through a view of their own at the allocation-granularity
// boundary below them, mapped for that read and released after it.
//
// The view's length is the file's size as the mapping found it (the section's
// size, NtQuerySection) rounded up to a whole page, capped by the size the
// caller queried: another process may shorten the file (opened with full
// sharing) between the size query and the mapping. A view never reaches past
// the section, and the zeros after the file's end up to its page's end are
// the mapped page's own.
//
// Every read of a view goes through ReadProcessMemory on this process: a page
// whose data cannot be brought in (a file cut on its server, a disk read
// error: EXCEPTION_IN_PAGE_ERROR) makes the read fail with its code instead
// of ending the scan.
#include <windows.h>

#include "platform/bounds.h"
#include "platform/fault_seam.h"
#include "platform/file_view.h"
#include "platform/win32/win32_handles.h"

namespace platform {

const OsError kErrorNoMemory = ERROR_NOT_ENOUGH_MEMORY;

bool IsResourceError(OsError code) {
    return code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY ||
           code == ERROR_NO_SYSTEM_RESOURCES || code == ERROR_COMMITMENT_LIMIT;
}

namespace {

// Bytes of the head view: the first page holds the DOS header and the
// signature window.
constexpr uint64_t kHeadBytes = FileView::kPageSize;

uint64_t RoundUpToPage(uint64_t size) {
    return (size + FileView::kPageSize - 1) / FileView::kPageSize * FileView::kPageSize;
}

// The section's size as its mapping found the file; false where it cannot
// be had.
bool SectionSize(HANDLE mapping, uint64_t* size) {
    struct SectionBasicInformation {
        PVOID base;
        ULONG attributes;
        LARGE_INTEGER size;
    };
    using QuerySection = LONG(WINAPI*)(HANDLE, int, PVOID, SIZE_T, SIZE_T*);
    static const QuerySection query = reinterpret_cast<QuerySection>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySection")));
    SectionBasicInformation info;
    if (query == nullptr ||
        query(mapping, 0 /* SectionBasicInformation */, &info, sizeof info, nullptr) < 0) {
        return false;
    }
    *size = static_cast<uint64_t>(info.size.QuadPart);
    return true;
}

// The extent of the view at `base`: its pages as the system mapped them.
uint64_t MappedExtent(const void* base) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(base, &region, sizeof region) != sizeof region) {
        return 0;  // taken as empty: nothing is read
    }
    return region.RegionSize;
}

// Copies `count` bytes at `from` of this process's own view; false, with the
// system's code, when a page cannot be read.
bool ReadView(const uint8_t* from, void* out, uint32_t count, OsError* error) {
    SIZE_T done = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), from, out, count, &done)) {
        *error = GetLastError();
        return false;
    }
    if (done != count) {
        *error = ERROR_PARTIAL_COPY;
        return false;
    }
    return true;
}

}  // namespace

// Declared so that the view is released before the mapping.
struct FileView::State {
    win32::KernelHandle mapping;
    win32::MappedView head;
    uint64_t head_length = 0;   // bytes of the head view that may be read
    uint64_t section_size = 0;  // the file's size as the mapping found it
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
    const uint64_t asked = RoundUpToPage(size_low);
    // Where the section's size cannot be had, the size asked stands for it:
    // a view beyond the section then fails to map rather than being read.
    uint64_t section = size_low;
    SectionSize(state->mapping.Get(), &section);
    const uint64_t head_bytes = section < kHeadBytes ? section : kHeadBytes;
    state->head.Reset(
        MapViewOfFile(state->mapping.Get(), FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(head_bytes)));
    if (!state->head.IsValid()) {
        return Result::Failed(ViewStep::View, GetLastError());
    }
    uint64_t mapped = RoundUpToPage(section);
    if (view_fault.effect == fault::Effect::Short && view_fault.bytes < mapped) {
        mapped = view_fault.bytes;  // as if fewer pages had been mapped
    }
    length_ = mapped < asked ? mapped : asked;
    const uint64_t head_extent = MappedExtent(state->head.Get());
    state->head_length = head_extent < length_ ? head_extent : length_;
    state->section_size = section;
    state_ = std::move(state);
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
    if (Holds(offset, count)) {
        return ReadView(static_cast<const uint8_t*>(state_->head.Get()) + offset, out, count,
                        &error_);
    }
    if (!state_ || !FitsWithin(offset, count, length_)) {
        error_ = ERROR_INVALID_PARAMETER;  // the caller reads only within Length()
        return false;
    }
    // A view of its own, from the allocation-granularity boundary at or
    // below `offset` to the end of the bytes (never past the section; its
    // last page holds the zeros up to the page's end).
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uint64_t granularity = system.dwAllocationGranularity;
    const uint64_t start = offset / granularity * granularity;
    const uint64_t end =
        offset + count < state_->section_size ? offset + count : state_->section_size;
    if (end <= start) {
        error_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    const win32::MappedView view(
        MapViewOfFile(state_->mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                      static_cast<DWORD>(start), static_cast<SIZE_T>(end - start)));
    if (!view.IsValid()) {
        error_ = GetLastError();
        return false;
    }
    if (MappedExtent(view.Get()) < offset + count - start) {
        error_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    return ReadView(static_cast<const uint8_t*>(view.Get()) + (offset - start), out, count,
                    &error_);
}

void FileView::Unmap() {
    state_.reset();  // the view, then the mapping
    length_ = 0;
}

}  // namespace platform
