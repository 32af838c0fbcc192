// platform::DirSearch on POSIX: opendir/readdir. The kind comes from d_type
// where the filesystem gives it and from fstatat (never following a link)
// otherwise; a file's size always from fstatat. The search never leads out
// of its filesystem: a folder on another device (a mount point) and every
// symbolic link are reported as Other.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/dir_search.h"

namespace platform {

struct DirSearch::State {
    DIR* dir = nullptr;
    dev_t device = 0;  // the searched folder's filesystem
    ino_t inode = 0;
    struct dirent* entry = nullptr;
    bool classified = false;
    EntryKind kind = EntryKind::Other;
    uint32_t size_low = 0;
    OsError error = 0;
};

namespace {

// A walk holds one open search per level; when the process runs out of
// descriptors, the soft limit is raised to the hard limit once per failure.
bool RaiseDescriptorLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
        return false;
    }
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

DIR* OpenFolder(const char* path, OsError* error) {
    DIR* dir = opendir(path);
    if (dir == nullptr && errno == EMFILE && RaiseDescriptorLimit()) {
        dir = opendir(path);
    }
    if (dir == nullptr) {
        *error = static_cast<OsError>(errno);
    }
    return dir;
}

}  // namespace

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
    DIR* dir = OpenFolder(pattern, &state_->error);
    if (dir == nullptr) {
        return false;
    }
    struct stat info;
    if (fstat(dirfd(dir), &info) != 0) {
        state_->error = static_cast<OsError>(errno);
        closedir(dir);
        return false;
    }
    state_->dir = dir;
    state_->device = info.st_dev;
    state_->inode = info.st_ino;
    Next();
    return true;
}

bool DirSearch::HasEntry() const {
    return state_ && state_->entry != nullptr;
}

bool DirSearch::Next() {
    if (!state_ || state_->dir == nullptr) {
        return false;
    }
    state_->classified = false;
    state_->entry = readdir(state_->dir);  // null at the end and on failure alike
    return state_->entry != nullptr;
}

void DirSearch::Close() {
    if (state_ && state_->dir != nullptr) {
        closedir(state_->dir);
        state_->dir = nullptr;
        state_->entry = nullptr;
    }
}

const PathChar* DirSearch::Name() const {
    return state_->entry->d_name;
}

EntryKind DirSearch::Kind() {
    State& s = *state_;
    if (s.classified) {
        return s.kind;
    }
    s.classified = true;
    s.kind = EntryKind::Other;
    s.size_low = 0;
    const unsigned char type = s.entry->d_type;
    if (type != DT_UNKNOWN && type != DT_REG && type != DT_DIR) {
        return s.kind;  // links, devices, pipes, sockets: no need to ask
    }
    struct stat info;
    if (fstatat(dirfd(s.dir), s.entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return s.kind;  // gone meanwhile
    }
    if (S_ISREG(info.st_mode)) {
        s.kind = EntryKind::File;
        s.size_low = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
    } else if (S_ISDIR(info.st_mode) && info.st_dev == s.device) {
        s.kind = EntryKind::Folder;
    }
    return s.kind;
}

uint32_t DirSearch::SizeLow() {
    Kind();
    return state_->size_low;
}

bool DirSearch::GetFolderId(FolderId* id) const {
    if (!state_ || state_->dir == nullptr) {
        return false;
    }
    id->volume = static_cast<uint64_t>(state_->device);
    id->index = static_cast<uint64_t>(state_->inode);
    return true;
}

OsError DirSearch::Error() const {
    return state_ ? state_->error : 0;
}

}  // namespace platform
