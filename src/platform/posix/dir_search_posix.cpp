// platform::DirSearch on POSIX (Linux): the folder is opened with open, a
// sub-folder with openat relative to its parent's descriptor, and its
// entries are read with getdents64. Each batch is read into a buffer on the
// stack and kept in a heap buffer of the batch's own size, so an open level
// holds only the entries it has yet to hand out (a folder chain as deep as
// the path limit allows stays small). The kind comes from d_type where the
// filesystem gives it and from fstatat (never following a link) otherwise;
// a file's size always from statx. The search never leads out of its mount:
// every symbolic link and the root of any other mount are passed over (a
// bind mount of a file, or of a folder of the same filesystem, is reported
// as BindMount so the walk can say so). Mounts are told apart by their mount
// IDs (statx STATX_MNT_ID), so a nested btrfs subvolume, which has a device
// number of its own but is no mount, is entered; where the kernel gives no
// mount ID, a folder on another device counts as another mount.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <utility>

#include "platform/dir_search.h"
#include "platform/entry_rules.h"
#include "platform/listing_seam.h"
#include "platform/posix/posix_handles.h"

namespace platform {

namespace {

constexpr size_t kBatchBytes = 32768;  // one getdents64 call's buffer

}  // namespace

// A folder path is opened with a "/" after it, so that the root
// filesystem's root, "", opens as "/".
const size_t kMaxSearchedFolderChars = 4094;
// No folder is kept from root by design.
const OsError kErrorKeptBySystem = 0;

struct DirSearch::State {
    posix::ScopedFd fd;
    dev_t device = 0;  // the searched folder's filesystem
    ino_t inode = 0;
    uint64_t mount_id = 0;  // the searched folder's mount, where known
    bool has_mount_id = false;
    bool suspended = false;         // the descriptor given back (Suspend)
    off_t resume_offset = 0;        // where the descriptor stood then
    std::unique_ptr<char[]> batch;  // the entries of the last getdents64 call
    size_t batch_capacity = 0;
    size_t batch_length = 0;
    size_t next_offset = 0;  // the entry after the current one
    const struct dirent64* entry = nullptr;
    bool classified = false;
    EntryKind kind = EntryKind::Other;
    uint32_t size_low = 0;
    uint64_t entry_device = 0;  // the classified entry's identity
    uint64_t entry_inode = 0;
    OsError error = 0;

