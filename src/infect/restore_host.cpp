// The repair: verifies the window again, then puts the saved head back and cuts the file at
// HeadOffset.
#include "infect/restore_host.h"

#include <cstring>

#include "infect/check_infection.h"
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

void LogChanged() {
    g_Logger.Write("File changed since it was checked, nothing written");
}

// Whether the file's window, read through `file`, still matches one of
// `signatures`. False with its log line otherwise.
bool WindowStillMatches(platform::File& file, uint32_t size, const SignatureList& signatures) {
    if (size < kSignatureWindowEnd) {
        LogChanged();
        return false;
    }
    if (!file.Seek(static_cast<int32_t>(kSignatureWindowOffset), platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return false;
    }
    uint8_t window[kSignatureWindowSize] = {};
    if (!file.ReadExact(window, sizeof(window))) {
        g_Logger.Write("Call ReadFile failed: 0x%x", file.Error());
        return false;
    }
    if (MatchSignature(window, signatures) == nullptr) {
        LogChanged();
        return false;
    }
    return true;
}

// After a failed or short write of the head: puts back the `length` bytes
// that were there before, so the file is as it was. Logs only when that
// fails too (the file is then damaged and the line says so).
void WriteBack(platform::File& file, const uint8_t* original, uint32_t length) {
    if (file.Seek(0, platform::SeekOrigin::Begin) && file.WriteExact(original, length)) {
        return;
    }
    g_Logger.Write("Could not write back the file's first %u bytes: 0x%x", length, file.Error());
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
    platform::FileRef file(path);
    return RestoreHost(file);
}

BOOL RestoreHost(platform::FileRef& ref, const SignatureList& signatures) {
    // Other processes may read the file but not write it until the cut.
    platform::File file;
    if (!file.Open(ref, platform::FileIntent::Repair)) {
        if (file.Error() == platform::kErrorFileReplaced) {
            LogChanged();  // another file now stands under the checked name
        } else {
            g_Logger.Write("Call CreateFile failed: 0x%x", file.Error());
        }
        return FALSE;
    }

    if (!file.Seek(-static_cast<int32_t>(InfectionTrailer::kSize), platform::SeekOrigin::End)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    uint8_t trailer_bytes[InfectionTrailer::kSize] = {};
    if (!file.ReadExact(trailer_bytes, sizeof(trailer_bytes))) {
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
    // The range test (the saved head may reach into the trailer), and the
    // host must begin after the infector's window.
    if (size < trailer.HeadOffset + length || trailer.HeadOffset < kMinHeadOffset) {
        g_Logger.Write("May get invalid info");
        return FALSE;
    }
    if (!WindowStillMatches(file, size, signatures)) {
        return FALSE;
    }

    // A HeadOffset of 2^31 or more is a negative distance and fails here.
    if (!file.Seek(static_cast<int32_t>(trailer.HeadOffset), platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.ReadExact(head.Data(), length)) {
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

    // The bytes the write will cover, kept so that a failed write can be
    // undone.
    platform::HeapBlock original;
    if (!original.Allocate(length)) {
        g_Logger.Write("Call HeapAlloc to alloc %ubyte memory failed", length);
        return FALSE;
    }
    if (!file.Seek(0, platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.ReadExact(original.Data(), length)) {
        g_Logger.Write("Call ReadFile failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.Seek(0, platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    if (!file.WriteExact(data, length)) {
        g_Logger.Write("Call WriteFile failed: 0x%x", file.Error());
        WriteBack(file, original.Data(), length);
        return FALSE;
    }
    // From here a failure leaves the host's head written and the file uncut:
    // the host followed by the saved head and the trailer. The infector's
    // code is gone and the window no longer matches; the state is kept.
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
