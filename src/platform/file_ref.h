// Which file an open names, and which file the first open through it found.
//
// The walk hands each file on as a FileRef, so every step that opens it (the
// image test, the signature check, the repair) reaches the same file:
// - On POSIX the file is opened by its name relative to its folder's open
//   descriptor, never following a symbolic link, never blocking on a FIFO,
//   and only when it is a regular file on the folder's filesystem. The first
//   open pins the file's device and inode; a later open that finds another
//   file (one renamed over it meanwhile) fails with kErrorFileReplaced.
// - On Windows the file is opened by its full path, in its extended form
//   (the folder fields are unused). The repair's open refuses a reparse
//   point, except one the listing named with a tag that is no link
//   (deduplication, WOF compression, local cloud files: entry_rules.h): that
//   file is opened through its reparse point, and only when it is the very
//   file (volume serial number and file index) that the image test or the
//   check pinned when it opened it.
// A FileRef made from a path alone opens that path (POSIX: without
// following a link in its last component).
//
// A file the walk listed carries what the listing found: its size, and on
// POSIX its identity, taken from the one query the listing made of the
// entry. Such a file's size is not queried again, and on POSIX an open for
// reading does not query the opened file again either: the listing's
// answer (a regular file on the folder's filesystem) stands for it, the
// open still refuses to follow a link, to block on a FIFO or to take a
// terminal, and every open for writing checks the opened file against the
// pinned identity.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

class File;
class DirSearch;
struct FileRef;
bool RelistFile(FileRef* ref);
enum class EntryKind;
EntryKind QueryListedFile(FileRef* ref);

struct FileRef {
    explicit FileRef(const PathChar* full_path) : path(full_path) {}

    const PathChar* path;  // the full path, as logged and as Windows opens it

    // Set by the walk (DirSearch::Locate): the listing's size, and (POSIX)
    // the identity it found, pinned before any open.
    bool listed = false;
    uint32_t listed_size_low = 0;
    // Windows: the listing's reparse tag, 0 when the file is no reparse
    // point (or was not listed), and its attribute word (0 when not listed;
    // always 0 on POSIX). A file listed again (RelistFile) that now lists
    // as not local or as a link (ClassifyListedEntry) is not opened.
    uint32_t reparse_tag = 0;
    uint32_t listed_attributes = 0;

    // Test hook (builds with the tests only): the file `name` in the open
    // folder `folder` (a descriptor) on the filesystem `device`, as a POSIX
    // listing would locate it.
    void LocateForTesting(intptr_t folder, const PathChar* name, uint64_t device);

  private:
    // Only the platform's file, listing and re-listing read and write what
    // the listing and the opens found.
    friend class File;
    friend class DirSearch;
    friend class PageBatch;
    friend bool RelistFile(FileRef* ref);
    friend EntryKind QueryListedFile(FileRef* ref);

    // POSIX only: the open folder that holds the file, its name there (the
    // reference's own copy) and the folder's filesystem. folder -1: open
    // `path` itself.
    intptr_t folder_ = -1;
    PathString name_;
    bool has_device_ = false;
    uint64_t device_ = 0;
    // POSIX only: the folder's mount, where the kernel gives it.
    bool has_mount_id_ = false;
    uint64_t mount_id_ = 0;

    // Set by the first successful open (POSIX; Windows for a file listed
    // with a reparse tag that is no link): the file it found, its device and
    // inode (Windows: volume serial number and file index).
    bool pinned_ = false;
    uint64_t pinned_device_ = 0;
    uint64_t pinned_inode_ = 0;
};

}  // namespace platform
