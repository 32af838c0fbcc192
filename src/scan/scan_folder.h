// The folder scanner: walks a folder tree depth first and hands every
// executable image within the size limit to the disinfection flow, printing
// and logging each examined file's result.
#pragma once

#include "infect/infection_signatures.h"
#include "scan/scan_options.h"
#include "platform/types.h"

// Walks `path` (a drive root such as "C:" or a folder below one; never
// ending with a separator; null counts as absent) and everything below it,
// in the order in which the directory search returns the entries:
// - names beginning with "." are passed over;
// - files and folders whose data is not on the disk (Windows: offline, or
//   recalled on open or on data access) are never opened (line 299), and
//   folders that are links (name-surrogate reparse points: directory
//   symbolic links, junctions, mount points of volumes with a drive letter)
//   are not entered (line 294); a volume mount point of a volume without a
//   drive letter is entered. A root's "System Volume Information" whose
//   listing is denied gets line 276 in place of lines 300 and 275;
// - folders whose path contains the Windows directory are not entered, nor
//   is a folder already open above it on the current path (a link or
//   junction back to an ancestor; on Windows only reparse points are
//   compared, and an identity that cannot be had or has index 0 matches
//   nothing), nor one whose path would not fit;
// - files whose size's low 32 bits exceed 104857600 are passed over, as is
//   a file whose path would not fit the file-path buffer;
// - each other file is checked by the image test of CommFunc::IsFilePE (a
//   file listed under 512 bytes is not opened), and an accepted image goes
//   through DisinfectFile; its path and result are printed and logged. The
//   files are read ahead on reader threads; everything printed, logged or
//   written is done on the calling thread in the walk's order.
// TRUE when the folder's search was opened and run to its end; FALSE when
// the path is absent or its search cannot be opened.
//
// The levels of the walk live on the heap, so its depth is bounded by the
// platform's path limit, not by the thread's stack.
BOOL ScanFolder(const PathChar* path);

// The same as `options` say (another signature list, check only).
BOOL ScanFolder(const PathChar* path, const ScanOptions& options);
