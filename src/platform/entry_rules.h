// What the walk does with an entry, decided from what a Windows listing says
// of it (its attribute word and, for a reparse point, its tag), and the
// other answers of the system that decide what is scanned: a mounted
// volume's paths, a drive's DOS device text, a failed listing's code. Plain
// functions of their arguments, built on every platform so that each rule
// can be checked with made-up answers; the Windows backend feeds them the
// system's own.
#pragma once

#include <cstdint>

#include "platform/dir_search.h"
#include "platform/types.h"

namespace platform {

// Attribute bits of a listing (WIN32_FIND_DATAW.dwFileAttributes).
constexpr uint32_t kAttributeDirectory = 0x10;               // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t kAttributeReparsePoint = 0x400;           // FILE_ATTRIBUTE_REPARSE_POINT
constexpr uint32_t kAttributeOffline = 0x1000;               // FILE_ATTRIBUTE_OFFLINE
constexpr uint32_t kAttributeRecallOnOpen = 0x40000;         // FILE_ATTRIBUTE_RECALL_ON_OPEN
constexpr uint32_t kAttributeRecallOnDataAccess = 0x400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS

// Reparse tags (WIN32_FIND_DATAW.dwReserved0 of a reparse point).
constexpr uint32_t kTagNameSurrogateBit = 0x20000000;  // IsReparseTagNameSurrogate
constexpr uint32_t kTagMountPoint = 0xA0000003;        // IO_REPARSE_TAG_MOUNT_POINT (junctions too)
constexpr uint32_t kTagSymlink = 0xA000000C;           // IO_REPARSE_TAG_SYMLINK

// Whether a reparse point with `tag` stands for another file or folder (a
// symbolic link, a junction, a mount point) rather than holding its own data
// in another form (deduplication, WOF compression, cloud files, ...).
bool IsNameSurrogate(uint32_t reparse_tag);

// The kind of an entry listed with `attributes` and `reparse_tag` (the tag
// counts only when the attributes have kAttributeReparsePoint):
// - a name surrogate: a folder with the mount-point tag is a MountPoint (a
//   junction or a volume mount point: EntersMountedVolume decides); every
//   other, folder or file, is a Link (a symbolic link), never followed,
//   whatever else its own attributes say;
// - a file whose data is not on the disk (offline, or recalled on open or
//   on data access): NotLocalFile, never opened;
// - a folder whose contents are not on the disk (offline, or recalled on
//   open, which listing it would do): NotLocalFolder, not listed. A folder
//   marked recalled on data access is walked: the mark says only that some
//   of its files are not local, and listing it brings in only their names;
// - any other folder: Folder (a reparse point of another tag holds its own
//   folder, and a tag of 0, which some systems give for a link they cannot
//   name, is walked with the check for folders open above);
// - everything else: File.
EntryKind ClassifyListedEntry(uint32_t attributes, uint32_t reparse_tag);

// How the repair opens a file listed with `reparse_tag` (0 for a file that
// is no reparse point, or was not listed).
enum class RepairOpen {
    // The file itself, never through a reparse point put in its place: the
    // point is opened as itself and refused.
    RefuseReparsePoint,
    // Through the reparse point, whose filter gives the file's data
    // (deduplication, WOF, local cloud files): only the very file the image
    // test or the check opened (its pinned identity).
    PinnedFile,
};
RepairOpen RepairOpenFor(uint32_t reparse_tag);

// Whether the walk enters a mount point (a folder with kTagMountPoint).
// `volume_known`: the folder names a volume (GetVolumeNameForVolumeMountPointW
// succeeded; a junction to a folder does not). `volume_paths`: the volume's
// paths (GetVolumePathNamesForVolumeNameW, one NUL-terminated path each,
// then an empty one), or null when they could not be had. Entered only for
// a volume with no drive letter ("X:\"): a lettered volume is walked as its
// own root when it is fixed, and a junction leads to folders walked where
// they are.
bool EntersMountedVolume(bool volume_known, const PathChar* volume_paths);

// Whether a drive whose QueryDosDeviceW text is `dos_device` is a SUBST
// drive (a folder of another drive under a letter of its own: "\??\C:\..."),
// which is no root of its own.
bool IsSubstDrive(const PathChar* dos_device);

// Whether a folder's listing that failed with the Windows code `code` is an
// empty listing: ERROR_FILE_NOT_FOUND (2) from FindFirstFileW on
// "<folder>\*" means the folder opened and nothing matched (an empty FAT or
// exFAT root has no "." entry); a missing folder is ERROR_PATH_NOT_FOUND.
bool ListingFailureIsEmpty(OsError code);

// Whether the folder `name`, directly below a volume's root, whose listing
// failed with `code`, is one the system keeps from administrators by
// design: "System Volume Information" (any case) denied with `denied_code`
// (the backend's kErrorKeptBySystem; 0 where there is none).
bool IsFolderKeptBySystem(bool below_volume_root, const PathChar* name, OsError code,
                          OsError denied_code);

}  // namespace platform
