// Host restoration: puts an infected file's saved head back over its start
// and cuts the file at the host's original length.
#pragma once

#include <cstdint>

#include "infect/infection_signatures.h"
#include "platform/file_ref.h"
#include "platform/types.h"

// The last 48 bytes of an infected file (integers unsigned 32-bit
// little-endian). The key is the first 16 bytes, the two offsets included;
// bytes 16..47 are not used.
struct InfectionTrailer {
    static constexpr uint32_t kSize = 48;
    static constexpr uint32_t kKeySize = 16;
    static constexpr uint32_t kHeadOffsetAt = 4;
    static constexpr uint32_t kHeadEndAt = 8;

    uint8_t Key[kKeySize];
    uint32_t HeadOffset;  // where the saved head begins; the repaired length
    uint32_t HeadEnd;     // just past the saved head

    static InfectionTrailer Parse(const uint8_t (&bytes)[kSize]);
};

// Only the saved head's first 768 bytes are scrambled.
constexpr uint32_t kScrambledHeadSize = 768;

// Reverses the scrambling of one saved-head byte at position `position`
// (below 768): rotate left by 3, then XOR with key byte position % 16.
inline uint8_t UnscrambleByte(uint8_t value, uint32_t position, const uint8_t* key) {
    const uint8_t rotated = static_cast<uint8_t>((value << 3) | (value >> 5));
    return static_cast<uint8_t>(rotated ^ key[position % InfectionTrailer::kKeySize]);
}

// A genuine infection keeps the infector's image, signature window included,
// in front of the saved head: a trailer whose HeadOffset is smaller cannot
// be the infector's.
constexpr uint32_t kMinHeadOffset = 2100;

// Repairs the infected file at `path` in place. TRUE only when every step up
// to the cut succeeded; FALSE with one log line otherwise.
//
// Before anything is written, the repair reads the signature window again
// through its own handle (which, on Windows, shares reading only, so no
// other process can write the file until the cut) and writes nothing unless
// it still matches an entry of `signatures`. Every transfer must move the
// whole count asked for. A failed or short write of the head is undone by
// writing back the bytes it overwrote, so the file is as before; a head
// written and a cut that failed leave the host followed by the saved head
// and trailer (the infector's code is gone), reported as a failure.
BOOL RestoreHost(const PathChar* path);  // against InfectionSignatures
// The same on the file `file` names (the walk's reference: on POSIX the
// repair then opens the very file that the check read, or nothing), against
// `signatures`.
BOOL RestoreHost(platform::FileRef& file, const SignatureList& signatures = InfectionSignatures);
