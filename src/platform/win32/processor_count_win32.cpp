// The processor count on Win32: GetSystemInfo.
#include "platform/processor_count.h"

#include <windows.h>

namespace platform {

uint32_t ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1u : static_cast<uint32_t>(info.dwNumberOfProcessors);
}

}  // namespace platform
