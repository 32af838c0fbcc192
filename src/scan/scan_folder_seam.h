// Seams of the folder walk and the image test, for tests (defined in builds
// with the tests only).
#pragma once

#include <functional>

#include "infect/infection_signatures.h"
#include "platform/types.h"
#include "scan/scan_folder_walk.h"

namespace scan_seam {

// The platform's own: what ScanFolder uses.
const FolderIdentitySource& PlatformFolderIdentityForTesting();

// ScanFolder with `identity` in place of the platform's.
BOOL ScanFolderWithIdentityForTesting(const PathChar* path, const FolderIdentitySource& identity);

// ScanFolder with `signatures` and without the read-ahead: every file is
// examined on the main thread when the walk meets it.
BOOL ScanFolderWithoutReadAheadForTesting(const PathChar* path, const SignatureList& signatures);

// ScanFolder with `signatures` and a read-ahead that runs as far ahead as it
// can: the main thread does the next thing only once every file queued so
// far has been examined by a reader, so results read ahead of a repair are
// always met.
BOOL ScanFolderReadingAheadFirstForTesting(const PathChar* path, const SignatureList& signatures);

}  // namespace scan_seam
