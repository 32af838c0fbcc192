// The file reference's test hooks (file_ref.h), compiled in builds with the
// tests only.
#include "platform/file_ref.h"

namespace platform {

void FileRef::LocateForTesting(intptr_t folder, const PathChar* name, uint64_t device) {
    folder_ = folder;
    name_ = name;
    has_device_ = true;
    device_ = device;
}

}  // namespace platform
