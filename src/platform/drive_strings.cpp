// Reading and walking a logical-drive-string block. Shared by the backends
// so that both can be checked on made-up answers on every platform.
#include "platform/drive_strings.h"

namespace platform {

namespace {

constexpr OsError kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr uint32_t kMaxBlockChars = 0x7FFFFFFFu / sizeof(PathChar);

}  // namespace

StepResult<RootListStep> ReadDriveStrings(
    const std::function<uint32_t(uint32_t length, PathChar* buffer, OsError* error)>& query,
    const std::function<PathChar*(uint32_t chars)>& allocate, PathChar** block) {
    using Result = StepResult<RootListStep>;
    *block = nullptr;
    OsError error = 0;
    uint32_t length = query(0, nullptr, &error);
    if (length == 0) {
        return Result::Failed(RootListStep::SizeQuery, error);
    }
    for (uint32_t attempt = 0; attempt < kDriveStringAttempts; ++attempt) {
        PathChar* buffer = length <= kMaxBlockChars ? allocate(length) : nullptr;
        if (buffer == nullptr) {
            return Result::Failed(RootListStep::Alloc, 0);
        }
        const uint32_t written = query(length, buffer, &error);
        if (written == 0) {
            return Result::Failed(RootListStep::FillQuery, error);
        }
        if (written < length) {
            buffer[length - 1] = 0;  // the walk ends inside the block
            *block = buffer;
            return Result();
        }
        length = written;  // the block grew meanwhile: asked again with its new length
    }
    return Result::Failed(RootListStep::FillQuery, kErrorInsufficientBuffer);
}

void CollectFixedDriveRoots(const PathChar* block,
                            const std::function<uint32_t(const PathChar* root)>& drive_type,
                            const std::function<bool(const PathChar* root)>& is_subst,
                            std::vector<PathString>* roots) {
    // The root keeps its colon and terminators; only the letter changes, so
    // it never carries the entry's backslash.
    PathChar root[8] = {ZQ_T('A'), ZQ_T(':')};
    const PathChar* entry = block;
    while (*entry != 0) {
        root[0] = entry[0];
        if (drive_type(root) == kDriveFixed && !is_subst(root)) {
            roots->push_back(root);
        }
        while (*entry != 0) {
            ++entry;
        }
        ++entry;  // past the entry's terminator: the next entry or the final empty string
    }
}

}  // namespace platform
