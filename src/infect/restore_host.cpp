#include "infect/restore_host.h"

#include <cstring>

#include "log/logger.h"
#include "platform/file.h"
#include "platform/heap_block.h"

namespace {

// The saved head is never given a block of 2^31 bytes or more.
constexpr uint32_t kMaxHeadLength = 0x7FFFFFFFu;

uint32_t LoadLe32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof(value));
    // The byte order of the file is little-endian; so are both targets.
    return value;
}

// The restored head must be the host's own start: a PE image begins with
// "MZ" (or the rare "ZM"). Anything else means the trailer was not the
// infector's and writing it would destroy the file.
bool LooksLikeHostHead(const uint8_t* head, uint32_t length) {
    if (length < 2) {
        return false;
    }
    return (head[0] == 'M' && head[1] == 'Z') || (head[0] == 'Z' && head[1] == 'M');
}

}  // namespace

InfectionTrailer InfectionTrailer::Parse(const uint8_t (&bytes)[kSize]) {
    InfectionTrailer trailer;
    std::memcpy(trailer.Key, bytes, kKeySize);
    trailer.HeadOffset = LoadLe32(bytes + kHeadOffsetAt);
    trailer.HeadEnd = LoadLe32(bytes + kHeadEndAt);
    return trailer;
}

BOOL RestoreHost(const PathChar* path) {
    platform::File file;
    if (!file.Open(path, platform::FileAccess::ReadWrite, platform::kShareAll,
                   platform::FileAttribute::Normal)) {
        g_Logger.Write("Call CreateFile failed: 0x%x", file.Error());
        return FALSE;
    }

    if (!file.Seek(-static_cast<int32_t>(InfectionTrailer::kSize), platform::SeekOrigin::End)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    uint8_t trailer_bytes[InfectionTrailer::kSize] = {};
    if (!file.Read(trailer_bytes, sizeof(trailer_bytes))) {
        g_Logger.Write("Call ReadFile failed: 0x%x", file.Error());
        return FALSE;
    }
    const InfectionTrailer trailer = InfectionTrailer::Parse(trailer_bytes);
    const uint32_t length = trailer.HeadEnd - trailer.HeadOffset;  // wraps by design

    // Allocated before the size test, so an absurd trailer shows here first.
    platform::HeapBlock head;
    if (length > kMaxHeadLength || !head.Allocate(length)) {
        g_Logger.Write("Call HeapAlloc to alloc %ubyte memory failed", length);
        return FALSE;
    }

    uint32_t size = 0;
    if (!file.SizeLow(&size)) {
        g_Logger.Write("Call GetFileSize failed: 0x%x", file.Error());
        return FALSE;
    }
    // The one range test: the saved head may reach into the trailer.
    if (size < trailer.HeadOffset + length) {
        g_Logger.Write("May get invalid info");
        return FALSE;
    }

    // A HeadOffset of 2^31 or more is a negative distance and fails here.
    if (!file.Seek(static_cast<int32_t>(trailer.HeadOffset), platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    // The count read is not consulted: the range test above put the whole
    // saved head inside the file, and the block is zero-filled.
    if (!file.Read(head.Data(), length)) {
        g_Logger.Write("Call ReadFile failed: 0x%x", file.Error());
        return FALSE;
    }

    // Only the block's own bytes: a head shorter than 768 is unscrambled in
    // full and nothing beyond it is touched.
    const uint32_t scrambled = length < kScrambledHeadSize ? length : kScrambledHeadSize;
    uint8_t* data = head.Data();
    for (uint32_t i = 0; i < scrambled; ++i) {
        data[i] = UnscrambleByte(data[i], i, trailer.Key);
    }

    if (!LooksLikeHostHead(data, length)) {
        g_Logger.Write("May get invalid info");
        return FALSE;
    }

    if (!file.Seek(0, platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.Write(data, length)) {
        g_Logger.Write("Call WriteFile failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.Seek(static_cast<int32_t>(trailer.HeadOffset), platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.SetEnd()) {
        g_Logger.Write("Call SetEndOfFile failed: 0x%x", file.Error());
        return FALSE;
    }
    return TRUE;
}
