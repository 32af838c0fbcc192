// The walk's decisions from a listing's attributes and tags, and from the
// system's answers about volumes, drives and failed listings.
#include "platform/entry_rules.h"

#include "platform/ascii.h"

namespace platform {

namespace {

// A file with any of these bits has data that is not on the disk. A folder
// marked recall-on-data-access only holds some such files: its listing
// brings in nothing but names, and its local files are examined.
constexpr uint32_t kNotLocalFile =
    kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess;
constexpr uint32_t kNotLocalFolder = kAttributeOffline | kAttributeRecallOnOpen;
constexpr OsError kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND

}  // namespace

bool IsNameSurrogate(uint32_t reparse_tag) {
    return (reparse_tag & kTagNameSurrogateBit) != 0;
}

EntryKind ClassifyListedEntry(uint32_t attributes, uint32_t reparse_tag) {
    const bool folder = (attributes & kAttributeDirectory) != 0;
    const uint32_t tag = (attributes & kAttributeReparsePoint) != 0 ? reparse_tag : 0;
    if (IsNameSurrogate(tag)) {
        // A file link is judged by its own attributes, not its target's: its
        // target is examined where it lies, once, if on a fixed drive.
        return folder && tag == kTagMountPoint ? EntryKind::MountPoint : EntryKind::Link;
    }
    if (folder) {
        return (attributes & kNotLocalFolder) != 0 ? EntryKind::NotLocalFolder : EntryKind::Folder;
    }
    if ((attributes & kNotLocalFile) != 0) {
        return EntryKind::NotLocalFile;
    }
    return EntryKind::File;
}

RepairOpen RepairOpenFor(uint32_t reparse_tag) {
    return reparse_tag != 0 && !IsNameSurrogate(reparse_tag) ? RepairOpen::PinnedFile
                                                             : RepairOpen::RefuseReparsePoint;
}

bool EntersMountedVolume(bool volume_known, const PathChar* volume_paths) {
    if (!volume_known) {
        return false;  // a junction to a folder
    }
    if (volume_paths == nullptr) {
        return true;  // a volume whose letter cannot be told: never left out on a guess
    }
    for (const PathChar* path = volume_paths; *path != 0;) {
        size_t length = 0;
        while (path[length] != 0) {
            ++length;
        }
        if (length == 3 && IsAsciiLetter(path[0]) && path[1] == ZQ_T(':') &&
            path[2] == ZQ_T('\\')) {
            return false;
        }
        path += length + 1;
    }
    return true;
}

bool IsSubstDrive(const PathChar* dos_device) {
    return dos_device != nullptr && dos_device[0] == ZQ_T('\\') && dos_device[1] == ZQ_T('?') &&
           dos_device[2] == ZQ_T('?') && dos_device[3] == ZQ_T('\\');
}

bool ListingFailureIsEmpty(OsError code) {
    return code == kErrorFileNotFound;
}

bool IsFolderKeptBySystem(bool below_volume_root, const PathChar* name, OsError code,
                          OsError denied_code) {
    static const PathChar kKept[] = ZQ_T("SYSTEM VOLUME INFORMATION");
    if (!below_volume_root || denied_code == 0 || code != denied_code || name == nullptr) {
        return false;
    }
    size_t i = 0;
    for (; kKept[i] != 0; ++i) {
        if (AsciiUpper(name[i]) != kKept[i]) {
            return false;
        }
    }
    return name[i] == 0;
}

}  // namespace platform
