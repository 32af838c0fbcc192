// The registry store's test hook (registry_posix.h), compiled in builds with
// the tests only.
#include "platform/posix/registry_posix.h"

namespace platform {

void SetRegistryFolderForTesting(const char* folder, uint32_t trusted_owner) {
    RegistryStore().folder = folder;
    RegistryStore().trusted_owner = static_cast<uid_t>(trusted_owner);
}

}  // namespace platform
