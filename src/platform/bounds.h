// The one bounds rule for reads of file data: whether `count` bytes at
// `offset` lie wholly within `length` bytes. It cannot wrap: no sum of
// offset and count is formed.
#pragma once

#include <cstdint>

namespace platform {

constexpr bool FitsWithin(uint64_t offset, uint64_t count, uint64_t length) {
    return count <= length && offset <= length - count;
}

}  // namespace platform
