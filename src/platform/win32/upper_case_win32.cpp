// Upper-casing on Windows: the runtime's towupper under the current locale.
#include <wctype.h>

#include "platform/upper_case.h"

namespace platform {

void UpperCaseInPlace(PathChar* text) {
    for (; *text != 0; ++text) {
        *text = static_cast<wchar_t>(towupper(*text));
    }
}

}  // namespace platform
