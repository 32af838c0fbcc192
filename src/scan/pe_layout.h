// The few places of a PE file's headers that the image test reads, and the
// unaligned little-endian loads it reads them with (x86 and x86-64 alike).
#pragma once

#include <cstdint>
#include <cstring>

namespace pe_layout {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kLfanewOffset = 0x3C;
constexpr uint32_t kNtHeadersSize = 248;  // signature, file header, 32-bit optional header
constexpr uint32_t kCharacteristicsOffset = 22;
constexpr uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kImageFileDll = 0x2000;

inline uint16_t LoadU16(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

inline uint32_t LoadU32(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace pe_layout
