// The parts of platform::DynamicLibrary that do not depend on the OS:
// ownership moves and the free on destruction.
#include "platform/dynamic_library.h"

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() {
    Free();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(other.error_) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = other.error_;
    }
    return *this;
}

}  // namespace platform
