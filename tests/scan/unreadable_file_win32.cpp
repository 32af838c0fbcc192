// Unreadable files on Windows: held open without sharing while they exist.
#include <vector>

#include "platform/file.h"
#include "support/held_file.h"
#include "unreadable_file.h"

namespace scantest {

struct UnreadableFiles::State {
    std::vector<platform::File> held;
};

UnreadableFiles::UnreadableFiles() : state_(new State()) {}

UnreadableFiles::~UnreadableFiles() {
    Release();
}

bool UnreadableFiles::Make(const std::filesystem::path& path) {
    if (std::filesystem::is_directory(path)) {
        return false;  // a folder is not held this way
    }
    platform::File file;
    if (!testsupport::OpenHeld(&file, path.c_str(), testsupport::Hold::Exclusive)) {
        return false;
    }
    state_->held.push_back(std::move(file));
    return true;
}

void UnreadableFiles::Release() {
    state_->held.clear();
}

}  // namespace scantest
