// platform::File on Win32: one HANDLE from CreateFileW on the path's
// extended form (path_forms.h), driven with exactly the calls the file
// handling names (GetFileSize without the high part, SetFilePointer with a
// 32-bit distance, ReadFile/WriteFile without OVERLAPPED, SetEndOfFile).
// GetLastError() is taken on the failing line.
#include <windows.h>

#include "platform/entry_rules.h"
#include "platform/fault_seam.h"
#include "platform/file.h"
#include "platform/listing_seam.h"
#include "platform/path_forms.h"
#include "platform/win32/file_identity.h"
#include "platform/win32/win32_handles.h"

namespace platform {

// A folder opens as a file only through a reparse point's flag: refused as
// opening a folder without backup semantics is.
const OsError kErrorNotRegular = ERROR_ACCESS_DENIED;
// Never reported on Windows, which opens by path.
const OsError kErrorOtherFilesystem = ERROR_NOT_SAME_DEVICE;
const OsError kErrorFileReplaced = ERROR_FILE_INVALID;
const OsError kErrorReparsePoint = 681;  // ERROR_STOPPED_ON_SYMLINK
const OsError kErrorShortTransfer = ERROR_HANDLE_EOF;
const OsError kErrorSharingViolation = ERROR_SHARING_VIOLATION;

namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// CreateFileW's access, sharing and flags for each intent (the reads add
// FILE_FLAG_OPEN_REPARSE_POINT for a file listed as no reparse point or as
// a link: File::Open).
struct OpenFlags {
    DWORD access;
    DWORD share;
    DWORD flags;
};

OpenFlags FlagsFor(FileIntent intent) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    switch (intent) {
        // The reads ask for backup semantics: with the backup privilege in
        // effect (privilege.h) they read a file whatever its access control
        // list; without it they are checked against the list as any open.
        case FileIntent::ExamineImage:
            return {GENERIC_READ, kShareAll, FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_BACKUP_SEMANTICS};
        case FileIntent::CheckInfection:
            return {GENERIC_READ, kShareAll, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS};
        case FileIntent::Repair:
            break;
    }
    return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
}

}  // namespace

void File::HandleTraits::Close(intptr_t handle) {
    CloseHandle(AsHandle(handle));
}

bool File::Open(const PathChar* path, FileIntent intent) {
    FileRef ref(path);
    return Open(ref, intent);
}

bool File::Open(FileRef& ref, FileIntent intent) {
    Close();
    const fault::Verdict injected = fault::Hit(fault::Op::Open);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    OpenFlags open = FlagsFor(intent);
    // A file the listing named with a reparse tag that is no link holds its
    // own data behind the point: the repair opens it through the point, and
    // only as the file the image test or the check opened (pinned below).
    const bool through_point = RepairOpenFor(ref.reparse_tag) == RepairOpen::PinnedFile;
    if (intent == FileIntent::Repair && through_point) {
        if (!ref.pinned_) {
            error_ = kErrorReparsePoint;  // no file was pinned to compare with
            return false;
        }
        open.flags &= ~static_cast<DWORD>(FILE_FLAG_OPEN_REPARSE_POINT);
    } else if (intent != FileIntent::Repair && !through_point) {
        // The reads open the file itself too: a symbolic link put in the
        // listed file's place opens as the link, which holds no image (an
        // empty stream), and its target is never read from here (nor
        // recalled, nor fetched from a network or removable drive).
        open.flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    }
    const std::wstring system_path = SystemPath(ref.path);
    win32::KernelHandle handle(CreateFileW(system_path.c_str(), open.access, open.share, nullptr,
                                           OPEN_EXISTING, open.flags, nullptr));
    if (!handle.IsValid()) {
        error_ = GetLastError();
        return false;
    }
    // The repair's open: never through a reparse point (a symbolic link or
    // junction put in the file's place); the flag opens the point itself
    // and its attributes tell. (The reads need not ask: the point itself
    // holds no image.)
    if (intent == FileIntent::Repair && (open.flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(handle.Get(), &info)) {
            error_ = GetLastError();
            return false;
        }
        DWORD attributes = info.dwFileAttributes;
        uint32_t faked = 0;
        if (listing_seam::FakeOpenedAttributes(ref.path, &faked)) {
            attributes = faked;
        }
        if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            error_ = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kErrorReparsePoint
                                                                      : kErrorNotRegular;
            return false;
        }
    } else if (through_point) {
        FolderId id;
        if (!win32::ReadIdentity(handle.Get(), &id)) {
            error_ = GetLastError();
            return false;
        }
        if (ref.pinned_ && (id.volume != ref.pinned_device_ || id.index != ref.pinned_inode_)) {
            error_ = kErrorFileReplaced;  // another file under the checked name
            return false;
        }
        if (!ref.pinned_) {
            ref.pinned_ = true;
            ref.pinned_device_ = id.volume;
            ref.pinned_inode_ = id.index;
        }
    }
    handle_.Reset(reinterpret_cast<intptr_t>(handle.Release()));
    return true;
}

bool File::SizeLow(uint32_t* size) {
    const fault::Verdict injected = fault::Hit(fault::Op::Size);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    const DWORD low = GetFileSize(AsHandle(handle_.Get()), nullptr);
    if (low == INVALID_FILE_SIZE) {
        error_ = GetLastError();
        return false;
    }
    *size = low;
    return true;
}

bool File::Seek(int32_t distance, SeekOrigin origin) {
    const fault::Verdict injected = fault::Hit(fault::Op::Seek);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    const DWORD method = origin == SeekOrigin::End ? FILE_END : FILE_BEGIN;
    if (SetFilePointer(AsHandle(handle_.Get()), distance, nullptr, method) ==
        INVALID_SET_FILE_POINTER) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

bool File::Read(void* buffer, uint32_t count, uint32_t* done) {
    const fault::Verdict injected = fault::Hit(fault::Op::Read);
    if (injected.effect != fault::Effect::None && injected.bytes < count) {
        count = injected.bytes;
    }
    DWORD read = 0;
    if (!ReadFile(AsHandle(handle_.Get()), buffer, count, &read, nullptr)) {
        error_ = GetLastError();
        return false;
    }
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    if (done != nullptr) {
        *done = read;
    }
    return true;
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* done) {
    const fault::Verdict injected = fault::Hit(fault::Op::Write);
    if (injected.effect != fault::Effect::None && injected.bytes < count) {
        count = injected.bytes;
    }
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_.Get()), buffer, count, &written, nullptr)) {
        error_ = GetLastError();
        return false;
    }
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    if (done != nullptr) {
        *done = written;
    }
    return true;
}

bool File::SetEnd() {
    const fault::Verdict injected = fault::Hit(fault::Op::Truncate);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    if (!SetEndOfFile(AsHandle(handle_.Get()))) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

}  // namespace platform
