// platform::DirSearch on Win32: FindFirstFileW on the pattern, then
// FindNextFileW, closed with FindClose. An entry is a folder when its
// attribute word has FILE_ATTRIBUTE_DIRECTORY (0x10), whatever else it
// has: links and junctions to folders are folders.
#include <windows.h>

#include "platform/dir_search.h"

namespace platform {

struct DirSearch::State {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data;
    bool has_entry = false;
    OsError error = 0;
};

DirSearch::DirSearch() : state_(new State()) {}
DirSearch::~DirSearch() {
    Close();
}
DirSearch::DirSearch(DirSearch&& other) noexcept = default;
DirSearch& DirSearch::operator=(DirSearch&& other) noexcept = default;

bool DirSearch::Open(const PathChar* pattern) {
    Close();
    if (!state_) {
        state_.reset(new State());
    }
    ZeroMemory(&state_->data, sizeof state_->data);
    HANDLE find = FindFirstFileW(pattern, &state_->data);
    if (find == INVALID_HANDLE_VALUE) {
        state_->error = GetLastError();
        return false;
    }
    state_->find = find;
    state_->has_entry = true;
    return true;
}

bool DirSearch::HasEntry() const {
    return state_ && state_->has_entry;
}

bool DirSearch::Next() {
    if (!state_ || state_->find == INVALID_HANDLE_VALUE) {
        return false;
    }
    state_->has_entry = FindNextFileW(state_->find, &state_->data) != FALSE;
    return state_->has_entry;
}

void DirSearch::Close() {
    if (state_ && state_->find != INVALID_HANDLE_VALUE) {
        FindClose(state_->find);
        state_->find = INVALID_HANDLE_VALUE;
        state_->has_entry = false;
    }
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

OsError DirSearch::Error() const {
    return state_ ? state_->error : 0;
}

}  // namespace platform
