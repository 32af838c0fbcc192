// Walking a logical-drive-string block. Shared by the backends so the walk
// can be checked on a made-up block on every platform.
#include "platform/drive_strings.h"

namespace platform {

void CollectFixedDriveRoots(const PathChar* block,
                            const std::function<uint32_t(const PathChar* root)>& drive_type,
                            std::vector<PathString>* roots) {
    // The root keeps its colon and terminators; only the letter changes, so
    // it never carries the entry's backslash.
    PathChar root[8] = {ZQ_T('A'), ZQ_T(':')};
    const PathChar* entry = block;
    while (*entry != 0) {
        root[0] = entry[0];
        if (drive_type(root) == kDriveFixed) {
            roots->push_back(root);
        }
        while (*entry != 0) {
            ++entry;
        }
        ++entry;  // past the entry's terminator: the next entry or the final empty string
    }
}

}  // namespace platform
