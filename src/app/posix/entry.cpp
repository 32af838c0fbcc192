// The POSIX entry point. Arguments are not read.
#include <sys/resource.h>

#include "app/scan_main.h"

namespace {

// The walk holds a descriptor for each of its innermost open folders; the
// soft limit is raised to the hard one so that other descriptors never run
// short. Nothing is logged: the walk does not depend on the raise.
void RaiseDescriptorLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main() {
    RaiseDescriptorLimit();
    return ScanMain();
}
