// platform::DirSearch on Win32: FindFirstFileW on the folder's extended path
// followed by "\*", then FindNextFileW, closed with FindClose. What an entry
// is follows from its attribute word and, for a reparse point, its tag
// (dwReserved0), by the rules of entry_rules.h: no entry is opened to tell.
// A folder's identity is its volume serial number and file index
// (GetFileInformationByHandle on the folder opened with
// FILE_FLAG_BACKUP_SEMANTICS), taken only when asked, since it costs one
// more open; a reparse point opens as its target, so it has its target's
// identity.
#include <windows.h>

#include <string>

#include "platform/dir_search.h"
#include "platform/entry_rules.h"
#include "platform/listing_seam.h"
#include "platform/path_forms.h"
#include "platform/win32/file_identity.h"
#include "platform/win32/win32_handles.h"

namespace platform {

// The pattern "<folder>\*" within a search text of 4096 characters.
const size_t kMaxSearchedFolderChars = 4093;
const OsError kErrorKeptBySystem = ERROR_ACCESS_DENIED;

struct DirSearch::State {
    win32::FindHandle find;
    WIN32_FIND_DATAW data;
    bool has_entry = false;
    OsError error = 0;
};

namespace {

// The identity of the folder `path`, opened by its extended form (a drive's
// root "C:", which alone names the drive's current folder, as "\\?\C:\").
bool ReadFolderId(const wchar_t* path, FolderId* id) {
    const std::wstring folder = SystemPath(path);
    const win32::KernelHandle handle(
        CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.IsValid() && win32::ReadIdentity(handle.Get(), id);
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
    OsError injected = 0;
    if (listing_seam::FakeListingFailure(folder, &injected)) {
        state_->error = injected;
        return ListingFailureIsEmpty(state_->error);  // as FindFirstFileW's own failure
    }
    std::wstring pattern = SystemPath(folder);
    pattern += pattern.empty() || pattern.back() != L'\\' ? L"\\*" : L"*";
    ZeroMemory(&state_->data, sizeof state_->data);
    state_->find.Reset(FindFirstFileW(pattern.c_str(), &state_->data));
    if (!state_->find.IsValid()) {
        state_->error = GetLastError();
        // Opened, with nothing in it (an empty FAT root has no "."): listed.
        return ListingFailureIsEmpty(state_->error);
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

bool DirSearch::IsListedFile() const {
    return false;  // the listing's data say what each entry is
}

namespace {

// What the listing says of the entry `data`: its attributes and, for a
// reparse point, its tag; or what a test's made-up listing says instead.
listing_seam::Listed ListedAs(const WIN32_FIND_DATAW& data) {
    listing_seam::Listed listed;
    if (!listing_seam::FakeEntry(data.cFileName, &listed)) {
        listed.attributes = data.dwFileAttributes;
        listed.reparse_tag =
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? data.dwReserved0 : 0;
    }
    return listed;
}

}  // namespace

EntryKind DirSearch::Kind() {
    const listing_seam::Listed listed = ListedAs(state_->data);
    return ClassifyListedEntry(listed.attributes, listed.reparse_tag);
}

bool DirSearch::EntersMountPoint(const PathChar* folder_path) const {
    listing_seam::Volume fake;
    if (listing_seam::FakeVolume(folder_path, &fake)) {
        return EntersMountedVolume(fake.volume_known,
                                   fake.paths_known ? fake.paths.c_str() : nullptr);
    }
    // Both calls want the folder with a trailing backslash; the plain form
    // where it names the folder as it is.
    const std::wstring folder = PathForOtherPrograms(folder_path) + L"\\";
    wchar_t volume[64];
    if (!GetVolumeNameForVolumeMountPointW(folder.c_str(), volume, 64)) {
        return EntersMountedVolume(false, nullptr);
    }
    DWORD length = 0;
    std::wstring paths(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (GetVolumePathNamesForVolumeNameW(volume, &paths[0], static_cast<DWORD>(paths.size()),
                                             &length)) {
            paths.resize(paths.size() + 2, L'\0');  // ends in an empty string whatever came back
            return EntersMountedVolume(true, paths.c_str());
        }
        if (GetLastError() != ERROR_MORE_DATA || length <= paths.size()) {
            break;
        }
        paths.assign(length, L'\0');
    }
    return EntersMountedVolume(true, nullptr);
}

uint32_t DirSearch::SizeLow() {
    return state_->data.nFileSizeLow;
}

void DirSearch::Locate(FileRef* ref) const {
    if (!state_ || !state_->has_entry) {
        return;
    }
    const listing_seam::Listed listed = ListedAs(state_->data);
    ref->listed = true;
    ref->listed_size_low = state_->data.nFileSizeLow;
    ref->reparse_tag = listed.reparse_tag;
    ref->listed_attributes = listed.attributes;
}

EntryKind QueryListedFile(FileRef* ref) {
    return ref->listed ? EntryKind::File : EntryKind::Other;
}

bool RelistFile(FileRef* ref) {
    // The one name listed again: its size, attributes and tag as they are
    // now (a repair through another link of the file has changed them, or
    // the file went offline or became a placeholder meanwhile). A name that
    // no longer lists as a file keeps what was listed before.
    WIN32_FIND_DATAW data;
    const win32::FindHandle find(FindFirstFileW(SystemPath(ref->path).c_str(), &data));
    if (!find.IsValid() || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    const listing_seam::Listed listed = ListedAs(data);
    ref->listed = true;
    ref->listed_size_low = data.nFileSizeLow;
    ref->reparse_tag = listed.reparse_tag;
    ref->listed_attributes = listed.attributes;
    // Pinned again by the next open that pins, as the file now is.
    ref->pinned_ = false;
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
