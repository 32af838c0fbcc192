// Synthetic infected files in the infector's file layout, for tests,
// fuzz seeds, benchmarks and the end-to-end scripts. No real sample exists;
// every file is built from a host and a window pattern:
//
//   [0, length)              infector bytes (a PE header, the window at
//                            1024..2099); they reach to 2100 at least when a
//                            window is written, never past HeadOffset
//   [.., HeadOffset)         the host's own bytes left in place
//   [HeadOffset, HeadEnd)    the saved head: the host's first `length` bytes
//                            (filler past the host), bytes 0..767 scrambled
//   [HeadEnd, size - 48)     garbage
//   [size - 48, size)        the trailer: key bytes 0..15 (HeadOffset at 4,
//                            HeadEnd at 8), bytes 16..47 unused
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sample {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWindowOffset = 1024;
constexpr uint32_t kWindowSize = 1076;
constexpr uint32_t kWindowEnd = kWindowOffset + kWindowSize;
constexpr uint32_t kTrailerSize = 48;
constexpr uint32_t kKeySize = 16;
constexpr uint32_t kScrambledSize = 768;

// The standard test pattern of the window and its MD5, the test signature.
const Bytes& TestWindowPattern();
constexpr char kTestSignature[] = "2f7c9a5008a36daccd66520115bc60e4";

// A minimal PE image of `size` bytes: DOS header ("MZ" or "ZM"), e_lfanew
// 0x80, "PE\0\0", an i386 file header (Characteristics 0x0102, plus 0x2000
// for a DLL) and a 32-bit optional header; the rest repeatable filler. Below
// 376 bytes the headers are cut.
struct PeOptions {
    bool dll = false;
    bool zm = false;
    uint32_t seed = 1;
};
Bytes BuildPe(uint32_t size, const PeOptions& options = {});

struct InfectOptions {
    // Written at 1024..2099 of the infected file; empty: no window.
    Bytes window = TestWindowPattern();
    // Length of the saved head; default the whole host. Longer than the host:
    // the saved head goes on with filler. 0 makes an empty saved head.
    std::optional<uint32_t> head_length;
    // Bytes between the saved head and the trailer.
    uint32_t garbage = 0;
    // The saved head's last `into_trailer` bytes are the trailer's first ones
    // (HeadEnd lies inside the trailer). At most 48 and the head's length;
    // needs garbage 0.
    uint32_t into_trailer = 0;
    // Trailer bytes 0..3 and 12..15 (the key bytes that are no offset).
    std::array<uint8_t, 8> key_fill = {0x3d, 0xa7, 0x10, 0xc4, 0x5e, 0x99, 0x02, 0xf1};
    // Trailer bytes 16..47, unused by the repair.
    std::array<uint8_t, 32> trailer_tail = {};
    // Values written into the trailer in place of the true ones (a corrupt
    // trailer). The key, and so the scrambling, follows what is written.
    std::optional<uint32_t> head_offset_field;
    std::optional<uint32_t> head_end_field;
    // Seed of the infector's and the filler's bytes.
    uint32_t seed = 7;
};

struct Sample {
    Bytes infected;
    // What a correct repair leaves: HeadOffset bytes beginning with the
    // unscrambled saved head. Empty when the trailer's fields were overridden.
    Bytes repaired;
    uint32_t head_offset = 0;  // as written into the trailer
    uint32_t head_end = 0;
};

// Builds the infected form of `host`. Throws std::invalid_argument for a
// layout that cannot be made (a window over the saved head, into_trailer out
// of range, sizes beyond 32 bits).
Sample BuildInfected(const Bytes& host, const InfectOptions& options = {});

// The infector's scrambling of saved-head byte `position` (below 768) and its
// reverse: XOR with key[position % 16] then rotate right by 3, undone by
// rotate left by 3 then XOR.
uint8_t ScrambleByte(uint8_t plain, uint32_t position, const uint8_t* key);
uint8_t UnscrambleByte(uint8_t stored, uint32_t position, const uint8_t* key);

// Repeatable filler bytes.
Bytes FillerBytes(size_t count, uint32_t seed);

}  // namespace sample
