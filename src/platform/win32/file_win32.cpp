// platform::File on Win32: one HANDLE from CreateFileW, driven with exactly
// the calls the file handling names (GetFileSize without the high part,
// SetFilePointer with a 32-bit distance, ReadFile/WriteFile without
// OVERLAPPED, SetEndOfFile). GetLastError() is taken on the failing line.
#include <windows.h>

#include "platform/fault_seam.h"
#include "platform/file.h"

namespace platform {

static_assert(kShareRead == FILE_SHARE_READ, "share bits are Windows' own");
static_assert(kShareWrite == FILE_SHARE_WRITE, "share bits are Windows' own");
static_assert(kShareDelete == FILE_SHARE_DELETE, "share bits are Windows' own");

namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool File::Open(const PathChar* path, FileAccess access, uint32_t share, FileAttribute attribute) {
    Close();
    const fault::Verdict injected = fault::Hit(fault::Op::Open);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    const DWORD desired =
        access == FileAccess::ReadWrite ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    const DWORD flags =
        attribute == FileAttribute::Archive ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_NORMAL;
    HANDLE handle = CreateFileW(path, desired, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool File::SizeLow(uint32_t* size) {
    const fault::Verdict injected = fault::Hit(fault::Op::Size);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    const DWORD low = GetFileSize(AsHandle(handle_), nullptr);
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
    if (SetFilePointer(AsHandle(handle_), distance, nullptr, method) == INVALID_SET_FILE_POINTER) {
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
    if (!ReadFile(AsHandle(handle_), buffer, count, &read, nullptr)) {
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
    if (!WriteFile(AsHandle(handle_), buffer, count, &written, nullptr)) {
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
    if (!SetEndOfFile(AsHandle(handle_))) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

void File::Close() {
    if (handle_ != -1) {
        CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
}

}  // namespace platform
