// A named folder on POSIX: realpath, then stat.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "platform/named_root.h"

namespace platform {

StepResult<NamedRootStep> ResolveNamedRoot(const PathString& named, PathString* root) {
    using Result = StepResult<NamedRootStep>;
    root->clear();
    const std::unique_ptr<char, decltype(&free)> resolved(realpath(named.c_str(), nullptr), &free);
    if (resolved == nullptr) {
        return Result::Failed(NamedRootStep::FullPath, static_cast<OsError>(errno));
    }
    struct stat info {};
    if (stat(resolved.get(), &info) != 0) {
        return Result::Failed(NamedRootStep::Attributes, static_cast<OsError>(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        return Result::Failed(NamedRootStep::NotFolder, 0);
    }
    // realpath gives no trailing "/" but for the root filesystem, whose
    // root text is empty.
    const PathString path(resolved.get());
    if (path != "/") {
        *root = path;
    }
    return Result();
}

PathString NamedRootKey(const PathString& root) {
    return root;
}

}  // namespace platform
