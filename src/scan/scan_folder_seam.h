// A seam of the folder walk, for tests: where it learns which folders may
// lead back to one open above and what a folder's identity is.
#pragma once

#include <functional>

#include "infect/infection_signatures.h"
#include "platform/dir_search.h"
#include "platform/folder_id.h"
#include "platform/types.h"

namespace scan_seam {

struct FolderIdentity {
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

// The platform's own: what ScanFolder uses.
const FolderIdentity& PlatformFolderIdentity();

// ScanFolder with `identity` in place of the platform's.
BOOL ScanFolderWithIdentity(const PathChar* path, const FolderIdentity& identity);

// ScanFolder with `signatures` and without the read-ahead: every file is
// examined on the main thread when the walk meets it.
BOOL ScanFolderWithoutReadAhead(const PathChar* path, const SignatureList& signatures);

// ScanFolder with `signatures` and a read-ahead that runs as far ahead as it
// can: the main thread does the next thing only once every file queued so
// far has been examined by a reader, so results read ahead of a repair are
// always met.
BOOL ScanFolderReadingAheadFirst(const PathChar* path, const SignatureList& signatures);

}  // namespace scan_seam
