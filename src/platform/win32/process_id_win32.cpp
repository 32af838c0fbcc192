// The process id on Win32 (GetCurrentProcessId).
#include "platform/process_id.h"

#include <windows.h>

namespace platform {

uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

}  // namespace platform
