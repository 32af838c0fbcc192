// Unreadable files on POSIX: mode 0 and the file-access capabilities lowered while they exist.
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "support/file_access_posix.h"
#include "unreadable_file.h"

namespace scantest {

struct UnreadableFiles::State {
    std::vector<std::string> paths;
    std::unique_ptr<testsupport::WithoutFileAccess> lowered;
};

UnreadableFiles::UnreadableFiles() : state_(new State()) {}

UnreadableFiles::~UnreadableFiles() {
    Release();
}

bool UnreadableFiles::Make(const std::filesystem::path& path) {
    if (!state_->lowered) {
        state_->lowered.reset(new testsupport::WithoutFileAccess());
    }
    if (!state_->lowered->Ok() || chmod(path.c_str(), 0) != 0) {
        return false;
    }
    state_->paths.push_back(path.native());
    return true;
}

void UnreadableFiles::Release() {
    state_->lowered.reset();
    for (const std::string& path : state_->paths) {
        chmod(path.c_str(), 0700);
    }
    state_->paths.clear();
}

}  // namespace scantest
