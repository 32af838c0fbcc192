// The shown form of a path on POSIX: its bytes, control bytes and the
// backslash escaped, so that no two names print alike.
#include "platform/path_text.h"

namespace platform {

void PathText(const PathChar* path, std::string* text) {
    static const char kHex[] = "0123456789abcdef";
    text->clear();
    if (path == nullptr) {
        return;
    }
    for (const char* at = path; *at != 0; ++at) {
        const unsigned char byte = static_cast<unsigned char>(*at);
        // The backslash begins every escape, so it is escaped itself: a name
        // holding a line feed and one holding the four characters "\x0a"
        // print differently.
        if (byte < 0x20 || byte == 0x7F || byte == '\\') {
            const char escape[4] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
            text->append(escape, sizeof(escape));
        } else {
            text->push_back(*at);
        }
    }
}

std::string PathText(const PathChar* path) {
    std::string text;
    PathText(path, &text);
    return text;
}

}  // namespace platform
