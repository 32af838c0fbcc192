// A seam of the executable-image test, for tests (defined in builds with the
// tests only): CommFunc::IsFilePE with a
// call made between the size query and the mapping, where another process
// may change the file (it is open with full sharing).
#pragma once

#include <functional>

#include "platform/types.h"

namespace scan_seam {

BOOL IsFilePEPausedBeforeMappingForTesting(const PathChar* path,
                                           const std::function<void()>& pause);

}  // namespace scan_seam
