// One folder's entries, in the order in which the system's directory search
// returns them (FindFirstFileW/FindNextFileW on Windows, getdents64 on
// POSIX). The search state lives on the heap and is small (no path is kept),
// so a deep walk that holds one open search per level keeps little memory
// per level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file_ref.h"
#include "platform/folder_id.h"
#include "platform/types.h"

namespace platform {

// The longest folder path, in characters, whose search opens: the system's
// search text has room for 4096 characters with its terminator, and the
// backend's own pattern after the path takes some of them.
extern const size_t kMaxSearchedFolderChars;

enum class EntryKind {
    File,       // a plain file: it has a size and may be opened
    Folder,     // a folder to walk (on Windows: attribute bit 0x10, including
                // reparse points that are no links: entry_rules.h)
    Other,      // anything the walk passes over (POSIX: symbolic links, devices,
                // pipes, sockets, folders of another filesystem's mount, entries
                // gone meanwhile)
    BindMount,  // POSIX: a mount of its own met inside the walk, a file, or a
                // folder of the walked filesystem (a bind mount); passed over
                // and logged, since its contents are scanned, or not, where
                // they belong. Never on Windows.
    // Windows (entry_rules.h):
    NotLocalFile,    // a file whose data is not on the disk: never opened
    NotLocalFolder,  // a folder whose contents are not on the disk: not listed
    Link,            // a symbolic link to a folder or a file: not entered, not
                     // opened (its target is scanned where it lies)
    MountPoint,      // a junction or volume mount point: EntersMountPoint decides
};

// The code of a folder's failed listing that, below a volume's root, marks
// a folder the system keeps from administrators by design (Windows:
// ERROR_ACCESS_DENIED; 0, none, on POSIX).
extern const OsError kErrorKeptBySystem;

class DirSearch {
  public:
    DirSearch();
    ~DirSearch();
    DirSearch(DirSearch&& other) noexcept;
    DirSearch& operator=(DirSearch&& other) noexcept;
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // Opens the search of the folder `folder` (its path, at most
    // kMaxSearchedFolderChars characters) and reads the first entry. False
    // (with Error()) when the folder cannot be listed; a folder that can be
    // listed may have no entry (on Windows an empty FAT or exFAT root, which
    // has no ".", fails FindFirstFileW with ERROR_FILE_NOT_FOUND: an empty
    // listing). Each backend builds its own search from the path: Windows a
    // FindFirstFileW pattern on the path's extended form (path_forms.h),
    // POSIX the path followed by "/".
    bool Open(const PathChar* folder);
    // Opens the search of the sub-folder that `parent`'s current entry names;
    // `folder` is its path. Windows searches by the path; POSIX opens the
    // entry by its name relative to the parent's open folder (never
    // following a symbolic link), so the system does not resolve the whole
    // path again at every level.
    bool OpenChild(const DirSearch& parent, const PathChar* folder);
    // True when the search stands on an entry.
    bool HasEntry() const;
    // Moves to the next entry; false at the end or on any failure.
    bool Next();
    void Close();

    // The current entry's name; valid until Next or Close.
    const PathChar* Name() const;
    // Whether the listing alone names the current entry a plain file, with
    // nothing asked of the filesystem (POSIX: d_type DT_REG; never on
    // Windows, whose listing says everything at no cost). Such an entry is
    // handed on by Locate without its kind, size or identity: whoever
    // examines it asks for them (QueryListedFile), off the walk's thread.
    bool IsListedFile() const;
    // What the current entry is. On POSIX this may ask the filesystem, so ask
    // only for entries that the walk does not pass over by name.
    EntryKind Kind();
    // The low 32 bits of a file entry's size.
    uint32_t SizeLow();

    // Fills in where the current entry, a file, lies and what the listing
    // found of it, so that `ref` opens it through this open search without
    // asking again: its size (FileRef::listed) and, on POSIX, the folder's
    // descriptor, the entry's name, the folder's filesystem and the entry's
    // identity, pinned (Windows opens by path). Valid while the search
    // stands on the entry.
    void Locate(FileRef* ref) const;

    // Gives the open folder's descriptor back while the entries already read
    // are kept, so that a walk deeper than the descriptor limit allows holds
    // only its innermost levels open (POSIX; nothing on Windows, whose
    // searches are not counted against such a limit).
    void Suspend();
    bool IsSuspended() const;
    // Reopens a suspended search of the folder `folder` (its path) where it
    // stood. False, with Error() and the search
    // closed, when the folder cannot be opened or is no longer the folder it
    // was (ESTALE).
    bool Resume(const PathChar* folder);

    // Whether the walk enters the current entry, a MountPoint whose path is
    // `folder_path`: only a volume mount point of a volume without a drive
    // letter (Windows: GetVolumeNameForVolumeMountPointW on the folder, then
    // GetVolumePathNamesForVolumeNameW; entry_rules.h decides). A junction,
    // or a mount point of a lettered volume, is a link not entered.
    bool EntersMountPoint(const PathChar* folder_path) const;

    // Whether the current entry, a folder, may lead back to a folder open
    // above it: on Windows only a reparse point (junction, directory link,
    // mount point; attribute FILE_ATTRIBUTE_REPARSE_POINT) can; on POSIX,
    // where symbolic links are never followed, a bind mount of an ancestor
    // still shows as a folder, so every folder may.
    bool EntryMayLeadBack() const;

    // The identity of the folder being searched, whose path is
    // `folder_path`. False when it cannot be had (the walk then cannot tell
    // whether it has been here before). POSIX takes it from the open folder
    // at no cost; Windows opens `folder_path` (one more open, so the walk
    // asks only where a loop can be).
    bool GetFolderId(const PathChar* folder_path, FolderId* id) const;

    OsError Error() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Asks what the listing did not say of the file `ref` names, an entry that
// IsListedFile named a plain file when `ref` was located: what it is now
// (never following a link) and, for a file, its size and identity, pinned
// as Locate pins a classified entry's. File; BindMount for a mount of its
// own, as Kind tells it; Other for an entry gone meanwhile, or no longer a
// plain file (a folder made in its place since the listing is not entered:
// the walk has listed that folder's parent as it was before). Windows
// answers from what its listing found.
EntryKind QueryListedFile(FileRef* ref);

// Asks again what the listing found of the file `ref` names (Locate):
// its size and (POSIX) its identity, pinned anew, for a file the walk may
// have changed since it was listed. POSIX queries the entry in its folder
// (never following a link); false, with `ref` as it was, when it is no
// longer a regular file there. Windows lists the one name again (its size,
// attributes and reparse tag; a pinned identity is taken again by the next
// open);
// false, with `ref` as it was, when it no longer lists as a file.
bool RelistFile(FileRef* ref);

}  // namespace platform
