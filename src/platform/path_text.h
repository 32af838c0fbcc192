// The narrow text that the console and the log show for a path. Every path
// prints whole: a character that cannot be shown takes a visible stand-in,
// and the rest of the path follows.
//
// Windows: the path in code page 936 (the console's and the log's narrow
// encoding under the "chs" locale), each character that code page cannot
// show written as "?"; a path it can show gives the same bytes as the
// locale's own conversion. POSIX: the path's bytes as they are, except
// control bytes (below 0x20, and 0x7F), written as "\x" and two lower-case
// hex digits, so that no name can start a line or move the cursor.
#pragma once

#include <cstddef>
#include <string>

#include "platform/types.h"

namespace platform {

// Replaces `*text` with the shown form of `path` (null counts as empty).
void PathText(const PathChar* path, std::string* text);
std::string PathText(const PathChar* path);

}  // namespace platform
