// The Windows directory a test names (windows_dir.h), compiled in builds
// with the tests only.
#include <atomic>

#include "platform/windows_dir.h"

namespace platform {

namespace {

std::atomic<bool> g_named{false};

PathString& Named() {
    static PathString folder;
    return folder;
}

}  // namespace

void SetWindowsDirectoryForTesting(const PathChar* folder) {
    g_named.store(false, std::memory_order_release);
    Named() = folder != nullptr ? PathString(folder) : PathString();
    g_named.store(folder != nullptr, std::memory_order_release);
}

bool NamedWindowsDirectoryForTesting(PathChar* buffer, uint32_t capacity) {
    if (!g_named.load(std::memory_order_acquire) || capacity == 0) {
        return false;
    }
    const PathString& folder = Named();
    if (folder.size() >= capacity) {
        buffer[0] = 0;  // too long for the buffer: nothing to exclude, as the system's
        return true;
    }
    folder.copy(buffer, folder.size());
    buffer[folder.size()] = 0;
    return true;
}

}  // namespace platform
