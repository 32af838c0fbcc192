// The processor count on POSIX: the processors online (sysconf).
#include "platform/processor_count.h"

#include <unistd.h>

namespace platform {

uint32_t ProcessorCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count < 1 ? 1u : static_cast<uint32_t>(count);
}

}  // namespace platform
