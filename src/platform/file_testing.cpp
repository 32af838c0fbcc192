// The file's test hook (file.h), compiled in builds with the tests only.
#include "platform/file.h"

namespace platform {

void File::AdoptForTesting(intptr_t native) {
    handle_.Reset(native);
    error_ = 0;
    position_ = 0;
}

}  // namespace platform
