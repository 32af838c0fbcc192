// The parts of platform::File that do not depend on the OS: ownership moves
// and the close on destruction. The backends supply Open..Close.
#include "platform/file.h"

#include <utility>

namespace platform {

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), error_(other.error_), position_(other.position_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        error_ = other.error_;
        position_ = other.position_;
    }
    return *this;
}

bool File::IsOpen() const {
    return handle_ != -1;
}

}  // namespace platform
