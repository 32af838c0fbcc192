// POSIX names are case-sensitive bytes; only ASCII letters are folded, so a
// multi-byte character is never altered.
#include "platform/upper_case.h"

namespace platform {

void UpperCaseInPlace(PathChar* text) {
    for (; *text != 0; ++text) {
        if (*text >= 'a' && *text <= 'z') {
            *text = static_cast<char>(*text - 'a' + 'A');
        }
    }
}

}  // namespace platform
