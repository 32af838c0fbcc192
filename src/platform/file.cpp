// The parts of platform::File that do not depend on the OS: ownership moves,
// the close on destruction and the exact transfers. The backends supply
// Open..Close.
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

bool File::ReadExact(void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!Read(buffer, count, &done)) {
        return false;
    }
    if (done != count) {
        error_ = kErrorShortTransfer;
        return false;
    }
    return true;
}

bool File::WriteExact(const void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!Write(buffer, count, &done)) {
        return false;
    }
    if (done != count) {
        error_ = kErrorShortTransfer;
        return false;
    }
    return true;
}

bool File::IsOpen() const {
    return handle_ != -1;
}

}  // namespace platform
