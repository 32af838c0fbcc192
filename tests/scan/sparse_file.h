// A file of a given size that takes no room on disk where the filesystem
// allows (a sparse file), for the size-limit tests.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace scantest {

// Creates `path` (replacing it) with `size` zero bytes. False on failure.
bool MakeSparseFile(const PathChar* path, uint64_t size);

}  // namespace scantest