    // Takes over the open folder `folder`.
    bool Start(posix::ScopedFd folder);
    // Reads the next batch of entries; false at the end and on failure alike.
    bool ReadBatch();
    // The current entry's kind, from its type and one query of it.
    EntryKind Classify();
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

// The type, size, device and (where the kernel gives it) mount ID of the
// entry `name` of the folder `folder`, never following a link. Kernels
// without statx get fstatat's answer, without a mount ID.
bool StatEntry(int folder, const char* name, struct statx* info) {
    if (statx(folder, name, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MNT_ID,
              info) == 0) {
        return (info->stx_mask & (STATX_TYPE | STATX_INO)) == (STATX_TYPE | STATX_INO);
    }
    struct stat plain;
    if (errno != ENOSYS || fstatat(folder, name, &plain, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    memset(info, 0, sizeof *info);
    info->stx_mask = STATX_TYPE | STATX_SIZE | STATX_INO;
    info->stx_mode = static_cast<uint16_t>(plain.st_mode);
    info->stx_ino = static_cast<uint64_t>(plain.st_ino);
    info->stx_size = static_cast<uint64_t>(plain.st_size);
    info->stx_dev_major = major(plain.st_dev);
    info->stx_dev_minor = minor(plain.st_dev);
    return true;
}

constexpr int kFolderFlags = O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC;

// `parent_fd` AT_FDCWD opens `path` as given; otherwise `path` is a name
// within the folder `parent_fd`, opened without following a link.
posix::ScopedFd OpenFolder(int parent_fd, const char* path, OsError* error) {
    const int flags = parent_fd == AT_FDCWD ? kFolderFlags : kFolderFlags | O_NOFOLLOW;
    posix::ScopedFd fd(openat(parent_fd, path, flags));
    if (!fd.IsValid() && errno == EMFILE && RaiseDescriptorLimit()) {
        fd.Reset(openat(parent_fd, path, flags));
    }
    if (!fd.IsValid()) {
        *error = static_cast<OsError>(errno);
    }
    return fd;
}

// A folder given by its path, opened as "<path>/".
posix::ScopedFd OpenFolderPath(const char* folder, OsError* error) {
    const std::string path = std::string(folder) + "/";
    return OpenFolder(AT_FDCWD, path.c_str(), error);
}

}  // namespace

DirSearch::DirSearch() : state_(new State()) {}
DirSearch::~DirSearch() {
    Close();
}
DirSearch::DirSearch(DirSearch&& other) noexcept = default;
DirSearch& DirSearch::operator=(DirSearch&& other) noexcept = default;

bool DirSearch::State::Start(posix::ScopedFd folder) {
    // One query of the open folder: its identity and, where the kernel
    // gives it, its mount ID.
    struct statx extended;
    if (statx(folder.Get(), "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &extended) == 0 &&
        (extended.stx_mask & STATX_INO) != 0) {
        device = makedev(extended.stx_dev_major, extended.stx_dev_minor);
        inode = static_cast<ino_t>(extended.stx_ino);
        has_mount_id = (extended.stx_mask & STATX_MNT_ID) != 0;
        mount_id = has_mount_id ? extended.stx_mnt_id : 0;
    } else {
        struct stat info;
        if (fstat(folder.Get(), &info) != 0) {
            error = static_cast<OsError>(errno);
            return false;
        }
        device = info.st_dev;
        inode = info.st_ino;
        has_mount_id = false;
        mount_id = 0;
    }
    fd = std::move(folder);
    suspended = false;
    batch_length = 0;
    next_offset = 0;
    return true;
}

bool DirSearch::State::ReadBatch() {
    alignas(alignof(struct dirent64)) char buffer[kBatchBytes];
    const ssize_t got = getdents64(fd.Get(), buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    const size_t length = static_cast<size_t>(got);
    if (length > batch_capacity) {
        batch.reset(new char[length]);
        batch_capacity = length;
    }
    memcpy(batch.get(), buffer, length);
    batch_length = length;
    next_offset = 0;
    return true;
}

bool DirSearch::Open(const PathChar* folder) {
    Close();
    if (!state_) {
        state_.reset(new State());
    }
    if (listing_seam::FakeListingFailure(folder, &state_->error)) {
        return false;
    }
    posix::ScopedFd fd = OpenFolderPath(folder, &state_->error);
    if (!fd.IsValid() || !state_->Start(std::move(fd))) {
        return false;
    }
    Next();
    return true;
}

bool DirSearch::OpenChild(const DirSearch& parent, const PathChar* folder) {
    Close();
    if (!state_) {
        state_.reset(new State());
    }
    if (listing_seam::FakeListingFailure(folder, &state_->error)) {
        return false;
    }
    posix::ScopedFd fd = OpenFolder(parent.state_->fd.Get(), parent.Name(), &state_->error);
    if (!fd.IsValid() || !state_->Start(std::move(fd))) {
        return false;
    }
    Next();
    return true;
}

bool DirSearch::HasEntry() const {
    return state_ && state_->entry != nullptr;
}

bool DirSearch::Next() {
    if (!state_ || !state_->fd.IsValid()) {
        return false;
    }
    State& s = *state_;
    s.classified = false;
    s.entry = nullptr;
    if (s.next_offset >= s.batch_length && !s.ReadBatch()) {
        // At the end: a finished search keeps no entries.
        s.batch.reset();
        s.batch_capacity = 0;
        s.batch_length = 0;
        s.next_offset = 0;
        return false;
    }
    s.entry = reinterpret_cast<const struct dirent64*>(s.batch.get() + s.next_offset);
    s.next_offset += s.entry->d_reclen;
    return true;
}

void DirSearch::Close() {
    if (state_ && (state_->fd.IsValid() || state_->suspended)) {
        state_->fd.Reset();
        state_->suspended = false;
        state_->entry = nullptr;
        state_->batch.reset();
        state_->batch_capacity = 0;
        state_->batch_length = 0;
        state_->next_offset = 0;
    }
}

void DirSearch::Suspend() {
    if (!state_ || !state_->fd.IsValid()) {
        return;
    }
    const off_t offset = lseek(state_->fd.Get(), 0, SEEK_CUR);
    if (offset < 0) {
        return;  // a position that cannot be had: the folder stays open
    }
    state_->fd.Reset();
    state_->resume_offset = offset;
    state_->suspended = true;
}

bool DirSearch::IsSuspended() const {
    return state_ && state_->suspended;
}

bool DirSearch::Resume(const PathChar* folder) {
    if (!IsSuspended()) {
        return state_ && state_->fd.IsValid();
    }
    State& s = *state_;
    posix::ScopedFd fd = OpenFolderPath(folder, &s.error);
    if (!fd.IsValid()) {
        Close();
        return false;
    }
    struct stat info;
    if (fstat(fd.Get(), &info) != 0 || info.st_dev != s.device || info.st_ino != s.inode) {
        // Renamed or replaced meanwhile: what the path names now is not the
        // folder whose entries were being read.
        s.error = ESTALE;
        Close();
        return false;
    }
    if (lseek(fd.Get(), s.resume_offset, SEEK_SET) < 0) {
        s.error = static_cast<OsError>(errno);
        Close();
        return false;
    }
    s.fd = std::move(fd);
    s.suspended = false;
    return true;
}

const PathChar* DirSearch::Name() const {
    return state_->entry->d_name;
}

bool DirSearch::IsListedFile() const {
    if (!state_ || state_->entry == nullptr || state_->entry->d_type != DT_REG) {
        return false;
    }
    listing_seam::Listed listed;
    return !listing_seam::FakeEntry(state_->entry->d_name, &listed);
}

EntryKind DirSearch::Kind() {
    State& s = *state_;
    if (s.classified) {
        return s.kind;
    }
    s.classified = true;
    s.kind = EntryKind::Other;
    s.size_low = 0;
    listing_seam::Listed listed;
    if (listing_seam::FakeEntry(s.entry->d_name, &listed)) {
        // A test's made-up Windows listing: classified as Windows would,
        // the rest (size, identity) as the entry is.
        const EntryKind real = s.Classify();
        const EntryKind fake = ClassifyListedEntry(listed.attributes, listed.reparse_tag);
        s.kind = fake == EntryKind::File || fake == EntryKind::Folder ? real : fake;
        return s.kind;
    }
    return s.Classify();
}

EntryKind DirSearch::State::Classify() {
    State& s = *this;
    const unsigned char type = s.entry->d_type;
    if (type != DT_UNKNOWN && type != DT_REG && type != DT_DIR) {
        return s.kind;  // links, devices, pipes, sockets: no need to ask
    }
    struct statx info;
    if (!StatEntry(s.fd.Get(), s.entry->d_name, &info)) {
        return s.kind;  // gone meanwhile
    }
    const bool mount_ids = s.has_mount_id && (info.stx_mask & STATX_MNT_ID) != 0;
    const bool other_mount = mount_ids && info.stx_mnt_id != s.mount_id;
    const bool same_device = makedev(info.stx_dev_major, info.stx_dev_minor) == s.device;
    if (S_ISREG(info.stx_mode)) {
        s.kind = other_mount ? EntryKind::BindMount : EntryKind::File;
        s.size_low = static_cast<uint32_t>(info.stx_size);
        s.entry_device = static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor));
        s.entry_inode = info.stx_ino;
    } else if (S_ISDIR(info.stx_mode)) {
        if (other_mount) {
            s.kind = same_device ? EntryKind::BindMount : EntryKind::Other;
        } else if (mount_ids || same_device) {
            s.kind = EntryKind::Folder;
        }
    }
    return s.kind;
}

uint32_t DirSearch::SizeLow() {
    Kind();
    return state_->size_low;
}

void DirSearch::Locate(FileRef* ref) const {
    if (!state_ || !state_->fd.IsValid() || state_->entry == nullptr) {
        return;
    }
    ref->folder_ = state_->fd.Get();
    ref->name_ = state_->entry->d_name;
    ref->has_device_ = true;
    ref->device_ = static_cast<uint64_t>(state_->device);
    ref->has_mount_id_ = state_->has_mount_id;
    ref->mount_id_ = state_->mount_id;
    if (state_->classified && state_->kind == EntryKind::File) {
        // What the listing's one query found: the size, and the identity,
        // pinned before the first open.
        ref->listed = true;
        ref->listed_size_low = state_->size_low;
        ref->pinned_ = true;
        ref->pinned_device_ = state_->entry_device;
        ref->pinned_inode_ = state_->entry_inode;
    }
    listing_seam::Listed listed;
    if (listing_seam::FakeEntry(state_->entry->d_name, &listed)) {
        ref->reparse_tag = listed.reparse_tag;
        ref->listed_attributes = listed.attributes;
    }
}

EntryKind QueryListedFile(FileRef* ref) {
    if (ref->folder_ < 0 || ref->name_.empty()) {
        return EntryKind::Other;
    }
    struct statx info;
    if (!StatEntry(static_cast<int>(ref->folder_), ref->name_.c_str(), &info) ||
        !S_ISREG(info.stx_mode)) {
        return EntryKind::Other;  // gone, or no plain file any more
    }
    const bool mount_ids = ref->has_mount_id_ && (info.stx_mask & STATX_MNT_ID) != 0;
    if (mount_ids && info.stx_mnt_id != ref->mount_id_) {
        return EntryKind::BindMount;
    }
    ref->listed = true;
    ref->listed_size_low = static_cast<uint32_t>(info.stx_size);
    ref->pinned_ = true;
    ref->pinned_device_ = static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor));
    ref->pinned_inode_ = info.stx_ino;
    return EntryKind::File;
}

bool RelistFile(FileRef* ref) {
    if (ref->folder_ < 0 || ref->name_.empty()) {
        return false;
    }
    struct statx info;
    if (!StatEntry(static_cast<int>(ref->folder_), ref->name_.c_str(), &info) ||
        !S_ISREG(info.stx_mode)) {
        return false;
    }
    ref->listed = true;
    ref->listed_size_low = static_cast<uint32_t>(info.stx_size);
    ref->pinned_ = true;
    ref->pinned_device_ = static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor));
    ref->pinned_inode_ = info.stx_ino;
    listing_seam::Listed listed;
    if (listing_seam::FakeEntry(ref->name_.c_str(), &listed)) {
        ref->reparse_tag = listed.reparse_tag;  // a test's made-up Windows listing, as Locate
        ref->listed_attributes = listed.attributes;
    }
    return true;
}

bool DirSearch::EntersMountPoint(const PathChar* folder_path) const {
    // Only a test's made-up listing has mount points here.
    listing_seam::Volume fake;
    if (listing_seam::FakeVolume(folder_path, &fake)) {
        return EntersMountedVolume(fake.volume_known,
                                   fake.paths_known ? fake.paths.c_str() : nullptr);
    }
    return true;
}

bool DirSearch::EntryMayLeadBack() const {
    return true;
}

bool DirSearch::GetFolderId(const PathChar* /*folder_path*/, FolderId* id) const {
    if (!state_ || (!state_->fd.IsValid() && !state_->suspended)) {
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
