// Paths beside the running executable, and the rule that joins them.
#include "platform/module_path.h"

#include <vector>

namespace platform {

PathString ReadWholePath(const PathReader& read, size_t first_capacity, size_t max_capacity) {
    std::vector<PathChar> buffer(first_capacity);
    for (;;) {
        const size_t length = read(buffer.data(), buffer.size());
        if (length == 0) {
            return PathString();
        }
        if (length < buffer.size()) {
            return PathString(buffer.data(), length);
        }
        // Filled to the end: possibly cut, and never used so.
        if (buffer.size() * 2 > max_capacity) {
            return PathString();
        }
        buffer.assign(buffer.size() * 2, 0);
    }
}

}  // namespace platform
