// The walk behind ScanFolder, with what the tests may choose besides the
// options: whether files are read ahead, and (for tests; null in the
// program) the folder identity it uses in place of the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/dir_search.h"
#include "platform/folder_id.h"
#include "platform/types.h"
#include "scan/read_ahead.h"
#include "scan/scan_options.h"

// A file whose size's low 32 bits exceed this is passed over unopened.
constexpr uint32_t kScanSizeLimit = 104857600;
// A file whose path does not fit this many characters (its terminator
// included) is passed over (line 313): a cut path could name another file.
constexpr size_t kScanFilePathChars = ZQ_FILE_PATH_CHARS;

// Where the walk learns which folders may lead back to one open above and
// what a folder's identity is; a test gives its own.
struct FolderIdentitySource {
    // Whether the current entry of `parent`, a folder, may lead back to a
    // folder open above (DirSearch::EntryMayLeadBack). Only such folders are
    // compared with the folders open above.
    std::function<bool(const platform::DirSearch& parent)> may_lead_back;
    // The identity of the open folder `search`, whose path is `folder_path`
    // (DirSearch::GetFolderId); false when it cannot be had.
    std::function<bool(const platform::DirSearch& search, const PathChar* folder_path,
                       platform::FolderId* id)>
        identify;
};

bool WalkFolderTree(const PathChar* path, const ScanOptions& options, ReadAhead::Mode read_ahead,
                    const FolderIdentitySource* identity);
