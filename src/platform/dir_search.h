// One folder's entries, in the order in which the system's directory search
// returns them (FindFirstFileW/FindNextFileW on Windows, getdents64 on
// POSIX). The search state lives on the heap and is small (no path is kept),
// so a deep walk that holds one open search per level keeps little memory
// per level.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file_ref.h"
#include "platform/folder_id.h"
#include "platform/types.h"

namespace platform {

enum class EntryKind {
    File,    // a plain file: it has a size and may be opened
    Folder,  // a folder to walk (on Windows: attribute bit 0x10, links included)
    Other,   // anything the walk passes over (POSIX: symbolic links, devices,
             // pipes, sockets, folders of another mount, entries gone meanwhile)
};

class DirSearch {
  public:
    DirSearch();
    ~DirSearch();
    DirSearch(DirSearch&& other) noexcept;
    DirSearch& operator=(DirSearch&& other) noexcept;
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // Opens the search on `pattern`, a folder path followed by
    // ZQ_SEARCH_SUFFIX, and reads the first entry. False (with Error()) when
    // the folder cannot be listed; a folder that can be listed always has a
    // first entry on Windows ("."), and may have none on POSIX.
    bool Open(const PathChar* pattern);
    // Opens the search of the sub-folder named by `parent`'s current entry;
    // `pattern` is that sub-folder's path followed by ZQ_SEARCH_SUFFIX.
    // Windows searches on the pattern; POSIX opens the sub-folder relative
    // to its parent's open folder (never following a symbolic link), so the
    // system does not resolve the whole path again at every level.
    bool OpenSubFolder(const DirSearch& parent, const PathChar* pattern);
    // True when the search stands on an entry.
    bool HasEntry() const;
    // Moves to the next entry; false at the end or on any failure.
    bool Next();
    void Close();

    // The current entry's name; valid until Next or Close.
    const PathChar* Name() const;
    // What the current entry is. On POSIX this may ask the filesystem, so ask
    // only for entries that the walk does not pass over by name.
    EntryKind Kind();
    // The low 32 bits of a file entry's size.
    uint32_t SizeLow();

    // Fills in where the current entry lies, so that `ref` opens it through
    // this open search (POSIX: the folder's descriptor, the entry's name
    // and the folder's filesystem; nothing on Windows, which opens by path).
    // Valid while the search stands on the entry.
    void Locate(FileRef* ref) const;

    // The identity of the folder being searched. False when it cannot be
    // had (the walk then cannot tell whether it has been here before).
    bool GetFolderId(FolderId* id) const;

    OsError Error() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
