// The fixed-drive roots named by a logical-drive-string block: one
// NUL-terminated string per drive ("C:\"), then an empty string; and the
// reading of that block, which a drive added meanwhile makes longer.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/fixed_roots.h"
#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

// GetDriveTypeW's answer for a fixed local disk.
constexpr uint32_t kDriveFixed = 3;

// How often the block is asked for with a new size before the reading fails.
constexpr uint32_t kDriveStringAttempts = 4;

// Reads the drive-string block as GetLogicalDriveStringsW gives it:
// `query(length, buffer, &error)` answers 0 on failure (with `error`), the
// characters written without the final NUL when the block fits `length`
// characters, and the length it needs, more than `length`, when it does
// not; `query(0, nullptr, ...)` asks for the length alone. `allocate(chars)`
// gives a zero-filled buffer of that many characters (null when it
// cannot). A block that grew between two questions (a drive added) is asked
// for again with its new length, at most kDriveStringAttempts times; only a
// block that fitted is taken, so a buffer the system did not fill never
// stands for the drives. On success `*block` is the filled buffer, its last
// character NUL.
StepResult<RootListStep> ReadDriveStrings(
    const std::function<uint32_t(uint32_t length, PathChar* buffer, OsError* error)>& query,
    const std::function<PathChar*(uint32_t chars)>& allocate, PathChar** block);

// Walks `block` and, for each entry, puts its drive letter into a root
// buffer that always reads "<letter>:", asks `drive_type` about that
// two-character root and appends it to `roots` when the answer is
// kDriveFixed and `is_subst` says it is no SUBST drive (a folder of another
// drive under a letter of its own, scanned where it lies). A block whose
// first character is NUL has no entries.
void CollectFixedDriveRoots(const PathChar* block,
                            const std::function<uint32_t(const PathChar* root)>& drive_type,
                            const std::function<bool(const PathChar* root)>& is_subst,
                            std::vector<PathString>* roots);

}  // namespace platform
