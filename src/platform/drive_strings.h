// The fixed-drive roots named by a logical-drive-string block: one
// NUL-terminated string per drive ("C:\"), then an empty string.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/types.h"

namespace platform {

// GetDriveTypeW's answer for a fixed local disk.
constexpr uint32_t kDriveFixed = 3;

// Walks `block` and, for each entry, puts its drive letter into a root
// buffer that always reads "<letter>:", asks `drive_type` about that
// two-character root and appends it to `roots` when the answer is
// kDriveFixed. A block whose first character is NUL has no entries.
void CollectFixedDriveRoots(const PathChar* block,
                            const std::function<uint32_t(const PathChar* root)>& drive_type,
                            std::vector<PathString>* roots);

}  // namespace platform
