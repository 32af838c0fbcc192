// The stand-in quarantine library's OS services on Windows.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "store.h"

namespace druquara {

PathString LibraryFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&LibraryFolder), &self)) {
        return PathString();
    }
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        return PathString();
    }
    PathString path(buffer.data(), length);
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == PathString::npos) {
        return PathString();
    }
    return path.substr(0, separator);
}

bool MakeFolder(const PathString& folder) {
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
        return true;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    SetLastError(error);
    return false;
}

void RemoveFile(const PathString& path) {
    const DWORD error = GetLastError();
    DeleteFileW(path.c_str());
    SetLastError(error);
}

void LocalTimeTexts(std::string* readable, std::string* compact) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    *readable = text;
    std::snprintf(text, sizeof(text), "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    *compact = text;
}

std::string ToUtf8(const PathChar* text) {
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], needed, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(needed - 1));
    return utf8;
}

PathString FromAscii(const std::string& text) {
    return PathString(text.begin(), text.end());
}

uint32_t ThreadError() {
    return GetLastError();
}

void SetThreadError(uint32_t code) {
    SetLastError(code);
}

SourceFile::~SourceFile() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

bool SourceFile::Open(const PathChar* path) {
    HANDLE handle =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool SourceFile::Read(void* buffer, size_t capacity, size_t* got) {
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(capacity), &read,
                  nullptr)) {
        return false;
    }
    *got = read;
    return true;
}

NewFile::~NewFile() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

CreateResult NewFile::Create(const PathString& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? CreateResult::Exists
                                                                             : CreateResult::Failed;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    return CreateResult::Created;
}

bool NewFile::Write(const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes, static_cast<DWORD>(length),
                       &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        length -= written;
    }
    return true;
}

// A synchronous handle given an OVERLAPPED writes at its offset and waits.
bool NewFile::WriteAt(uint64_t offset, const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes, static_cast<DWORD>(length),
                       &written, &at)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        offset += written;
        length -= written;
    }
    return true;
}

bool NewFile::Commit() {
    HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    const BOOL flushed = FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    const BOOL closed = CloseHandle(handle);
    if (!flushed) {
        SetLastError(error);
        return false;
    }
    return closed != FALSE;
}

}  // namespace druquara
