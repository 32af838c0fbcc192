// ASCII letters in path text: drive letters, device and folder names the
// system compares without regard to case. Characters outside A-Z and a-z
// are left as they are.
#pragma once

#include "platform/types.h"

namespace platform {

constexpr PathChar AsciiUpper(PathChar c) {
    return c >= ZQ_T('a') && c <= ZQ_T('z') ? static_cast<PathChar>(c - ZQ_T('a') + ZQ_T('A')) : c;
}

constexpr bool IsAsciiLetter(PathChar c) {
    return AsciiUpper(c) >= ZQ_T('A') && AsciiUpper(c) <= ZQ_T('Z');
}

}  // namespace platform
