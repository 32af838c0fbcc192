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

// Whether a DOS header begins with "MZ", or with "ZM", which the loader
// takes too.
inline bool HasDosSignature(const uint8_t* dos_header) {
    return (dos_header[0] == 'M' && dos_header[1] == 'Z') ||
           (dos_header[0] == 'Z' && dos_header[1] == 'M');
}

// Whether the kNtHeadersSize bytes at `nt_headers` are the NT headers of an
// image that is not a DLL.
inline bool IsNtImageNotDll(const uint8_t* nt_headers) {
    return LoadU32(nt_headers) == kNtSignature &&
           (LoadU16(nt_headers + kCharacteristicsOffset) & kImageFileDll) == 0;
}

}  // namespace pe_layout
