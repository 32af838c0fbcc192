// The POSIX entry point: the arguments go to the shared decision; switches
// begin with "-" only (a "/" begins a path here).
#include <sys/resource.h>

#include <vector>

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

int main(int argc, char** argv) {
    RaiseDescriptorLimit();
    const std::vector<PathString> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return ProgramMain(arguments, false);
}
