// platform::DirSearch on Win32: FindFirstFileW on the folder's path followed
// by "\*", then FindNextFileW, closed with FindClose. An entry is a folder when its
// attribute word has FILE_ATTRIBUTE_DIRECTORY (0x10), whatever else it
// has: links and junctions to folders are folders. A folder's identity is
// its volume serial number and file index (GetFileInformationByHandle on
// the folder opened with FILE_FLAG_BACKUP_SEMANTICS), taken only when asked,
// since it costs one more open; a link or junction opens as its target, so
// it has its target's identity.
#include <windows.h>

#include <string>

#include "platform/dir_search.h"
#include "platform/win32/win32_handles.h"

namespace platform {

// The pattern "<folder>\*" within a search text of 4096 characters.
const size_t kMaxSearchedFolderChars = 4093;

struct DirSearch::State {
    win32::FindHandle find;
    WIN32_FIND_DATAW data;
    bool has_entry = false;
    OsError error = 0;
};

namespace {

// The identity of the folder `path`; a drive's root ("C:", which alone names
// the drive's current folder) is opened with its backslash.
bool ReadFolderId(const wchar_t* path, FolderId* id) {
    std::wstring folder(path);
    if (folder.size() == 2 && folder[1] == L':') {
        folder += L'\\';
    }
    const win32::KernelHandle handle(
        CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.Get(), &info)) {
        return false;
    }
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

DirSearch::DirSearch() : state_(new State()) {}
DirSearch::~DirSearch() {
    Close();
}
DirSearch::DirSearch(DirSearch&& other) noexcept = default;
DirSearch& DirSearch::operator=(DirSearch&& other) noexcept = default;

bool DirSearch::Open(const PathChar* folder) {
    Close();
    if (!state_) {
        state_.reset(new State());
    }
    const std::wstring pattern = std::wstring(folder) + L"\\*";
    ZeroMemory(&state_->data, sizeof state_->data);
    state_->find.Reset(FindFirstFileW(pattern.c_str(), &state_->data));
    if (!state_->find.IsValid()) {
        state_->error = GetLastError();
        return false;
    }
    state_->has_entry = true;
    return true;
}

bool DirSearch::OpenChild(const DirSearch& /*parent*/, const PathChar* folder) {
    return Open(folder);
}

bool DirSearch::HasEntry() const {
    return state_ && state_->has_entry;
}

bool DirSearch::Next() {
    if (!state_ || !state_->find.IsValid()) {
        return false;
    }
    state_->has_entry = FindNextFileW(state_->find.Get(), &state_->data) != FALSE;
    return state_->has_entry;
}

void DirSearch::Close() {
    if (state_) {
        state_->find.Reset();
        state_->has_entry = false;
    }
}

void DirSearch::Suspend() {}

bool DirSearch::IsSuspended() const {
    return false;
}

bool DirSearch::Resume(const PathChar* /*folder*/) {
    return true;
}

const PathChar* DirSearch::Name() const {
    return state_->data.cFileName;
}

EntryKind DirSearch::Kind() {
    return (state_->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder
                                                                           : EntryKind::File;
}

uint32_t DirSearch::SizeLow() {
    return state_->data.nFileSizeLow;
}

void DirSearch::Locate(FileRef* ref) const {
    if (!state_ || !state_->has_entry) {
        return;
    }
    ref->listed = true;
    ref->listed_size_low = state_->data.nFileSizeLow;
}

bool RelistFile(FileRef* /*ref*/) {
    return true;
}

bool DirSearch::EntryMayLeadBack() const {
    return state_ && state_->has_entry &&
           (state_->data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool DirSearch::GetFolderId(const PathChar* folder_path, FolderId* id) const {
    if (!state_ || !state_->find.IsValid()) {
        return false;
    }
    return ReadFolderId(folder_path, id);
}

OsError DirSearch::Error() const {
    return state_ ? state_->error : 0;
}

}  // namespace platform
